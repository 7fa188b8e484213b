#include "device_lock.h"

#include "port_holders.h"
#include "serial_port.h"
#include "tty_drivers.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace potpanel {
namespace {

std::string deviceName(const std::string& device)
{
    return device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
}

[[noreturn]] void refuseLockFile(const std::string& path, const LockFileReading& reading)
{
    if (reading.kind == LockFileReading::Kind::NamesNoProcess)
        throw PortFailure("the lock file " + path +
                          " names no process; if no other program uses the port, delete it");
    throw PortFailure("in use by " + describeProcess(reading.pid) + ", which holds the lock file " +
                      path);
}

bool heldByOther(const LockFileReading& reading)
{
    return reading.kind == LockFileReading::Kind::NamesNoProcess ||
           (reading.kind == LockFileReading::Kind::Process && reading.pid != ::getpid() &&
            isLive(reading.pid));
}

// Older systems keep a /var/lock of its own; a holder there counts too.
void refuseIfLockedElsewhere(const std::string& name)
{
    struct stat ours
    {
    }, other{};
    if (::stat(lockDirectory, &ours) != 0 || ::stat("/var/lock", &other) != 0 ||
        (ours.st_dev == other.st_dev && ours.st_ino == other.st_ino))
        return;
    const std::string path = "/var/lock/" + name;
    const LockFileReading reading = readLockFile(path);
    if (heldByOther(reading))
        refuseLockFile(path, reading);
}

} // namespace

std::string lockFileName(const std::string& device)
{
    // Named after the device itself, whichever link led to it
    // (/dev/serial/by-id/...), so that programs reaching one port by different
    // names see each other's locks.
    std::error_code unresolved;
    const std::filesystem::path real = std::filesystem::canonical(device, unresolved);
    std::string name = deviceName(unresolved ? device : real.string());
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

DeviceLock::DeviceLock(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0)
        throw PortFailure(errno == ENOENT ? std::string("no such device") : std::strerror(errno));
    if (!S_ISCHR(status.st_mode) || !isSerialTerminal(status.st_rdev))
        throw PortFailure("not a serial device");
    // Frames written to the console would land among the kernel's messages, and
    // its settings would change under every login on it.
    if (isKernelConsole(deviceName(device), status.st_rdev))
        throw PortFailure("it is the system console, where the kernel writes its messages");

    refuseIfLockedElsewhere(lockFileName(device));
    const std::string path = std::string(lockDirectory) + '/' + lockFileName(device);
    // A lock left by a process that has gone is cleared; one that names nobody is
    // left for the operator, who can tell whether it is still meant.
    for (int attempt = 0; attempt < 3 && !lockFile_; ++attempt) {
        const LockFileReading reading = readLockFile(path);
        if (heldByOther(reading))
            refuseLockFile(path, reading);
        if (reading.kind != LockFileReading::Kind::Absent)
            ::unlink(path.c_str());
        try {
            lockFile_.emplace(path);
        } catch (const LockFileExists&) {
            // Another program took the port between the look and the claim.
        }
    }
    if (!lockFile_)
        throw PortFailure("the lock file " + path + " keeps being taken by another program");

    // Holders that take no lock file: a login session, or a program using flock.
    if (const pid_t session = controllingProcess(status.st_rdev))
        throw PortFailure("in use by " + describeProcess(session) +
                          ", whose controlling terminal it is");
    if (const pid_t holder = flockHolder(status))
        throw PortFailure("in use by " + describeProcess(holder) + ", which has locked the device");
}

bool isTaken(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0)
        return false;
    const std::string name = lockFileName(device);
    return isKernelConsole(deviceName(device), status.st_rdev) ||
           heldByOther(readLockFile(std::string(lockDirectory) + '/' + name)) ||
           heldByOther(readLockFile("/var/lock/" + name)) || controllingProcess(status.st_rdev) ||
           flockHolder(status);
}

} // namespace potpanel
