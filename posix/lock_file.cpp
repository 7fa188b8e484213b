#include "lock_file.h"

#include "port_holders.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace potpanel {
namespace {

// A PID in ten columns and a newline, with room for Qt's host and program lines.
constexpr std::size_t longestLockFile = 128;

LockFileReading namesNoProcess()
{
    return {LockFileReading::Kind::NamesNoProcess, 0};
}

} // namespace

LockFileReading readLockFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat status
    {
    };
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        // Unreadable, or a link: still, which file it is and whose.
        ::lstat(path.c_str(), &status);
    }
    char text[longestLockFile];
    ssize_t length = -1;
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size <= static_cast<off_t>(sizeof text))
        length = ::read(fd, text, sizeof text);
    if (fd >= 0)
        ::close(fd);
    LockFileReading reading = namesNoProcess();
    reading.device = status.st_dev;
    reading.inode = status.st_ino;
    reading.owner = status.st_uid;
    if (length < 0)
        return reading;

    std::string_view whole(text, static_cast<std::size_t>(length));
    // A writer creates the file first and writes its PID after: give it time.
    if (whole.find('\n') == std::string_view::npos &&
        whole.find_first_not_of(" 0123456789") == std::string_view::npos) {
        reading.kind = LockFileReading::Kind::Unfinished;
        return reading;
    }
    std::string_view line = whole.substr(0, whole.find('\n'));
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    line = line.substr(0, line.find_last_not_of(" \r") + 1);
    long pid = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), pid);
    if (line.empty() || error != std::errc() || end != line.data() + line.size() || pid < 1 ||
        pid > highestPid())
        return reading;
    reading.kind = LockFileReading::Kind::Process;
    reading.pid = static_cast<pid_t>(pid);
    return reading;
}

std::string asidePath(const std::string& path, const char* purpose)
{
    const auto slash = path.rfind('/') + 1;
    return path.substr(0, slash) + purpose + '.' + std::to_string(::getpid()) + '.' +
           path.substr(slash);
}

void removeOwnLockFile(const char* path, const char* aside, dev_t device, ino_t inode)
{
    if (::rename(path, aside) != 0)
        return;
    struct stat moved
    {
    };
    if (::lstat(aside, &moved) == 0 && moved.st_dev == device && moved.st_ino == inode)
        ::unlink(aside);
    else if (::renameat2(AT_FDCWD, aside, AT_FDCWD, path, RENAME_NOREPLACE) != 0)
        ::unlink(aside);
}

StaleLockRemoval removeStaleLock(const std::string& path, const LockFileReading& reading)
{
    const std::string aside = asidePath(path, ".stale");
    if (::rename(path.c_str(), aside.c_str()) != 0)
        return errno == ENOENT ? StaleLockRemoval::Replaced : StaleLockRemoval::Forbidden;
    const LockFileReading moved = readLockFile(aside);
    if (moved.device == reading.device && moved.inode == reading.inode &&
        moved.kind == LockFileReading::Kind::Process && moved.pid == reading.pid &&
        !isLive(moved.pid)) {
        ::unlink(aside.c_str());
        return StaleLockRemoval::Removed;
    }
    // Another program's lock, made since the look: back where it was, unless
    // yet another one has been made there meanwhile, which then holds the port.
    if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
        ::unlink(aside.c_str());
    return StaleLockRemoval::Replaced;
}

OwnLockFile::OwnLockFile(std::string path)
    : path_(std::move(path)), aside_(asidePath(path_, ".left"))
{
    const int fd =
        ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST)
        throw LockFileExists("the lock file " + path_ + " exists");
    if (fd < 0)
        throw PortFailure("cannot create the lock file " + path_ + " (" + std::strerror(errno) +
                          "); without it other programs could take the port at the same time");
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    struct stat status
    {
    };
    const bool written =
        ::fchmod(fd, 0644) == 0 && ::write(fd, text, length) == length && ::fstat(fd, &status) == 0;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(path_.c_str());
        throw PortFailure("cannot write the lock file " + path_ + " (" + std::strerror(error) +
                          ")");
    }
}

OwnLockFile::~OwnLockFile()
{
    removeOwnLockFile(path_.c_str(), aside_.c_str(), device_, inode_);
}

} // namespace potpanel
