#pragma once

#include <string>
#include <vector>

namespace potpanel {

// A serial port Windows knows on this computer.
struct ComPort
{
    std::string name;        // "COM3"
    std::string description; // "USB-SERIAL CH340", as the Device Manager shows it, if known
};

// This computer's serial ports, in the order of their numbers: the ones its
// serial drivers list under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM,
// described by the friendly names that Plug and Play gives them. Opens no port,
// since opening one raises its DTR and RTS under whoever uses it.
std::vector<ComPort> comPorts();

// Whether Windows has a device of that name ("COM3") now.
bool comPortExists(const std::string& name);

} // namespace potpanel
