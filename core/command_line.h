#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace potpanel {

// Which program reads the command line: the Qt one, which takes a device for
// COM1 and passes Qt's own options on, the Windows one, which takes a COM port's
// name and nothing else, or the simulator, the Qt one with no COM1 to choose.
enum class Platform { Qt, Windows, Simulator };

// What the command line asks for. It is read before the window system is
// reached, so that help, the version and a refusal need no display and touch no
// port.
struct CommandLine
{
    enum class Request { Run, Help, Version, Refused };

    Request request = Request::Run;
    // The device that stands for COM1 in this run (--com1): on Windows a port's
    // name such as COM3.
    std::optional<std::string> com1Device;
    // The program's name and the options meant for Qt, in their order.
    std::vector<std::string> qtArguments;
    // Why the command line was refused.
    std::string refusal;
};

// arguments[0] is the program's name.
CommandLine readCommandLine(const std::vector<std::string>& arguments, Platform platform);

// A Windows serial port's name as Windows writes it, "COM3", from "COM3", "com3"
// or "\\.\COM3"; nothing for anything else.
std::optional<std::string> comPortName(std::string_view text);

// What --help prints.
std::string usage(Platform platform);

// What --version prints.
std::string versionText(Platform platform);

// Answers what needs no window on the standard streams (help, the version, a
// refused command line, named after program): the exit status, or nothing when
// the program is to run.
std::optional<int> answerWithoutWindow(const CommandLine& line, Platform platform,
                                       const char* program);

} // namespace potpanel
