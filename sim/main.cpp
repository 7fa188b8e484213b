#include "controller_window.h"
#include "memory_serial_port.h"
#include "panel_application.h"

#include <QApplication>

// The panel exactly as potpanel runs it, driving a simulated controller instead
// of the one on COM1, so that it can be seen working without the hardware.
int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    potpanel::ControllerWindow controller;
    auto line = std::make_unique<potpanel::MemorySerialPort>(
        [&controller](std::string_view bytes) { controller.receive(bytes); });

    return potpanel::runPanel(
        app, std::move(line),
        [](int portNumber) { return "simulated COM" + std::to_string(portNumber); },
        [&controller](QWidget& form1) {
            controller.move(form1.frameGeometry().topRight() + QPoint(16, 0));
            controller.show();
        });
}
