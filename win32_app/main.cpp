#include "application_identity.h"
#include "com1_port.h"
#include "command_line.h"
#include "operator_messages.h"
#include "run_panel.h"
#include "wide_text.h"
#include "win32_serial_port.h"

#include <shellapi.h>

using namespace potpanel;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int at = 0; at < count; ++at)
        arguments.push_back(fromWide(wide[at]));
    ::LocalFree(wide);

    const CommandLine line = readCommandLine(arguments, Platform::Windows);
    switch (line.request) {
    case CommandLine::Request::Help:
        tellOperator(usage(Platform::Windows));
        return EXIT_SUCCESS;
    case CommandLine::Request::Version:
        tellOperator(versionText(Platform::Windows));
        return EXIT_SUCCESS;
    case CommandLine::Request::Refused:
        tellRefusal(std::string(applicationName) + ": " + line.refusal + "\n\n" +
                    usage(Platform::Windows));
        return 2;
    case CommandLine::Request::Run:
        break;
    }
    Com1Port com1(line.com1Device);
    return runPanel(
        instance, showCommand, std::make_unique<Win32SerialPort>(),
        [&com1](int portNumber) { return com1.forPort(portNumber); },
        [&com1](const std::exception& failure) { return com1.retryAfter(failure); });
}
