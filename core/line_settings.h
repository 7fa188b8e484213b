#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace potpanel {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// Speed, parity, data bits and stop bits of a serial line.
struct LineSettings
{
    std::int32_t baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Reads "speed,parity,data,stop", such as "9600,N,8,1": parity N, E, O, M or S,
// 5 to 8 data bits, 1, 1.5 or 2 stop bits. Throws std::invalid_argument quoting
// the text when it is malformed.
LineSettings parseLineSettings(std::string_view text);

// The same notation back, for messages.
std::string toString(const LineSettings& settings);

// Microseconds one character takes on the line: start bit, data, parity and
// stop bits (1.5 counted as 2), rounded up.
long characterMicroseconds(const LineSettings& settings);

} // namespace potpanel
