// The least any program can do for the panel's start: open COM1, set 9600 8N1,
// raise RTS and write the two start frames, and nothing else. The benchmark
// starts it in the same namespace and through the same launcher as the panel,
// so the difference between the two is what the panel itself costs.
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::array<char, 10> startFrames{'\x02', 'D', '0', '3', '2', '\x02', 'D', '1', '3', '2'};

int fail(const char* what)
{
    std::perror(what);
    return 1;
}

} // namespace

int main()
{
    const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail("/dev/ttyS0");
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    ::cfsetspeed(&settings, B9600);
    int rts = TIOCM_RTS;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 || ::ioctl(fd, TIOCMBIS, &rts) != 0)
        return fail("line settings");
    // One write per frame, as the panel does; a fresh line has room for both.
    for (std::size_t at = 0; at < startFrames.size(); at += 5)
        if (::write(fd, startFrames.data() + at, 5) != 5)
            return fail("write");
    ::close(fd);
    return 0;
}
