#pragma once

#include "serial_port.h"

#include <string>
#include <sys/types.h>

namespace potpanel {

// What a UUCP lock file (LCK..ttyS0) says about who holds a port.
struct LockFileReading
{
    enum class Kind {
        Absent,
        Process,        // pid names a process, live or not
        Unfinished,     // empty, or a PID without its newline: perhaps still being written
        NamesNoProcess, // there is something, but no PID can be read from it
    };
    Kind kind = Kind::Absent;
    pid_t pid = 0;
    // Which file was read, and whose it is.
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
};

// Reads a lock file written by any program, safely: it may be a FIFO, a link, a
// device or a huge file put there by anyone, since the lock directory is
// world-writable. Only a small regular file whose first line is a PID in
// 1..pid_max names a process.
LockFileReading readLockFile(const std::string& path);

// Removes a lock file left by a process that has ended, only if the file there
// is still the one read (same device and inode) and still names that ended
// process: it is moved aside first and looked at where nobody else looks, and
// what turns out not to be stale is put back. A check followed by unlink()
// could remove a lock another program has just made in its place.
enum class StaleLockRemoval {
    Removed,
    Replaced,  // it is no longer the file read: read it again
    Forbidden, // this user may not remove it (another user's, in a sticky directory)
};
StaleLockRemoval removeStaleLock(const std::string& path, const LockFileReading& reading);

// Where a lock file is moved aside to be looked at: beside it, named after this
// process and what it is doing (".stale", ".gone"), so that nobody else looks there.
std::string asidePath(const std::string& path, const char* purpose);

// Removes the lock file at path if it is still the one with this identity: moved
// aside first, so that a lock another program has put in its place is never the
// one removed, and put back if it is not ours. Only async-signal-safe calls, for
// the keeper after fork().
void removeOwnLockFile(const char* path, const char* aside, dev_t device, ino_t inode);

// Somebody created the lock file first.
class LockFileExists : public PortFailure
{
public:
    using PortFailure::PortFailure;
};

// This process's own lock file: created exclusively with our PID in the ten
// columns other serial programs read, and removed with this object.
class OwnLockFile
{
public:
    // Throws LockFileExists when it is there already, PortFailure when it cannot
    // be created.
    explicit OwnLockFile(std::string path);
    ~OwnLockFile();

    OwnLockFile(const OwnLockFile&) = delete;
    OwnLockFile& operator=(const OwnLockFile&) = delete;

    const std::string& path() const { return path_; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

private:
    std::string path_;
    std::string aside_;
    // Which file is ours, so that a lock file put in its place by another
    // program is never removed.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace potpanel
