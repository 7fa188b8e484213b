#include "start_line.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr char frameA[] = {'\x02', 'D', '0', '3', '2'};
constexpr char frameB[] = {'\x02', 'D', '1', '3', '2'};

bool writeAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool fail(const char* what)
{
    std::perror(what);
    return false;
}

} // namespace

bool writeStartFrames()
{
    const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail("/dev/ttyS0");
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    int rts = TIOCM_RTS;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 || ::ioctl(fd, TIOCMBIS, &rts) != 0)
        return fail("line settings");
    if (!writeAll(fd, frameA, sizeof frameA) || !writeAll(fd, frameB, sizeof frameB))
        return fail("write");
    ::close(fd);
    return true;
}

} // namespace bench
