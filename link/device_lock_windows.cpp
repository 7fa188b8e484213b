#include "device_lock.h"

namespace potpanel {

// Windows opens a COM port for one process only; there is nothing to add.
DeviceLock::DeviceLock(const std::string&) {}

DeviceLock::~DeviceLock() = default;

} // namespace potpanel
