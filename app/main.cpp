#include "panel_application.h"
#include "posix_serial_port.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return potpanel::runPanel(app, std::make_unique<potpanel::PosixSerialPort>());
}
