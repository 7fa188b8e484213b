#pragma once

#include "lock_file.h"
#include "lock_keeper.h"

#include <optional>
#include <string>

namespace potpanel {

// The look before a serial device is opened, the way serial programs share
// ports: refuses the kernel's console, a login session's terminal, a device that
// a process has open or as its controlling terminal, one with a lock of any kind
// on it, and one that a live process holds by a UUCP lock file under any of the
// device's names. Throws PortFailure naming the cause and the holder. Touches
// nothing, so it may run on another thread while the program starts.
void lookForHolders(const std::string& device);

// Claims a serial device for this process once the look has found it free: holds
// the device's lock file in /run/lock for as long as it lives, the keeper
// removing it should the process end without running its destructors. A lock
// left by a process that has ended is cleared. Once its own lock is made, it
// refuses a lock file made meanwhile under another name of the device. Throws
// PortFailure naming the cause and the holder.
class DeviceLock
{
public:
    DeviceLock(LockKeeper& keeper, const std::string& device);

private:
    std::optional<OwnLockFile> lockFile_;
};

// Where this system keeps lock files; /var/lock points here.
inline constexpr const char* lockDirectory = "/run/lock";

// "LCK..ttyS0" for /dev/ttyS0, and for any link to it.
std::string lockFileName(const std::string& device);

// The lock file this process makes for the device.
std::string lockFilePath(const std::string& device);

// Whether the claim would be refused because the device is the kernel's console,
// a login's terminal or another program holds it (lookForHolders); opens nothing.
bool isTaken(const std::string& device);

} // namespace potpanel
