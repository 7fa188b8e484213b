#pragma once

#include "machine_serial_ports.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace potpanel {

// The message for a COM1 whose device does not exist: the failure, then the
// machine's free serial ports, each with a button that makes it COM1; with none,
// how to try the panel without a controller: the simulator by its name where it is
// installed, by its path in a build folder. Returns the port chosen (by its
// stable name where it has one), or nothing once the message has been dismissed
// (OK, Return, Escape, closing it).
std::optional<std::string> choosePort(const std::exception& failure,
                                      const std::vector<MachineSerialPort>& ports);

} // namespace potpanel
