#pragma once

#include <string>
#include <vector>

namespace potpanel {

// The serial ports Windows knows on this computer, by name ("COM3"), in the
// order of their numbers: the ones its serial drivers list under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<std::string> comPortNames();

} // namespace potpanel
