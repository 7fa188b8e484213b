#pragma once

#include <string>

namespace potpanel {

// Why this user may not open the device, and the remedy that fits: join the
// system's serial group only when the device's group is that group and grants
// read and write; log out and in again when the user has joined it since the
// session began; otherwise who may open it.
std::string permissionDenied(const std::string& device);

} // namespace potpanel
