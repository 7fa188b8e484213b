#pragma once

#include <string>

namespace potpanel {

// Claims a serial device for this process alone, the way terminal programs share
// ports: refuses a device that a live process holds by a UUCP lock file
// (LCK..ttyS0) or by flock(2), or that is opened exclusively, and holds a flock
// on it for as long as it lives. Throws PortFailure naming the cause, and the
// holder when it can be found.
class DeviceLock
{
public:
    explicit DeviceLock(const std::string& device);
    ~DeviceLock();

    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

private:
    int descriptor_ = -1;
};

} // namespace potpanel
