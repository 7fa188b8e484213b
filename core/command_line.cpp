#include "command_line.h"

#include "application_identity.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace potpanel {
namespace {

// How a Qt option takes its value: none, as the next argument, joined by "=",
// or either way.
enum class Value { None, Next, Joined, NextOrJoined };

struct QtOption
{
    std::string_view name;
    Value value;
};

// The options QApplication and its X11 and Wayland platforms read; see qt6options(7).
constexpr QtOption qtOptions[] = {
    {"platform", Value::Next},
    {"platformpluginpath", Value::Next},
    {"platformtheme", Value::Next},
    {"plugin", Value::Next},
    {"qwindowgeometry", Value::Next},
    {"qwindowicon", Value::Next},
    {"qwindowtitle", Value::Next},
    {"session", Value::Next},
    {"display", Value::Next},
    {"geometry", Value::Next},
    {"title", Value::Next},
    {"icon", Value::Next},
    {"name", Value::Next},
    {"visual", Value::Next},
    {"style", Value::NextOrJoined},
    {"stylesheet", Value::NextOrJoined},
    {"qmljsdebugger", Value::Joined},
    {"fontengine", Value::Joined},
    {"dialogs", Value::Joined},
    {"reverse", Value::None},
    {"widgetcount", Value::None},
    {"nograb", Value::None},
    {"dograb", Value::None},
};

const char* programName(Platform platform)
{
    return platform == Platform::Simulator ? simulatorName : applicationName;
}

CommandLine refused(std::string why)
{
    CommandLine line;
    line.request = CommandLine::Request::Refused;
    line.refusal = std::move(why);
    return line;
}

} // namespace

CommandLine readCommandLine(const std::vector<std::string>& arguments, Platform platform)
{
    CommandLine line;
    line.qtArguments.push_back(arguments.empty() ? programName(platform) : arguments.front());
    for (std::size_t at = 1; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        if (argument == "-h" || argument == "--help") {
            line.request = CommandLine::Request::Help;
            return line;
        }
        if (argument == "-v" || argument == "--version") {
            line.request = CommandLine::Request::Version;
            return line;
        }
        if (platform != Platform::Simulator &&
            (argument == "--com1" || argument.starts_with("--com1="))) {
            std::string device = argument.size() > 6         ? argument.substr(7)
                                 : at + 1 < arguments.size() ? arguments[++at]
                                                             : std::string();
            if (platform == Platform::Windows) {
                const std::optional<std::string> port = comPortName(device);
                if (!port)
                    return refused("--com1 needs a COM port, such as --com1 COM3");
                device = *port;
            }
            if (device.empty() || device.starts_with('-'))
                return refused("--com1 needs a DEVICE, such as --com1 /dev/ttyUSB0");
            line.com1Device = std::move(device);
            continue;
        }
        if (platform == Platform::Windows)
            return refused(
                (argument.starts_with('-') ? "unknown option \"" : "unexpected argument \"") +
                argument + '"');
        // Qt takes its options with one dash or two.
        std::string_view option = argument;
        if (option.starts_with("--"))
            option.remove_prefix(1);
        if (!option.starts_with('-') || option.size() < 2)
            return refused("unexpected argument \"" + argument + "\"");
        option.remove_prefix(1);
        const std::size_t equals = option.find('=');
        const std::string_view name = option.substr(0, equals);
        const auto known = std::ranges::find(qtOptions, name, &QtOption::name);
        const bool joined = equals != std::string_view::npos;
        if (known == std::end(qtOptions) ||
            (joined && known->value != Value::Joined && known->value != Value::NextOrJoined) ||
            (!joined && known->value == Value::Joined))
            return refused("unknown option \"" + argument + "\"");
        line.qtArguments.push_back(argument);
        if (!joined && known->value != Value::None) {
            if (at + 1 == arguments.size())
                return refused("the option \"" + argument + "\" needs a value");
            line.qtArguments.push_back(arguments[++at]);
        }
    }
    return line;
}

std::optional<std::string> comPortName(std::string_view text)
{
    if (text.starts_with("\\\\.\\"))
        text.remove_prefix(4);
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    };
    const char* end = text.data() + text.size();
    int number = 0;
    // Windows numbers its ports from 1 to 256, written without leading zeros.
    if (text.size() < 4 || lower(text[0]) != 'c' || lower(text[1]) != 'o' ||
        lower(text[2]) != 'm' || text[3] == '0' ||
        std::from_chars(text.data() + 3, end, number).ptr != end || number < 1 || number > 256)
        return std::nullopt;
    return "COM" + std::to_string(number);
}

std::string usage(Platform platform)
{
    if (platform == Platform::Simulator)
        return std::string("Usage: ") + simulatorName + R"( [Qt options]
Shows the panel of potpanel(1) driving a simulated controller, whose window
shows each wiper's position and every command received. It opens no serial
port, so it runs anywhere, beside a potpanel that has the real COM1 too.

  -h, --help     show this help and end
  -v, --version  show the version and end

Qt's own options apply too, such as -platform xcb, -display :1 and -style Fusion;
see potpanel-sim(1).
)";
    if (platform == Platform::Windows)
        return std::string("Usage: ") + applicationName + R"( [--com1 COMn]
Sets the two wipers of a digital potentiometer through its controller on COM1.

  --com1 COMn    use the port COMn as COM1 for this run, such as --com1 COM3
  -h, --help     show this help and end
  -v, --version  show the version and end

COM1 is the port given with --com1; else the value COM1 under the registry key
HKEY_CURRENT_USER\Software\Tarvel\potpanel\ports, or under the same key of
HKEY_LOCAL_MACHINE for every user; else COM1. A USB serial adapter takes the
number Windows gives it: the Device Manager lists it under Ports (COM & LPT).
When COM1's port is missing, the panel lists this computer's serial ports and
makes the one chosen COM1 from then on.
)";
    return std::string("Usage: ") + applicationName + R"( [--com1 DEVICE] [Qt options]
Sets the two wipers of a digital potentiometer through its controller on COM1.

  --com1 DEVICE  use DEVICE as COM1 for this run, such as /dev/ttyUSB0 or
                 /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KHTR4-if00-port0
  -h, --help     show this help and end
  -v, --version  show the version and end

COM1 is the device given with --com1; else the setting COM1 in the group [ports]
of $XDG_CONFIG_HOME/Tarvel/potpanel.conf (~/.config/Tarvel/potpanel.conf), or of
/etc/xdg/Tarvel/potpanel.conf for every user; else /dev/ttyS0. The links under
/dev/serial/by-id/ name a USB serial adapter however it is plugged in.

Qt's own options apply too, such as -platform xcb, -display :1 and -style Fusion;
see potpanel(1).
)";
}

std::string versionText(Platform platform)
{
    return std::string(programName(platform)) + ' ' + applicationVersion + '\n';
}

std::optional<int> answerWithoutWindow(const CommandLine& line, Platform platform,
                                       const char* program)
{
    switch (line.request) {
    case CommandLine::Request::Help:
        std::fputs(usage(platform).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Version:
        std::fputs(versionText(platform).c_str(), stdout);
        return EXIT_SUCCESS;
    case CommandLine::Request::Refused:
        std::fprintf(stderr, "%s: %s\n\n%s", program, line.refusal.c_str(),
                     usage(platform).c_str());
        return 2;
    case CommandLine::Request::Run:
        break;
    }
    return std::nullopt;
}

} // namespace potpanel
