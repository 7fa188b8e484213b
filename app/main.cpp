#include "com1_device.h"
#include "command_line.h"
#include "panel_application.h"
#include "posix_serial_port.h"

#include <QApplication>

using namespace potpanel;

int main(int argc, char* argv[])
{
    CommandLine line = readCommandLine({argv, argv + argc}, Platform::Qt);
    if (const auto status = answerWithoutWindow(line, Platform::Qt, argv[0]))
        return *status;

    Com1Device com1(std::move(line.com1Device));
    auto port = std::make_unique<PosixSerialPort>();
    if (com1.early())
        port->lookAhead(*com1.early());

    QtArguments qt(line.qtArguments);
    QApplication app(qt.count, qt.pointers.data());
    return runPanel(
        app, std::move(port), [&com1](int portNumber) { return com1.forPort(portNumber); }, {},
        [&com1](const std::exception& failure) { return com1.retryAfter(failure); });
}
