#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace potpanel {

// The two channels of the potentiometer; each one's value is the character that
// names it in a frame.
enum class ChannelId : char { A = '0', B = '1' };

// A channel's place in anything kept per channel, A first.
constexpr std::size_t channelIndex(ChannelId channel)
{
    return channel == ChannelId::A ? 0 : 1;
}

// The five-byte command that sets one channel's wiper: STX, 'D', channel, two hex digits.
class WiperFrame
{
public:
    static constexpr std::size_t size = 5;

    explicit WiperFrame(const std::array<char, size>& bytes) : bytes_(bytes) {}

    std::string_view bytes() const { return {bytes_.data(), bytes_.size()}; }

    friend bool operator==(const WiperFrame&, const WiperFrame&) = default;

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

} // namespace potpanel
