// The least any program can do for the panel's start: open COM1, set 9600 8N1,
// raise RTS and write the two start frames. Started by the benchmark in the
// same namespace and through the same launcher as the panel, so the difference
// between the two is what the panel itself costs.
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

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

} // namespace

int main()
{
    const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("/dev/ttyS0");
        return 1;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        std::perror("tcgetattr");
        return 1;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    int rts = TIOCM_RTS;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 || ::ioctl(fd, TIOCMBIS, &rts) != 0) {
        std::perror("line settings");
        return 1;
    }
    if (!writeAll(fd, frameA, sizeof frameA) || !writeAll(fd, frameB, sizeof frameB)) {
        std::perror("write");
        return 1;
    }
    ::close(fd);
    return 0;
}
