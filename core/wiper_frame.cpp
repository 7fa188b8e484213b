#include "wiper_frame.h"

#include <stdexcept>

namespace potpanel {
namespace {

void requireByte(int value, const char* what)
{
    if (value < 0 || value > 255)
        throw std::out_of_range(std::string(what) +
                                " out of range 0 to 255: " + std::to_string(value));
}

} // namespace

char hexDigit(int n)
{
    if (n < 0 || n > 15)
        throw std::out_of_range("hex digit out of range: " + std::to_string(n));
    return "0123456789ABCDEF"[n];
}

WiperFrame encodeWiperFrame(ChannelId channel, std::int16_t value)
{
    requireByte(value, "wiper value");
    const char upper = hexDigit(value / 16);
    const char lower = hexDigit(value & 15);
    return WiperFrame({stx, commandLetter, static_cast<char>(channel), upper, lower});
}

std::string hexText(int value)
{
    requireByte(value, "display value");
    std::string text;
    if (value >= 16)
        text += hexDigit(value / 16);
    text += hexDigit(value & 15);
    return text;
}

} // namespace potpanel
