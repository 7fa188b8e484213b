#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

namespace potpanel {

// The one way this program reads a small file and lists a directory. Each
// returns the errno of a failure rather than throwing, since what a failure
// means (a process that ended, a file nobody made) is the caller's to say.
// Reentrant: the look for holders runs them on its own thread.

struct FileText
{
    int error = 0;
    std::string text;
    // Which file was read, and whose it is; for an untrusted file that could
    // not be read, what lstat() says of the path.
    struct stat status
    {
    };
};

enum class Trust {
    // A file of the kernel's or this system's.
    System,
    // A file anyone may have put there (the lock directory is world-writable):
    // not followed if a link, not waited on if a FIFO or device, and read only
    // if it is a regular file of at most `limit` bytes (EINVAL otherwise).
    Untrusted,
};

FileText readSmallFile(const std::string& path, Trust trust = Trust::System,
                       std::size_t limit = 1 << 20);

struct DirectoryList
{
    int error = 0;
    // Without "." and "..".
    std::vector<std::string> names;
};
DirectoryList listDirectory(const std::string& path);

// What the link says, or "" with errno set.
std::string linkTarget(const std::string& path);

} // namespace potpanel
