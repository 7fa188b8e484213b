#include "device_lock.h"

#include "port_holders.h"
#include "serial_port.h"
#include "tty_drivers.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace potpanel {
namespace {

using namespace std::chrono_literals;

std::string deviceName(const std::string& device)
{
    return device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
}

// A lock file is created first and its PID written after: one that is empty or
// holds part of a PID gets a second to finish.
LockFileReading settledReading(const std::string& path)
{
    LockFileReading reading = readLockFile(path);
    for (int wait = 0; wait < 20 && reading.kind == LockFileReading::Kind::Unfinished; ++wait) {
        std::this_thread::sleep_for(50ms);
        reading = readLockFile(path);
    }
    if (reading.kind == LockFileReading::Kind::Unfinished)
        reading.kind = LockFileReading::Kind::NamesNoProcess;
    return reading;
}

[[noreturn]] void refuseLockFile(const std::string& path, const LockFileReading& reading)
{
    if (reading.kind == LockFileReading::Kind::NamesNoProcess) {
        struct stat file
        {
        };
        file.st_mode = S_IFREG;
        file.st_dev = reading.device;
        file.st_ino = reading.inode;
        if (const auto writer = reading.inode != 0 ? processHolding(file) : std::nullopt)
            throw PortFailure("the lock file " + path + " is open in " +
                              describeProcess(writer->pid) +
                              ", which may still be writing it; wait for that program or close it");
        throw PortFailure("the lock file " + path +
                          " names no process; if no other program uses the port, delete it");
    }
    throw PortFailure("in use by " + describeProcess(reading.pid) + ", which holds the lock file " +
                      path);
}

bool heldByOther(const LockFileReading& reading)
{
    return reading.kind == LockFileReading::Kind::NamesNoProcess ||
           (reading.kind == LockFileReading::Kind::Process && reading.pid != ::getpid() &&
            isLive(reading.pid));
}

std::string userName(uid_t user)
{
    struct passwd entry
    {
    };
    struct passwd* found = nullptr;
    char buffer[4096];
    return ::getpwuid_r(user, &entry, buffer, sizeof buffer, &found) == 0 && found
               ? found->pw_name
               : "user " + std::to_string(user);
}

// A getty or login gives the terminal it serves to the group tty.
bool isLoginTerminal(const struct stat& device)
{
    struct group entry
    {
    };
    struct group* found = nullptr;
    char buffer[4096];
    return ::getgrnam_r("tty", &entry, buffer, sizeof buffer, &found) == 0 && found &&
           found->gr_gid == device.st_gid;
}

// Refuses a device that a live process holds by a lock file under any of its
// names (/dev/serial/by-id/..., another node of it), in every lock directory:
// older systems keep a /var/lock of their own.
void refuseIfLockedByName(const struct stat& device)
{
    std::vector<std::string> directories{lockDirectory};
    struct stat ours
    {
    }, other{};
    if (::stat(lockDirectory, &ours) == 0 && ::stat("/var/lock", &other) == 0 &&
        (ours.st_dev != other.st_dev || ours.st_ino != other.st_ino))
        directories.emplace_back("/var/lock");
    for (const std::string& directory : directories) {
        const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(directory.c_str()), ::closedir);
        if (!entries) {
            if (errno == ENOENT)
                continue;
            cannotLook(directory, errno);
        }
        for (errno = 0; const dirent* entry = ::readdir(entries.get()); errno = 0) {
            const std::string name = entry->d_name;
            if (name.rfind("LCK..", 0) != 0 || name.size() == 5)
                continue;
            std::string node = "/dev/" + name.substr(5);
            for (char& c : node)
                if (c == '_')
                    c = '/';
            struct stat named
            {
            };
            if (::stat(node.c_str(), &named) != 0 || !sameFile(device, named))
                continue;
            const std::string path = directory + '/' + name;
            if (const LockFileReading reading = settledReading(path); heldByOther(reading))
                refuseLockFile(path, reading);
        }
        if (errno != 0)
            cannotLook(directory, errno);
    }
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

std::string lockFilePath(const std::string& device)
{
    return std::string(lockDirectory) + '/' + lockFileName(device);
}

void lookForHolders(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0)
        throw PortFailure(errno == ENOENT ? std::string("no such device") : std::strerror(errno));
    // Before anyone who has it open is looked for: everyone has /dev/null open.
    if (!S_ISCHR(status.st_mode) || !isSerialTerminal(status.st_rdev))
        throw PortFailure("not a serial device");
    // Frames written to the console would land among the kernel's messages, and
    // its settings would change under every login on it.
    if (isKernelConsole(deviceName(device), status.st_rdev))
        throw PortFailure("it is the system console, where the kernel writes its messages");
    // Whether or not the session's processes can be seen (/proc mounted
    // hidepid hides other users' processes).
    if (isLoginTerminal(status))
        throw PortFailure("it is a login session's terminal: it belongs to the group tty, as a "
                          "getty or login makes it; end that session, or stop the getty on it "
                          "(sudo systemctl stop serial-getty@" +
                          deviceName(device) + ")");
    if (const auto holder = processHolding(status))
        throw PortFailure("in use by " + describeProcess(holder->pid) +
                          (holder->how == Holder::How::Open
                               ? ", which has it open"
                               : ", whose controlling terminal it is"));
    if (const auto locker = lockHolder(status))
        throw PortFailure(*locker > 0
                              ? "in use by " + describeProcess(static_cast<pid_t>(*locker)) +
                                    ", which has locked the device"
                              : std::string("another program has locked the device, one "
                                            "this system does not name (a lock on an open "
                                            "file description, or a program in another "
                                            "container)"));
    refuseIfLockedByName(status);
}

DeviceLock::DeviceLock(LockKeeper& keeper, const std::string& device)
{
    const std::string& path = keeper.lockPath();
    for (int attempt = 0; attempt < 3 && !lockFile_; ++attempt) {
        const LockFileReading reading = settledReading(path);
        if (heldByOther(reading))
            refuseLockFile(path, reading);
        // Left by a process that has ended.
        if (reading.kind == LockFileReading::Kind::Process) {
            const StaleLockRemoval removal = removeStaleLock(path, reading);
            if (removal == StaleLockRemoval::Forbidden)
                throw PortFailure("the lock file " + path + " was left by process " +
                                  std::to_string(reading.pid) +
                                  ", which has ended, and belongs to " + userName(reading.owner) +
                                  ", so only " + userName(reading.owner) +
                                  " or an administrator can remove it: ask an administrator to "
                                  "delete it (sudo rm " +
                                  path + ")");
            if (removal == StaleLockRemoval::Replaced)
                continue;
        }
        try {
            lockFile_.emplace(path);
        } catch (const LockFileExists&) {
            // Another program took the port between the look and the claim.
        }
    }
    if (!lockFile_)
        throw PortFailure("the lock file " + path + " keeps being taken by another program");
    if (!keeper.keep(lockFile_->device(), lockFile_->inode()))
        throw PortFailure("the lock file's keeper has ended, so nothing would remove " + path +
                          " should the program be killed");
    // A program given another name of the device may have locked it since the
    // look; with this lock made, whichever of the two looks last sees the other.
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) == 0)
        refuseIfLockedByName(status);
}

bool isTaken(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    try {
        lookForHolders(device);
        return false;
    } catch (const PortFailure&) {
        return true;
    }
}

} // namespace potpanel
