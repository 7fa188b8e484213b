#include "device_lock.h"
#include "serial_port.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <optional>
#include <signal.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace potpanel {
namespace {

// Where terminal programs (and Qt) put UUCP lock files; /var/lock is usually a
// link to /run/lock, and reading both costs nothing.
constexpr const char* lockDirectories[] = {"/var/lock", "/run/lock"};

std::string processName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "unknown" : name;
}

std::string inUseBy(pid_t pid)
{
    return "in use by process " + std::to_string(pid) + " (" + processName(pid) + ")";
}

bool isAlive(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// The lock file's name is the device's name under /dev with '/' turned into '_'.
std::string lockFileName(const std::string& device)
{
    std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

// The PID a lock file names: ASCII, right-aligned in ten columns by UUCP
// convention, or on the first line by Qt's. Empty when there is no lock file;
// 0 when there is one but it names no process.
std::optional<pid_t> lockOwner(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        return std::nullopt;
    long pid = 0;
    if (!(file >> pid) || pid <= 0)
        return 0;
    return static_cast<pid_t>(pid);
}

void refuseIfLockFileHeld(const std::string& device)
{
    for (const char* directory : lockDirectories) {
        const std::string path = std::string(directory) + '/' + lockFileName(device);
        const std::optional<pid_t> owner = lockOwner(path);
        if (!owner)
            continue;
        // Nobody can tell whether such a file is still meant; Qt would refuse it
        // with no reason given, so say what it is.
        if (*owner == 0)
            throw PortFailure("the lock file " + path +
                              " names no process; if no other program uses the port, delete it");
        if (*owner != ::getpid() && isAlive(*owner))
            throw PortFailure(inUseBy(*owner) + ", which holds the lock file " + path);
    }
}

// The process holding a flock on the device, from /proc/locks, or 0.
pid_t flockHolder(const struct stat& device)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind) || kind == "->")
            continue;
        if (!(fields >> mode >> access >> pid >> where) || kind != "FLOCK")
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            makedev(major, minor) == device.st_dev && inode == device.st_ino)
            return static_cast<pid_t>(pid);
    }
    return 0;
}

std::string permissionDenied(const struct stat& device)
{
    const struct group* owner = ::getgrgid(device.st_gid);
    const std::string group = owner ? owner->gr_name : std::to_string(device.st_gid);
    return "permission denied; the device belongs to the group " + group +
           ": join it with \"sudo adduser $USER " + group + "\", then log out and in again";
}

} // namespace

DeviceLock::DeviceLock(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0) {
        if (errno == ENOENT)
            throw PortFailure("no such device");
        throw PortFailure(std::strerror(errno));
    }
    refuseIfLockFileHeld(device);

    descriptor_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor_ < 0) {
        switch (errno) {
        case EACCES:
        case EPERM:
            throw PortFailure(permissionDenied(status));
        case EBUSY:
            throw PortFailure("in use by another program, which opened it exclusively");
        case ENXIO:
        case ENODEV:
        case EIO:
            throw PortFailure("no hardware answers behind the device (" +
                              std::string(std::strerror(errno)) + ")");
        default:
            throw PortFailure(std::strerror(errno));
        }
    }
    if (!::isatty(descriptor_)) {
        ::close(descriptor_);
        throw PortFailure("not a serial device");
    }
    if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor_);
        if (error != EWOULDBLOCK)
            throw PortFailure(std::string("cannot lock the device: ") + std::strerror(error));
        const pid_t holder = flockHolder(status);
        throw PortFailure(holder > 0 ? inUseBy(holder) : std::string("in use by another program"));
    }
}

DeviceLock::~DeviceLock()
{
    ::close(descriptor_);
}

} // namespace potpanel
