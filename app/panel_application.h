#pragma once

#include "serial_link.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QApplication;
class QWidget;

namespace potpanel {

// The arguments left for Qt, as the argc and argv QApplication keeps: they must
// outlive it.
struct QtArguments
{
    explicit QtArguments(std::vector<std::string>& arguments) : count(int(arguments.size()))
    {
        for (std::string& argument : arguments)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
    }
    int count;
    std::vector<char*> pointers;
};

// The program: creates Form1 and its link on the given port, runs the load
// handling, shows the window (then calls shown, if given) and runs the event
// loop until the program ends. A failure is shown to the operator as a message;
// once dismissed, the program ends with status 1. A termination request
// (SIGTERM, SIGHUP, SIGINT) closes the window like its close box, or dismisses
// a message being shown. Returns the program's exit status.
//
// startUpFailed, if given, shows a failure of start-up in place of that message
// and returns true when start-up is to run again (another device stands for the
// port now), false when the program is to end with status 1.
using StartUpFailure = std::function<bool(const std::exception& failure)>;
int runPanel(QApplication& app, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort = serialDevice,
             const std::function<void(QWidget& form1)>& shown = {},
             const StartUpFailure& startUpFailed = {});

} // namespace potpanel
