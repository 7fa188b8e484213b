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
        NamesNoProcess, // there is something, but no PID can be read from it
    };
    Kind kind = Kind::Absent;
    pid_t pid = 0;
};

// Reads a lock file written by any program, safely: it may be a FIFO, a link, a
// device or a huge file put there by anyone, since the lock directory is
// world-writable. Only a small regular file whose first line is a PID in
// 1..pid_max names a process.
LockFileReading readLockFile(const std::string& path);

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

private:
    std::string path_;
    // Which file is ours, so that a lock file put in its place by another
    // program is never removed.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

} // namespace potpanel
