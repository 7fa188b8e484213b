#include "lock_file.h"

#include "application_identity.h"
#include "serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace potpanel {
namespace {

using namespace std::chrono_literals;

// A PID in ten columns and a newline, with room for Qt's host and program lines.
constexpr std::size_t longestLockFile = 128;

// Whether some process holds a flock on the file: the kernel keeps it across
// PID namespaces, even where the holder's PID cannot be seen.
bool isFlocked(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flocked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return flocked;
}

LockVerdict judge(const std::string& path, const LockFileReading& reading)
{
    const Liveness alive = reading.present && reading.text.kind == LockFileText::Kind::Process
                               ? liveness(reading.text.pid)
                               : Liveness::Ended;
    return judgeLockFile(reading, systemProc().self().pid, alive,
                         alive == Liveness::Unseen && isFlocked(path));
}

std::string deviceName(const std::string& device)
{
    return device.starts_with("/dev/") ? device.substr(5) : device;
}

} // namespace

std::string lockFileName(const std::string& device)
{
    // Named after the device itself, whichever link led to it
    // (/dev/serial/by-id/...), so that programs reaching one port by different
    // names see each other's locks.
    std::error_code unresolved;
    const std::filesystem::path real = std::filesystem::canonical(device, unresolved);
    std::string name = deviceName(unresolved ? device : real.string());
    std::ranges::replace(name, '/', '_');
    return "LCK.." + name;
}

std::string lockFilePath(const std::string& device)
{
    return std::string(lockDirectory) + '/' + lockFileName(device);
}

LockFileReading readLockFile(const std::string& path)
{
    const FileText file = readSmallFile(path, Trust::Untrusted, longestLockFile);
    if (file.error == ENOENT)
        return {};
    LockFileReading reading{true, {}, file.status.st_dev, file.status.st_ino, file.status.st_uid};
    if (file.error == 0)
        reading.text = parseLockFileText(file.text, systemProc().highestPid());
    return reading;
}

LockVerdict judgeLockFile(const LockFileReading& reading, pid_t self, Liveness liveness,
                          bool flocked)
{
    if (!reading.present)
        return LockVerdict::Free;
    if (reading.text.kind != LockFileText::Kind::Process)
        return LockVerdict::NamesNoProcess;
    if (reading.text.pid == self)
        return LockVerdict::Free;
    switch (liveness) {
    case Liveness::Live:
        return LockVerdict::Held;
    case Liveness::Ended:
        return LockVerdict::Stale;
    case Liveness::Unseen:
        break;
    }
    if (flocked)
        return LockVerdict::HeldUnseen;
    return reading.text.program == applicationName ? LockVerdict::Stale : LockVerdict::CannotTell;
}

JudgedLockFile refuseIfHeld(const std::string& path)
{
    LockFileReading reading = readLockFile(path);
    // A lock file is created first and its PID written after.
    for (int wait = 0; wait < 20 && reading.text.kind == LockFileText::Kind::Unfinished; ++wait) {
        std::this_thread::sleep_for(50ms);
        reading = readLockFile(path);
    }
    const LockVerdict verdict = judge(path, reading);
    const std::string pid = std::to_string(reading.text.pid);
    switch (verdict) {
    case LockVerdict::Free:
    case LockVerdict::Stale:
        return {reading, verdict};
    case LockVerdict::Held:
        throw PortFailure("in use by " + describeProcess(reading.text.pid) +
                          ", which holds the lock file " + path);
    case LockVerdict::HeldUnseen:
        throw PortFailure("in use by a program outside this panel's PID namespace (process " + pid +
                          " there), which holds the lock file " + path);
    case LockVerdict::CannotTell:
        throw PortFailure("the lock file " + path + " names process " + pid +
                          ", which this panel cannot see from inside its PID namespace (a "
                          "container or a sandbox), so it cannot tell whether that process still "
                          "runs; check on the host (ps -p " +
                          pid + ") and, if it has ended, delete the lock file");
    case LockVerdict::NamesNoProcess:
        break;
    }
    struct stat file
    {
    };
    file.st_mode = S_IFREG;
    file.st_dev = reading.device;
    file.st_ino = reading.inode;
    if (const auto writer = reading.inode != 0 ? processHolding(file) : std::nullopt)
        throw PortFailure("the lock file " + path + " is open in " + describeProcess(writer->pid) +
                          ", which may still be writing it; wait for that program or close it");
    throw PortFailure("the lock file " + path +
                      " names no process; if no other program uses the port, delete it");
}

StaleLockRemoval removeStaleLock(const std::string& path, const LockFileReading& reading)
{
    const std::string aside = asidePath(path, ".stale");
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? StaleLockRemoval::Replaced : StaleLockRemoval::Forbidden;
    const LockFileReading moved = readLockFile(aside);
    if (moved.device == reading.device && moved.inode == reading.inode &&
        moved.text.pid == reading.text.pid && judge(aside, moved) == LockVerdict::Stale) {
        ::unlink(aside.c_str());
        return StaleLockRemoval::Removed;
    }
    // Another program's lock, made since the look.
    putBack(aside.c_str(), path.c_str());
    return StaleLockRemoval::Replaced;
}

std::string asidePath(const std::string& path, const char* purpose)
{
    const auto slash = path.rfind('/') + 1;
    return path.substr(0, slash) + purpose + '.' + std::to_string(::getpid()) + '.' +
           path.substr(slash);
}

void putBack(const char* aside, const char* path)
{
    if (::renameat2(AT_FDCWD, aside, AT_FDCWD, path, RENAME_NOREPLACE) != 0)
        ::unlink(aside);
}

} // namespace potpanel
