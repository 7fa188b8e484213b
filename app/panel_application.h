#pragma once

#include "serial_link.h"

#include <functional>
#include <memory>

class QApplication;
class QWidget;

namespace potpanel {

// The program: creates Form1 and its link on the given port, runs the load
// handling, shows the window (then calls shown, if given) and runs the event
// loop until the program ends. A failure is shown to the operator as a message;
// once dismissed, the program ends with status 1. A termination request
// (SIGTERM, SIGHUP, SIGINT) closes the window like its close box, or dismisses
// a message being shown. Returns the program's exit status.
int runPanel(QApplication& app, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort = serialDevice,
             const std::function<void(QWidget& form1)>& shown = {});

} // namespace potpanel
