#include "port_holders.h"

#include "terminals.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/sysmacros.h>

namespace potpanel {
namespace {

enum class OpenFiles { Hold, DoNotHold, Unseen };

// Whether one of the process's descriptors is the file. A process in another
// user namespace lists its descriptors but lets none be followed: those are unseen.
OpenFiles openFiles(pid_t pid, const struct stat& file, const ProcFiles& proc)
{
    const std::string where = "/proc/" + std::to_string(pid) + "/fd";
    const DirectoryList fds = proc.descriptors(pid);
    if (fds.error != 0 && !goneOrHidden(fds.error))
        cannotLook(where, fds.error);
    if (fds.error != 0)
        return OpenFiles::Unseen;
    for (const std::string& fd : fds.names) {
        // Cached attributes only: a file on a network that no longer answers
        // must not stall the look.
        struct statx found
        {
        };
        if (::statx(AT_FDCWD, proc.path(where + '/' + fd).c_str(), AT_STATX_DONT_SYNC,
                    STATX_TYPE | STATX_INO, &found) != 0) {
            if (errno == EACCES || errno == EPERM)
                return OpenFiles::Unseen;
            if (goneOrHidden(errno))
                continue;
            cannotLook(where + '/' + fd, errno);
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
    return OpenFiles::DoNotHold;
}

bool locks(const LockLine& lock, const struct stat& file)
{
    return lock.filesystem == file.st_dev && lock.inode == file.st_ino;
}

// The process whose descriptor holds the open file description's lock on the file.
std::optional<pid_t> descriptionLockHolder(const struct stat& file, const ProcFiles& proc,
                                           pid_t self)
{
    for (const pid_t pid : proc.processes()) {
        if (pid == self)
            continue;
        for (const std::string& fd : proc.descriptors(pid).names) {
            const auto held = proc.descriptorLocks(pid, fd);
            if (std::ranges::any_of(held, [&](const LockLine& lock) { return locks(lock, file); }))
                return pid;
        }
    }
    return std::nullopt;
}

} // namespace

Liveness liveness(pid_t pid, const ProcFiles& proc)
{
    if (pid <= 0)
        return Liveness::Ended;
    const OwnPid self = proc.self();
    // Outside a PID namespace, kill() sees the same PIDs as /proc, also those a
    // /proc mounted hidepid hides.
    if (!self.inPidNamespace && ::kill(pid, 0) != 0 && errno != EPERM)
        return Liveness::Ended;
    if (const auto status = proc.stat(pid))
        return status->ended() ? Liveness::Ended : Liveness::Live;
    // Listed but not to be looked at: another user's, so taken to be live.
    if (!self.inPidNamespace ||
        ::access(proc.path("/proc/" + std::to_string(pid)).c_str(), F_OK) == 0)
        return Liveness::Live;
    return Liveness::Unseen;
}

std::string describeProcess(pid_t pid, const ProcFiles& proc)
{
    std::string name = proc.commandName(pid);
    std::ranges::replace_if(
        name, [](unsigned char c) { return !std::isprint(c); }, '?');
    return "process " + std::to_string(pid) + " (" + (name.empty() ? "unknown" : name) + ")";
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode) || S_ISCHR(b.st_mode))
        return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev &&
               (!isPseudoTerminal(a.st_rdev) || a.st_dev == b.st_dev);
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::optional<Holder> processHolding(const struct stat& file, const ProcFiles& proc)
{
    const pid_t self = proc.self().pid;
    for (const pid_t pid : proc.processes()) {
        if (pid == self)
            continue;
        // Its own open files confirm or refute what a terminal's number says.
        const OpenFiles seen = openFiles(pid, file, proc);
        if (seen == OpenFiles::Hold)
            return Holder{pid, Holder::How::Open};
        // A pseudo-terminal's number is shared by every devpts instance, so it
        // says nothing without the files behind it.
        if (seen == OpenFiles::DoNotHold || !S_ISCHR(file.st_mode) ||
            isPseudoTerminal(file.st_rdev))
            continue;
        const auto status = proc.stat(pid);
        if (status && !status->ended() && status->terminal != 0 && status->terminal == file.st_rdev)
            return Holder{pid, Holder::How::ControllingTerminal};
    }
    return std::nullopt;
}

std::optional<long> lockHolder(const struct stat& file, const ProcFiles& proc)
{
    const pid_t self = proc.self().pid;
    for (const LockLine& lock : proc.locks()) {
        if (!locks(lock, file) || lock.pid == self)
            continue;
        if (lock.kind == "OFDLCK")
            if (const auto holder = descriptionLockHolder(file, proc, self))
                return *holder;
        return lock.pid;
    }
    return std::nullopt;
}

} // namespace potpanel
