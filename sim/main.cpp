#include "command_line.h"
#include "controller_window.h"
#include "memory_serial_port.h"
#include "panel_application.h"

#include <QApplication>

using namespace potpanel;

// The panel exactly as potpanel runs it, driving a simulated controller instead
// of the one on COM1, so that it can be seen working without the hardware.
int main(int argc, char* argv[])
{
    // Read before Qt starts, as potpanel does: help and the version need no display.
    CommandLine line = readCommandLine({argv, argv + argc}, Platform::Simulator);
    if (const auto status = answerWithoutWindow(line, Platform::Simulator, argv[0]))
        return *status;

    QtArguments qt(line.qtArguments);
    QApplication app(qt.count, qt.pointers.data());
    ControllerWindow controller;
    auto port = std::make_unique<MemorySerialPort>(
        [&controller](std::string_view bytes) { controller.receive(bytes); });

    return runPanel(
        app, std::move(port),
        [](int portNumber) { return "simulated COM" + std::to_string(portNumber); },
        [&controller](QWidget& form1) {
            controller.move(form1.frameGeometry().topRight() + QPoint(16, 0));
            controller.show();
        });
}
