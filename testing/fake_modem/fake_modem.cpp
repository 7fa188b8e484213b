// Preloaded into a program under test: gives pseudo-terminals the modem-control
// lines they lack, so that raising RTS succeeds on them, and records each RTS
// change and each close of such a terminal (a second close of the same
// descriptor too). The record goes to the file named by
// FAKE_MODEM_LOG, one line per event: "rts 1 <fd>", "rts 0 <fd>", "close <fd>",
// each with a monotonic timestamp in nanoseconds first.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Unix98 pseudo-terminal slaves have majors 136 to 143.
bool isPseudoTerminal(int fd)
{
    struct stat status
    {
    };
    return ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

// Modem lines per terminal, by minor number; a slave's minor is its pts number.
int modemLines[4096];

int& linesOf(int fd)
{
    struct stat status
    {
    };
    ::fstat(fd, &status);
    return modemLines[minor(status.st_rdev) % 4096];
}

void record(const char* event, int fd)
{
    const char* path = std::getenv("FAKE_MODEM_LOG");
    if (!path)
        return;
    const int saved = errno;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char line[96];
    const int length =
        std::snprintf(line, sizeof line, "%lld %s %d\n",
                      static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, event, fd);
    using Open = int (*)(const char*, int, ...);
    static const auto realOpen = reinterpret_cast<Open>(::dlsym(RTLD_NEXT, "open"));
    const int log = realOpen(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (log >= 0) {
        [[maybe_unused]] const auto written = ::write(log, line, static_cast<size_t>(length));
        ::syscall(SYS_close, log);
    }
    errno = saved;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto realIoctl = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));

    const bool modemRequest =
        request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
    if (!modemRequest || !isPseudoTerminal(fd))
        return realIoctl(fd, request, argument);

    int& lines = linesOf(fd);
    auto* bits = static_cast<int*>(argument);
    const int before = lines;
    switch (request) {
    case TIOCMGET:
        *bits = lines;
        return 0;
    case TIOCMSET:
        lines = *bits;
        break;
    case TIOCMBIS:
        lines |= *bits;
        break;
    case TIOCMBIC:
        lines &= ~*bits;
        break;
    }
    if ((before ^ lines) & TIOCM_RTS)
        record(lines & TIOCM_RTS ? "rts 1" : "rts 0", fd);
    return 0;
}

namespace {
// Descriptors last closed while open on a terminal, so that closing one a second
// time shows in the record too.
bool closedTerminal[4096];
} // namespace

extern "C" int close(int fd)
{
    const bool terminal = isPseudoTerminal(fd);
    const bool again =
        !terminal && fd >= 0 && fd < 4096 && closedTerminal[fd] && ::fcntl(fd, F_GETFD) < 0;
    if (terminal || again)
        record("close", fd);
    if (fd >= 0 && fd < 4096)
        closedTerminal[fd] = terminal || again;
    return static_cast<int>(::syscall(SYS_close, fd));
}
