#pragma once

#include "lock_file.h"

#include <optional>
#include <string>

namespace potpanel {

// Claims a serial device for this process before it is opened, the way serial
// programs share ports: refuses the kernel's console, a device that is some
// process's controlling terminal, and one that a live process holds by a UUCP
// lock file or by flock(2); then holds the device's lock file in /run/lock for
// as long as it lives. Throws PortFailure naming the cause and the holder.
class DeviceLock
{
public:
    explicit DeviceLock(const std::string& device);

private:
    std::optional<OwnLockFile> lockFile_;
};

// Where this system keeps lock files; /var/lock points here.
inline constexpr const char* lockDirectory = "/run/lock";

// "LCK..ttyS0" for /dev/ttyS0, and for any link to it.
std::string lockFileName(const std::string& device);

// Whether the claim would be refused because the device is the kernel's console
// or another program holds it; reads what the system publishes and opens nothing.
bool isTaken(const std::string& device);

} // namespace potpanel
