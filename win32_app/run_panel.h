#pragma once

#include "serial_link.h"

#include <functional>
#include <memory>
#include <windows.h>

namespace potpanel {

// The program: creates Form1 and its link on the given port, runs the load
// handling, shows the window and runs the message loop until the program ends.
// A failure is shown to the operator as a message; once dismissed, the program
// ends with status 1. A failure of the load handling goes to startUpFailed,
// which shows it and says whether to run the load handling again. Returns the
// program's exit status.
using StartUpFailure = std::function<bool(const std::exception& failure)>;
int runPanel(HINSTANCE instance, int showCommand, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort, const StartUpFailure& startUpFailed);

} // namespace potpanel
