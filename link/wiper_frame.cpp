#include "wiper_frame.h"

#include <stdexcept>
#include <string>

namespace potpanel {

char hexDigit(int n)
{
    if (n < 0 || n > 15)
        throw std::out_of_range("hex digit out of range: " + std::to_string(n));
    return "0123456789ABCDEF"[n];
}

WiperFrame encodeWiperFrame(ChannelId channel, std::int16_t value)
{
    if (value < 0 || value > 255)
        throw std::out_of_range("wiper value out of range 0 to 255: " + std::to_string(value));
    const char upper = hexDigit(value / 16);
    const char lower = hexDigit(value & 15);
    return WiperFrame({stx, commandLetter, static_cast<char>(channel), upper, lower});
}

} // namespace potpanel
