#pragma once

#include <string>
#include <sys/stat.h>

namespace potpanel {

// The look before a serial device is opened: refuses the kernel's console, a
// login session's terminal, a device that a process has open or as its
// controlling terminal, one with a lock of any kind on it, and one that a live
// process holds by a UUCP lock file under any of the device's names. Throws
// PortFailure naming the cause and the holder. Touches nothing, so it runs on a
// thread of its own while the program starts.
void lookForHolders(const std::string& device);

// Refuses a device that a live process holds by a lock file under any of its
// names (/dev/serial/by-id/..., another node of it), in every lock directory.
void refuseIfLockedByName(const struct stat& device);

// Whether the look would refuse the device; opens nothing.
bool isTaken(const std::string& device);

} // namespace potpanel
