#pragma once

#include <string>
#include <vector>

namespace potpanel {

// A serial port of this machine, as udev describes it.
struct MachineSerialPort
{
    std::string device;       // "/dev/ttyUSB0"
    std::string stableName;   // its link under /dev/serial/by-id (else by-path), if any
    std::string maker;        // "Future Technology Devices International, Ltd"
    std::string model;        // "FT232 Serial (UART) IC"
    std::string serialNumber; // "A10KHTR4"
};

// The serial ports a program could take now: those with a UART behind them (not
// a virtual terminal, nor an 8250 port where the kernel found none), present under
// /dev, neither the kernel's console nor taken by another program. Reads udev's
// database and sysfs; opens no device, since opening a port raises its DTR and
// RTS under whoever uses it.
std::vector<MachineSerialPort> freeSerialPorts();

} // namespace potpanel
