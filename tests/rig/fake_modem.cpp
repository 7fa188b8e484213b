// Preloaded into a program under test: gives pseudo-terminals the modem-control lines they lack,
// and records to the file FAKE_MODEM_LOG, one line each, every line setting ("cflag:<size, parity
// and stop bits in octal> <fd>", since a pseudo-terminal forces 8 bits and no parity whatever it is
// told), change of RTS ("rts-up <fd>", "rts-down <fd>"), write ("write <fd>") and close ("close
// <fd>", a second close included) on a terminal. With FAKE_MODEM_STUCK=N set, its output queue
// holds N bytes for good; with FAKE_MODEM_SLOW=N, N bytes that go one a look.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

static int modemLines[4096];      // by the terminal's minor number
static bool closedTerminal[4096]; // by descriptor: last closed while open on a terminal
static int queued = -1;           // bytes in the output queue

// The minor number of a pseudo-terminal slave (majors 136 to 143), or -1.
static int terminalMinor(int fd)
{
    struct stat status
    {
    };
    const bool terminal = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
                          major(status.st_rdev) >= 136 && major(status.st_rdev) <= 143;
    return terminal ? static_cast<int>(minor(status.st_rdev) % 4096) : -1;
}

static void record(const char* event, int fd)
{
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%s %d\n", event, fd);
    const char* path = std::getenv("FAKE_MODEM_LOG");
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    if (const long log = path ? ::syscall(SYS_openat, AT_FDCWD, path, flags, 0644) : -1; log >= 0) {
        ::syscall(SYS_write, log, line, length);
        ::syscall(SYS_close, log);
    }
}

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    auto* bits = va_arg(arguments, int*);
    va_end(arguments);
    const int terminal = terminalMinor(fd);
    // A transmitter that has stopped with FAKE_MODEM_STUCK bytes queued, or that sends its
    // FAKE_MODEM_SLOW bytes one a look.
    const char* stuck = std::getenv("FAKE_MODEM_STUCK");
    const char* slow = std::getenv("FAKE_MODEM_SLOW");
    if ((stuck || slow) && terminal >= 0 && request == TIOCOUTQ) {
        queued = queued < 0 ? std::atoi(slow ? slow : stuck) : queued;
        *bits = slow && queued > 0 ? queued-- : queued;
        return 0;
    }
    if (terminal < 0 ||
        (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC))
        return static_cast<int>(::syscall(SYS_ioctl, fd, request, bits));
    int& lines = modemLines[terminal];
    const int before = lines;
    if (request == TIOCMGET)
        *bits = lines;
    else
        lines = request == TIOCMSET ? *bits : request == TIOCMBIS ? lines | *bits : lines & ~*bits;
    if ((before ^ lines) & TIOCM_RTS)
        record(lines & TIOCM_RTS ? "rts-up" : "rts-down", fd);
    return 0;
}

extern "C" int tcsetattr(int fd, int when, const termios* line)
{
    static const auto next =
        reinterpret_cast<int (*)(int, int, const termios*)>(::dlsym(RTLD_NEXT, "tcsetattr"));
    if (terminalMinor(fd) >= 0) {
        char event[32];
        std::snprintf(event, sizeof event, "cflag:%o",
                      line->c_cflag & (CSIZE | PARENB | PARODD | CSTOPB));
        record(event, fd);
    }
    return next(fd, when, line);
}

extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    // Through the next library's write: the benchmarks' write clock wraps it too.
    static const auto next =
        reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(::dlsym(RTLD_NEXT, "write"));
    if (terminalMinor(fd) >= 0)
        record("write", fd);
    return next(fd, data, size);
}

extern "C" int close(int fd)
{
    // A terminal, or a descriptor closed again after it (fcntl fails on it). The lines drop
    // at its close, as HUPCL drops them, ready for a terminal opened later with that number.
    if (const int minor = terminalMinor(fd); minor >= 0)
        modemLines[minor] = 0;
    const bool terminal = terminalMinor(fd) >= 0 ||
                          (fd >= 0 && fd < 4096 && closedTerminal[fd] && ::fcntl(fd, F_GETFD) < 0);
    if (terminal)
        record("close", fd);
    if (fd >= 0 && fd < 4096)
        closedTerminal[fd] = terminal;
    return static_cast<int>(::syscall(SYS_close, fd));
}
