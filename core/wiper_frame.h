#pragma once

#include "channel.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace potpanel {

// The five-byte command that sets one channel's wiper: STX, 'D', channel, two hex digits.
class WiperFrame
{
public:
    static constexpr std::size_t size = 5;

    explicit WiperFrame(const std::array<char, size>& bytes) : bytes_(bytes) {}

    std::string_view bytes() const { return {bytes_.data(), bytes_.size()}; }

private:
    std::array<char, size> bytes_;
};

inline constexpr char stx = '\x02';
inline constexpr char commandLetter = 'D';

// "0" to "9", "A" to "F" for 0 to 15; throws std::out_of_range otherwise.
char hexDigit(int n);

// Throws std::out_of_range for a value outside 0 to 255: a wider value would
// otherwise put a digit the controller does not know on the line.
WiperFrame encodeWiperFrame(ChannelId channel, std::int16_t value);

// The value in upper-case hexadecimal without leading zeros, "0" to "FF", as the
// displays show it. Throws std::out_of_range outside 0 to 255.
std::string hexText(int value);

} // namespace potpanel
