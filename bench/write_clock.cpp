// Preloaded into a program under measurement: stamps every write(2) to a
// terminal device. Each one appends to the file named by BENCH_CLOCK_LOG
//   "<ns at entry> <ns at return> write <fd> <result> <bytes written, in hex>"
// with monotonic nanoseconds, so that a benchmark can tell to the microsecond
// when a frame was handed to the operating system. It also appends
//   "<ns> loaded <pid>"
//   "<ns at entry> <ns at return> wait <fd> <result> <timeout ms>"
// for every poll(2) or ppoll(2) that waits for room to write to one, so that
// the time the program spends waiting for the line shows; and
//   "<ns> loaded <pid>"
// once the dynamic linker has loaded and relocated the program's libraries, and
//   "<ns> mark <what>"
// the first time the program connects to the X server ("x11"), looks up the
// session bus for accessibility ("session-bus", by the machine id it reads),
// opens the font configuration ("fontconfig") and opens COM1 ("com1"):
// landmarks of start-up that cost nothing to take.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

long long nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

// Serial ports (major 4) and pseudo-terminal slaves (136 to 143).
bool isTerminal(int fd)
{
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const unsigned deviceMajor = major(status.st_rdev);
    return deviceMajor == 4 || (deviceMajor >= 136 && deviceMajor <= 143);
}

// Opened once and kept: the program under measurement must not pay an open per write.
int logDescriptor()
{
    static const int descriptor = [] {
        const char* path = std::getenv("BENCH_CLOCK_LOG");
        if (!path)
            return -1;
        return static_cast<int>(
            ::syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    }();
    return descriptor;
}

void record(long long entered, long long returned, int fd, ssize_t result, const void* data)
{
    const int log = logDescriptor();
    if (log < 0)
        return;
    char head[96];
    const int length =
        std::snprintf(head, sizeof head, "%lld %lld write %d %zd ", entered, returned, fd, result);
    std::string line(head, static_cast<size_t>(length));
    constexpr char digits[] = "0123456789abcdef";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (ssize_t i = 0; i < result; ++i) {
        line += digits[bytes[i] >> 4];
        line += digits[bytes[i] & 15];
    }
    line += '\n';
    ::syscall(SYS_write, log, line.data(), line.size());
}

void mark(const char* what, bool& done)
{
    const int log = logDescriptor();
    if (done || log < 0)
        return;
    done = true;
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%lld mark %s\n", nowNs(), what);
    ::syscall(SYS_write, log, line, static_cast<size_t>(length));
}

void markPath(const char* path)
{
    static bool fontconfig = false;
    static bool com1 = false;
    static bool sessionBus = false;
    if (!path)
        return;
    const int saved = errno;
    if (std::strstr(path, "machine-id"))
        mark("session-bus", sessionBus);
    else if (std::strstr(path, "fonts.conf"))
        mark("fontconfig", fontconfig);
    else if (std::strcmp(path, "/dev/ttyS0") == 0)
        mark("com1", com1);
    errno = saved;
}

template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

// The first terminal descriptor the call waits to write to, or -1.
int terminalAwaitingRoom(const pollfd* fds, nfds_t count)
{
    for (nfds_t i = 0; i < count; ++i)
        if ((fds[i].events & POLLOUT) && isTerminal(fds[i].fd))
            return fds[i].fd;
    return -1;
}

void recordWait(long long entered, int fd, int result, long long timeoutMs)
{
    const long long returned = nowNs();
    const int log = logDescriptor();
    if (log < 0)
        return;
    const int saved = errno;
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%lld %lld wait %d %d %lld\n", entered,
                                     returned, fd, result, timeoutMs);
    ::syscall(SYS_write, log, line, static_cast<size_t>(length));
    errno = saved;
}

} // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    static const auto real = next<int (*)(pollfd*, nfds_t, int)>("poll");
    const int fd = terminalAwaitingRoom(fds, count);
    const long long entered = fd >= 0 ? nowNs() : 0;
    const int result = real(fds, count, timeoutMs);
    if (fd >= 0)
        recordWait(entered, fd, result, timeoutMs);
    return result;
}

extern "C" int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask)
{
    static const auto real =
        next<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>("ppoll");
    const int fd = terminalAwaitingRoom(fds, count);
    const long long entered = fd >= 0 ? nowNs() : 0;
    const int result = real(fds, count, timeout, mask);
    if (fd >= 0)
        recordWait(entered, fd, result,
                   timeout ? timeout->tv_sec * 1000LL + timeout->tv_nsec / 1'000'000 : -1);
    return result;
}

extern "C" int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    markPath(path);
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    markPath(path);
    static const auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

// What open() becomes in libraries built with source fortification.
extern "C" int __open_2(const char* path, int flags)
{
    markPath(path);
    static const auto real = next<int (*)(const char*, int)>("__open_2");
    return real(path, flags);
}

extern "C" int __open64_2(const char* path, int flags)
{
    markPath(path);
    static const auto real = next<int (*)(const char*, int)>("__open64_2");
    return real(path, flags);
}

extern "C" int connect(int fd, const sockaddr* address, socklen_t length)
{
    static bool x11 = false;
    if (address && address->sa_family == AF_UNIX &&
        std::strstr(reinterpret_cast<const sockaddr_un*>(address)->sun_path + 1, "X11-unix")) {
        const int saved = errno;
        mark("x11", x11);
        errno = saved;
    }
    static const auto real = next<int (*)(int, const sockaddr*, socklen_t)>("connect");
    return real(fd, address, length);
}

// Preloaded constructors run after those of the libraries the program needs.
__attribute__((constructor)) void stampLoaded()
{
    const int log = logDescriptor();
    if (log < 0)
        return;
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%lld loaded %d\n", nowNs(), static_cast<int>(::getpid()));
    ::syscall(SYS_write, log, line, static_cast<size_t>(length));
}

extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    const long long entered = nowNs();
    const auto result = static_cast<ssize_t>(::syscall(SYS_write, fd, data, size));
    const long long returned = nowNs();
    if (isTerminal(fd)) {
        const int saved = errno;
        record(entered, returned, fd, result, data);
        errno = saved;
    }
    return result;
}
