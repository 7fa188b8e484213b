#pragma once

#include <optional>
#include <string>
#include <vector>

namespace potpanel {

// What the command line asks for. It is read before the window system is
// reached, so that help, the version and a refusal need no display and touch no
// port.
struct CommandLine
{
    enum class Request { Run, Help, Version, Refused };

    Request request = Request::Run;
    // The device that stands for COM1 in this run (--com1).
    std::optional<std::string> com1Device;
    // The program's name and the options meant for Qt, in their order.
    std::vector<std::string> qtArguments;
    // Why the command line was refused.
    std::string refusal;
};

// arguments[0] is the program's name.
CommandLine readCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string usage();

// What --version prints.
std::string versionText();

} // namespace potpanel
