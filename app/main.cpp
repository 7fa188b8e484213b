#include "panel_application.h"
#include "posix_serial_port.h"
#include "serial_link.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    auto port = std::make_unique<potpanel::PosixSerialPort>();
    // The look for other holders of COM1 runs while the window system starts.
    port->lookAhead(potpanel::serialDevice(1));
    QApplication app(argc, argv);
    return potpanel::runPanel(app, std::move(port));
}
