#include "line_termios.h"

#include "serial_port.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

namespace potpanel {
namespace {

struct Speed
{
    std::int32_t baud;
    speed_t code;
};

constexpr Speed speeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

tcflag_t parityFlags(Parity parity)
{
    switch (parity) {
    case Parity::None:
        return 0;
    case Parity::Even:
        return PARENB;
    case Parity::Odd:
        return PARENB | PARODD;
    case Parity::Mark:
        return PARENB | CMSPAR | PARODD;
    case Parity::Space:
        return PARENB | CMSPAR;
    }
    return 0;
}

} // namespace

termios rawLine(const termios& was, const LineSettings& settings)
{
    const auto speed = std::ranges::find(speeds, settings.baudRate, &Speed::baud);
    if (speed == std::end(speeds))
        throw PortFailure("the speed " + std::to_string(settings.baudRate) +
                          " is not one this system's serial ports know");
    if (settings.stopBits == StopBits::OneAndHalf)
        throw PortFailure("1.5 stop bits cannot be set on this system's serial ports; use 1 or 2");

    termios line = was;
    ::cfmakeraw(&line);
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    line.c_cflag |= sizes[settings.dataBits - 5] | parityFlags(settings.parity);
    if (settings.stopBits == StopBits::Two)
        line.c_cflag |= CSTOPB;
    ::cfsetispeed(&line, speed->code);
    ::cfsetospeed(&line, speed->code);
    return line;
}

} // namespace potpanel
