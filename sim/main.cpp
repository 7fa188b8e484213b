#include "command_line.h"
#include "controller_window.h"
#include "memory_serial_port.h"
#include "panel_application.h"

#include <QApplication>
#include <cstdio>

using namespace potpanel;

// The panel exactly as potpanel runs it, driving a simulated controller instead
// of the one on COM1, so that it can be seen working without the hardware.
int main(int argc, char* argv[])
{
    // Read before Qt starts, as potpanel does: help and the version need no display.
    CommandLine line = readCommandLine({argv, argv + argc}, Platform::Simulator);
    switch (line.request) {
    case CommandLine::Request::Help:
        std::fputs(usage(Platform::Simulator).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Version:
        std::fputs(versionText(Platform::Simulator).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Refused:
        std::fprintf(stderr, "%s: %s\n\n%s", argv[0], line.refusal.c_str(),
                     usage(Platform::Simulator).c_str());
        return 2;
    case CommandLine::Request::Run:
        break;
    }

    std::vector<char*> qtArguments;
    for (std::string& argument : line.qtArguments)
        qtArguments.push_back(argument.data());
    qtArguments.push_back(nullptr);
    int qtArgumentCount = int(line.qtArguments.size());
    QApplication app(qtArgumentCount, qtArguments.data());
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
