#pragma once

#include <string>
#include <sys/types.h>

namespace potpanel {

// Removes this process's lock file however the process ends, SIGKILL, a crash
// and _exit() included: a small child process, forked before the port is
// opened, that holds nothing but one end of a socket pair. Once told which file
// is the lock (keep()), it waits for the socket to close, which happens when
// this process ends in any way or the keeper is destroyed; then it removes the
// file if it is still the one this process made, and exits.
class LockKeeper
{
public:
    // Throws PortFailure when the keeper cannot be started.
    explicit LockKeeper(const std::string& lockPath);
    // Closes the socket and waits for the keeper to finish.
    ~LockKeeper();

    LockKeeper(const LockKeeper&) = delete;
    LockKeeper& operator=(const LockKeeper&) = delete;

    const std::string& lockPath() const { return path_; }
    // The lock file made at lockPath(), by its device and inode; false when the
    // keeper is no longer there to remove it. Once it returns, the keeper holds
    // none of this process's descriptors.
    bool keep(dev_t device, ino_t inode);

private:
    void stop();

    std::string path_;
    int socket_ = -1;
    pid_t keeper_ = -1;
};

} // namespace potpanel
