#include "look.h"

#include "accounts.h"
#include "lock_file.h"
#include "port_holders.h"
#include "serial_port.h"
#include "terminals.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace potpanel {
namespace {

std::string deviceName(const std::string& device)
{
    return device.starts_with("/dev/") ? device.substr(5) : device;
}

// A getty or login gives the terminal it serves to the group tty.
bool isLoginTerminal(const struct stat& device)
{
    return groupId("tty") == device.st_gid;
}

} // namespace

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
                                            "this system does not name (a program of another "
                                            "user, or in another container)"));
    refuseIfLockedByName(status);
}

void refuseIfLockedByName(const struct stat& device)
{
    // Older systems keep a /var/lock of their own.
    std::vector<std::string> directories{lockDirectory};
    struct stat ours
    {
    }, other{};
    if (::stat(lockDirectory, &ours) == 0 && ::stat("/var/lock", &other) == 0 &&
        !sameFile(ours, other))
        directories.emplace_back("/var/lock");
    for (const std::string& directory : directories) {
        const DirectoryList list = listDirectory(directory);
        if (list.error == ENOENT)
            continue;
        if (list.error != 0)
            cannotLook(directory, list.error);
        for (const std::string& name : list.names) {
            if (!name.starts_with("LCK..") || name.size() == 5)
                continue;
            std::string node = "/dev/" + name.substr(5);
            std::ranges::replace(node, '_', '/');
            struct stat named
            {
            };
            if (::stat(node.c_str(), &named) == 0 && sameFile(device, named))
                refuseIfHeld(directory + '/' + name);
        }
    }
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
