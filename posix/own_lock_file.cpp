#include "own_lock_file.h"

#include "application_identity.h"
#include "lock_file.h"
#include "proc_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace potpanel {

OwnLockFile::OwnLockFile(std::string path)
    : path_(std::move(path)), aside_(asidePath(path_, ".left"))
{
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno == EEXIST)
        throw LockFileExists("the lock file " + path_ + " exists");
    if (fd_ < 0)
        throw PortFailure("cannot create the lock file " + path_ + " (" + std::strerror(errno) +
                          "); without it other programs could take the port at the same time");
    const OwnPid self = systemProc().self();
    char text[64];
    const int length =
        std::snprintf(text, sizeof text, self.inPidNamespace ? "%10d\n%s\n" : "%10d\n",
                      static_cast<int>(self.pid), applicationName);
    struct stat status
    {
    };
    const bool written = ::flock(fd_, LOCK_EX | LOCK_NB) == 0 && ::fchmod(fd_, 0644) == 0 &&
                         ::write(fd_, text, length) == length && ::fstat(fd_, &status) == 0;
    const int error = errno;
    device_ = status.st_dev;
    inode_ = status.st_ino;
    if (!written) {
        ::unlink(path_.c_str());
        ::close(fd_);
        throw PortFailure("cannot write the lock file " + path_ + " (" + std::strerror(error) +
                          ")");
    }
}

OwnLockFile::~OwnLockFile()
{
    removeOwnLockFile(path_.c_str(), aside_.c_str(), device_, inode_);
    ::close(fd_);
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
    else
        putBack(aside, path);
}

} // namespace potpanel
