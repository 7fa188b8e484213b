#include "files.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace potpanel {

FileText readSmallFile(const std::string& path, Trust trust, std::size_t limit)
{
    FileText file;
    const int flags =
        O_RDONLY | O_CLOEXEC | (trust == Trust::Untrusted ? O_NOFOLLOW | O_NONBLOCK : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        file.error = errno;
        if (trust == Trust::Untrusted)
            ::lstat(path.c_str(), &file.status); // unreadable, or a link: still, whose it is
        return file;
    }
    if (::fstat(fd, &file.status) != 0)
        file.error = errno;
    else if (trust == Trust::Untrusted &&
             (!S_ISREG(file.status.st_mode) || file.status.st_size > static_cast<off_t>(limit)))
        file.error = EINVAL;
    char buffer[4096];
    ssize_t n = 0;
    while (file.error == 0 && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno != EINTR)
            file.error = errno;
        else if (n > 0)
            file.text.append(buffer, static_cast<std::size_t>(n));
        if (file.text.size() > limit)
            file.error = EFBIG;
    }
    ::close(fd);
    return file;
}

DirectoryList listDirectory(const std::string& path)
{
    DirectoryList list;
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(path.c_str()), ::closedir);
    if (!directory) {
        list.error = errno;
        return list;
    }
    // readdir() is reentrant for distinct directory streams.
    for (errno = 0; const dirent* entry = ::readdir(directory.get()); errno = 0) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            list.names.push_back(name);
    }
    list.error = errno;
    return list;
}

std::string linkTarget(const std::string& path)
{
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

} // namespace potpanel
