#include "com1_setting.h"
#include "command_line.h"
#include "failure_message.h"
#include "panel_application.h"
#include "port_choice.h"
#include "posix_serial_port.h"

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

using namespace potpanel;

namespace {

bool isMissing(const std::string& device)
{
    struct stat status
    {
    };
    return ::stat(device.c_str(), &status) != 0 && errno == ENOENT;
}

} // namespace

int main(int argc, char* argv[])
{
    CommandLine line = readCommandLine({argv, argv + argc});
    switch (line.request) {
    case CommandLine::Request::Help:
        std::fputs(usage().c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Version:
        std::fputs(versionText().c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Refused:
        std::fprintf(stderr, "%s: %s\n\n%s", argv[0], line.refusal.c_str(), usage().c_str());
        return 2;
    case CommandLine::Request::Run:
        break;
    }

    // COM1's device is settled before the window system starts, so that the look
    // for its other holders runs meanwhile; a setting that cannot be read is
    // reported when start-up asks for the device.
    std::optional<std::string> com1 = std::move(line.com1Device);
    try {
        if (!com1)
            com1 = readCom1Setting().value_or(serialDevice(1));
    } catch (const std::exception&) {
    }
    auto port = std::make_unique<PosixSerialPort>();
    if (com1)
        port->lookAhead(*com1);

    std::vector<char*> qtArguments;
    for (std::string& argument : line.qtArguments)
        qtArguments.push_back(argument.data());
    qtArguments.push_back(nullptr);
    int qtArgumentCount = int(line.qtArguments.size());
    QApplication app(qtArgumentCount, qtArguments.data());

    // COM1's device is settled again when the operator picks another because it
    // does not exist.
    const auto deviceForPort = [&com1](int portNumber) {
        if (portNumber != 1)
            return serialDevice(portNumber);
        if (!com1)
            com1 = readCom1Setting().value_or(serialDevice(1));
        return *com1;
    };
    const auto startUpFailed = [&com1](const std::exception& failure) {
        if (!com1 || !isMissing(*com1)) {
            showFailure(failure);
            return false;
        }
        const std::optional<std::string> chosen = choosePort(failure, freeSerialPorts());
        if (!chosen)
            return false;
        if (const std::optional<std::string> unsaved = saveCom1Setting(*chosen))
            FailureMessage(
                QString::fromStdString("COM1 is " + *chosen + " for this run only: " + *unsaved))
                .exec();
        com1 = chosen;
        return true;
    };
    return runPanel(app, std::move(port), deviceForPort, {}, startUpFailed);
}
