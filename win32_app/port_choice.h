#pragma once

#include "com_ports.h"

#include <optional>
#include <string>
#include <vector>

namespace potpanel {

// The message for a COM1 whose port does not exist: the failure, then this
// computer's serial ports, each with a button that makes it COM1 (Alt and its
// number); with none, that no serial port is attached. OK is the default and
// Escape. Returns the port chosen, or nothing once the message is dismissed.
std::optional<std::string> choosePort(const std::string& failure,
                                      const std::vector<ComPort>& ports);

} // namespace potpanel
