#include "port_holders.h"

#include "serial_port.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <sstream>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace potpanel {
namespace {

using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;

// A process that went away while being looked at, or that this user may not see.
bool goneOrHidden(int error)
{
    return error == ENOENT || error == ESRCH || error == EACCES || error == EPERM;
}

// Reads a small file whole: 0, or the errno of the failure.
int readFile(const std::string& path, std::string& text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    return error;
}

struct ProcessStatus
{
    std::string state;
    unsigned long terminal = 0;
};

// The fields of /proc/PID/stat after the name, which may itself hold spaces and
// parentheses: state, parent, group, session, terminal. Nothing for a process
// that has gone.
std::optional<ProcessStatus> processStatus(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    std::string text;
    if (const int error = readFile(path, text)) {
        if (goneOrHidden(error))
            return std::nullopt;
        cannotLook(path, error);
    }
    const auto nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(nameEnd + 1));
    ProcessStatus status;
    long parent = 0, group = 0, session = 0;
    if (!(fields >> status.state >> parent >> group >> session >> status.terminal))
        return std::nullopt;
    return status;
}

// /proc/PID/stat encodes a terminal as the kernel's new_encode_dev does.
dev_t decodeTerminal(unsigned long number)
{
    return makedev((number >> 8) & 0xfff, (number & 0xff) | ((number >> 12) & 0xfff00));
}

bool isPseudoTerminal(dev_t device)
{
    return major(device) >= 136 && major(device) <= 143;
}

// The next entry of a directory being read, nothing at its end.
const dirent* nextEntry(DIR* directory, const std::string& where)
{
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (!entry && errno != 0)
        cannotLook(where, errno);
    return entry;
}

enum class OpenFiles { Hold, DoNotHold, Unseen };

// Whether one of the descriptors in /proc/PID/fd (open as fds) is the file.
// A process in another user namespace lists its descriptors but lets none be
// followed: those are unseen.
OpenFiles openFiles(int fds, const std::string& where, const struct stat& file)
{
    const std::unique_ptr<int, void (*)(const int*)> closer(&fds,
                                                            [](const int* fd) { ::close(*fd); });
    // getdents64() itself rather than readdir(): a look at hundreds of processes
    // saves the three calls fdopendir() makes for each.
    alignas(dirent64) char buffer[4096];
    for (ssize_t length; (length = ::getdents64(fds, buffer, sizeof buffer)) != 0;) {
        if (length < 0 && goneOrHidden(errno))
            return OpenFiles::DoNotHold; // it ended while being looked at
        if (length < 0)
            cannotLook(where, errno);
        for (ssize_t at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
                continue;
            // Cached attributes only: a file on a network that no longer answers
            // must not stall the look.
            struct statx found
            {
            };
            if (::statx(fds, entry->d_name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &found) !=
                0) {
                if (errno == EACCES || errno == EPERM)
                    return OpenFiles::Unseen;
                if (goneOrHidden(errno))
                    continue;
                cannotLook(where + '/' + entry->d_name, errno);
            }
            struct stat other
            {
            };
            other.st_mode = found.stx_mode;
            other.st_dev = makedev(found.stx_dev_major, found.stx_dev_minor);
            other.st_rdev = makedev(found.stx_rdev_major, found.stx_rdev_minor);
            other.st_ino = found.stx_ino;
            if (sameFile(file, other))
                return OpenFiles::Hold;
        }
    }
    return OpenFiles::DoNotHold;
}

} // namespace

[[noreturn]] void cannotLook(const std::string& what, int error)
{
    std::string remedy = "make /proc readable to this user";
    if (error == EMFILE || error == ENFILE)
        remedy = "allow the program more open files (ulimit -n)";
    else if (error == ENOMEM)
        remedy = "free some memory";
    throw PortFailure("cannot see which programs use the port (" + what + ": " +
                      std::strerror(error) + "), so it is not taken; " + remedy +
                      " and start again");
}

long highestPid()
{
    std::string text;
    long highest = 0;
    if (readFile("/proc/sys/kernel/pid_max", text) == 0)
        std::from_chars(text.data(), text.data() + text.size(), highest);
    return highest > 0 ? highest : 4194304;
}

bool isLive(pid_t pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM))
        return false;
    const auto status = processStatus(pid);
    // A process this user may not look at is taken to be live.
    return !status || (status->state != "Z" && status->state != "X");
}

std::string describeProcess(pid_t pid)
{
    std::string name;
    readFile("/proc/" + std::to_string(pid) + "/comm", name);
    name = name.substr(0, name.find('\n'));
    for (char& c : name)
        if (!std::isprint(static_cast<unsigned char>(c)))
            c = '?';
    return "process " + std::to_string(pid) + " (" + (name.empty() ? "unknown" : name) + ")";
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode) || S_ISCHR(b.st_mode))
        return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev &&
               (!isPseudoTerminal(a.st_rdev) || a.st_dev == b.st_dev);
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::optional<Holder> processHolding(const struct stat& file)
{
    const Directory proc(::opendir("/proc"), ::closedir);
    if (!proc)
        cannotLook("/proc", errno);
    const pid_t self = ::getpid();
    while (const dirent* entry = nextEntry(proc.get(), "/proc")) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        const std::string where = "/proc/" + std::string(entry->d_name) + "/fd";
        const int fds = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds < 0 && !goneOrHidden(errno))
            cannotLook(where, errno);
        // Its own open files confirm or refute what a terminal's number says.
        const OpenFiles seen = fds >= 0 ? openFiles(fds, where, file) : OpenFiles::Unseen;
        if (seen == OpenFiles::Hold)
            return Holder{static_cast<pid_t>(pid), Holder::How::Open};
        // A pseudo-terminal's number is shared by every devpts instance (each
        // container has one), so it says nothing without the files behind it.
        if (seen == OpenFiles::DoNotHold || !S_ISCHR(file.st_mode) ||
            isPseudoTerminal(file.st_rdev))
            continue;
        const auto status = processStatus(static_cast<pid_t>(pid));
        if (status && status->state != "Z" && status->state != "X" && status->terminal != 0 &&
            decodeTerminal(status->terminal) == file.st_rdev)
            return Holder{static_cast<pid_t>(pid), Holder::How::ControllingTerminal};
    }
    return std::nullopt;
}

std::optional<LockLine> parseLockLine(std::string_view line)
{
    std::istringstream fields{std::string(line)};
    std::string number, kind, mode, access, where;
    LockLine lock;
    if (!(fields >> number >> kind) || kind == "->")
        return std::nullopt;
    if (!(fields >> mode >> access >> lock.pid >> where))
        return std::nullopt;
    unsigned major = 0, minor = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &lock.inode) != 3)
        return std::nullopt;
    lock.kind = kind;
    lock.filesystem = makedev(major, minor);
    return lock;
}

std::optional<long> lockHolder(const struct stat& file)
{
    std::string text;
    if (const int error = readFile("/proc/locks", text))
        cannotLook("/proc/locks", error);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto lock = parseLockLine(line);
        if (lock && lock->filesystem == file.st_dev && lock->inode == file.st_ino &&
            lock->pid != ::getpid())
            return lock->pid;
    }
    return std::nullopt;
}

bool isKernelConsole(const std::string& name, dev_t terminal)
{
    // /proc/consoles: "ttyS0  -W- (EC p a)  4:64", one console a line.
    std::string text;
    if (const int error = readFile("/proc/consoles", text); error != 0 && error != ENOENT)
        cannotLook("/proc/consoles", error);
    std::istringstream listed(text);
    for (std::string line; std::getline(listed, line);) {
        std::istringstream fields(line);
        std::string console, number;
        fields >> console;
        for (std::string word; fields >> word;)
            number = word;
        unsigned major = 0, minor = 0;
        if (console == name || (std::sscanf(number.c_str(), "%u:%u", &major, &minor) == 2 &&
                                makedev(major, minor) == terminal))
            return true;
    }
    // The active consoles by name, space-separated.
    readFile("/sys/class/tty/console/active", text);
    std::istringstream names(text);
    for (std::string console; names >> console;)
        if (console == name)
            return true;
    return false;
}

} // namespace potpanel
