#pragma once

#include "serial_port.h"

#include <string>
#include <sys/types.h>

namespace potpanel {

// Somebody created the lock file first.
class LockFileExists : public PortFailure
{
public:
    using PortFailure::PortFailure;
};

// This process's own lock file: created exclusively with its PID (as /proc
// numbers it) in the ten columns other serial programs read, kept under a flock
// while it lives, and removed with this object. Inside a PID namespace it also
// names this program on its second line, as Qt's lock files do, so that a
// panel that cannot see the PID still tells by the flock whether it lives.
class OwnLockFile
{
public:
    // Throws LockFileExists when it is there already, PortFailure when it cannot
    // be created.
    explicit OwnLockFile(std::string path);
    ~OwnLockFile();

    OwnLockFile(const OwnLockFile&) = delete;
    OwnLockFile& operator=(const OwnLockFile&) = delete;

    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

private:
    std::string path_;
    std::string aside_;
    int fd_ = -1;
    // Which file is ours, so that a lock file put in its place by another
    // program is never removed.
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Removes the lock file at path if it is still the one with this identity: moved
// aside first, so that a lock another program has put in its place is never the
// one removed, and put back if it is not ours. Only async-signal-safe calls, for
// the keeper after fork().
void removeOwnLockFile(const char* path, const char* aside, dev_t device, ino_t inode);

} // namespace potpanel
