#include "com1_device.h"
#include "command_line.h"
#include "panel_application.h"
#include "posix_serial_port.h"

#include <QApplication>
#include <cstdio>

using namespace potpanel;

int main(int argc, char* argv[])
{
    CommandLine line = readCommandLine({argv, argv + argc}, Platform::Qt);
    switch (line.request) {
    case CommandLine::Request::Help:
        std::fputs(usage(Platform::Qt).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Version:
        std::fputs(versionText(Platform::Qt).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Refused:
        std::fprintf(stderr, "%s: %s\n\n%s", argv[0], line.refusal.c_str(),
                     usage(Platform::Qt).c_str());
        return 2;
    case CommandLine::Request::Run:
        break;
    }

    Com1Device com1(std::move(line.com1Device));
    auto port = std::make_unique<PosixSerialPort>();
    if (com1.early())
        port->lookAhead(*com1.early());

    std::vector<char*> qtArguments;
    for (std::string& argument : line.qtArguments)
        qtArguments.push_back(argument.data());
    qtArguments.push_back(nullptr);
    int qtArgumentCount = int(line.qtArguments.size());
    QApplication app(qtArgumentCount, qtArguments.data());
    return runPanel(
        app, std::move(port), [&com1](int portNumber) { return com1.forPort(portNumber); }, {},
        [&com1](const std::exception& failure) { return com1.retryAfter(failure); });
}
