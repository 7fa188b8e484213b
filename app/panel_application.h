#pragma once

#include "serial_port.h"

#include <memory>

class QApplication;

namespace potpanel {

// The program: creates Form1 on the given port, runs the load handling, shows
// the window and runs the event loop until the program ends. A termination
// request (SIGTERM, SIGHUP, SIGINT) closes the window like its close box.
// Returns the program's exit status.
int runPanel(QApplication& app, std::unique_ptr<SerialPort> port);

} // namespace potpanel
