#pragma once

#include "port_holders.h"
#include "proc_text.h"

#include <string>
#include <sys/types.h>

namespace potpanel {

// UUCP lock files (LCK..ttyS0), the way serial programs share ports.

// Where this system keeps lock files; /var/lock points here.
inline constexpr const char* lockDirectory = "/run/lock";

// "LCK..ttyS0" for /dev/ttyS0, and for any link to it.
std::string lockFileName(const std::string& device);

// The lock file this process makes for the device.
std::string lockFilePath(const std::string& device);

// A lock file as found, written by any program.
struct LockFileReading
{
    bool present = false;
    LockFileText text;
    // Which file was read, and whose it is.
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
};

// Reads a lock file safely: it may be a FIFO, a link, a device or a huge file
// put there by anyone, since the lock directory is world-writable. Only a small
// regular file whose first line is a PID in 1..pid_max names a process.
LockFileReading readLockFile(const std::string& path);

// What a lock file means for the port.
enum class LockVerdict {
    Free,           // absent, or this process's own
    Stale,          // its process is known to have ended
    Held,           // by a live process
    HeldUnseen,     // by a process out of sight, which keeps a flock on it
    CannotTell,     // it names a process out of sight, which may live
    NamesNoProcess, // no PID can be read from it
};
// Pure: `flocked` (someone holds a flock on the file) counts only for a process
// out of sight. The program name tells a lock of this program's, which keeps
// such a flock while it lives: without the flock, its holder has ended.
LockVerdict judgeLockFile(const LockFileReading& reading, pid_t self, Liveness liveness,
                          bool flocked);

// Reads the lock file, giving one being written a second to finish, and judges
// it. Throws PortFailure naming the holder unless it is free or stale.
struct JudgedLockFile
{
    LockFileReading reading;
    LockVerdict verdict;
};
JudgedLockFile refuseIfHeld(const std::string& path);

// Removes a stale lock file only if the file there is still the one read and
// still stale: it is moved aside first and judged again where nobody else
// looks, and what turns out not to be stale is put back. A check followed by
// unlink() could remove a lock another program has just made in its place.
enum class StaleLockRemoval {
    Removed,
    Replaced,  // it is no longer the file read: read it again
    Forbidden, // this user may not remove it (another user's, in a sticky directory)
};
StaleLockRemoval removeStaleLock(const std::string& path, const LockFileReading& reading);

// Where a lock file is moved aside to be looked at: beside it, named after this
// process and what it is doing (".stale", ".gone", ".left"), so that nobody
// else looks there.
std::string asidePath(const std::string& path, const char* purpose);

// Puts a lock file moved aside back at path, unless another has been made there
// meanwhile, which then holds the port. Async-signal-safe.
void putBack(const char* aside, const char* path);

} // namespace potpanel
