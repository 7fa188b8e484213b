#include "port_choice.h"

#include "failure_log.h"
#include "form1.h"
#include "operator_messages.h"
#include "wide_text.h"

#include <windows.h>
// After windows.h: the task dialog's header leans on its types.
#include <commctrl.h>

namespace potpanel {
namespace {

constexpr int firstPortButton = 1000;

std::string describe(const ComPort& port)
{
    return port.description.empty() ? port.name : port.name + ", " + port.description;
}

} // namespace

std::optional<std::string> choosePort(const std::string& failure, const std::vector<ComPort>& ports)
{
    std::string text = failure + "\n\n";
    if (ports.empty()) {
        text += "No serial port is attached to this computer. Connect the controller, through a "
                "USB serial adapter if the computer has no port of its own, and start the panel "
                "again.";
    } else {
        text += "The serial ports of this computer:";
        for (std::size_t n = 0; n < ports.size(); ++n)
            text += '\n' + std::to_string(n + 1) + ". " + describe(ports[n]);
        text += "\n\nChoose the one the controller is on: it stays COM1 from now on.";
    }
    std::vector<std::wstring> labels;
    for (std::size_t n = 0; n < ports.size(); ++n) {
        // Alt and the port's place picks it; never the default button.
        std::string label = n < 9 ? "Use &" : "Use ";
        label += std::to_string(n + 1) + ": ";
        label += describe(ports[n]);
        labels.push_back(toWide(label));
    }
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (std::size_t n = 0; n < labels.size(); ++n)
        buttons.push_back({firstPortButton + int(n), labels[n].c_str()});

    const std::wstring title = toWide(form1Caption);
    const std::wstring content = toWide(text);
    TASKDIALOGCONFIG message{};
    message.cbSize = sizeof message;
    message.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    message.dwCommonButtons = TDCBF_OK_BUTTON;
    message.pszWindowTitle = title.c_str();
    message.pszMainIcon = TD_ERROR_ICON;
    message.pszContent = content.c_str();
    message.cButtons = UINT(buttons.size());
    message.pButtons = buttons.empty() ? nullptr : buttons.data();
    message.nDefaultButton = IDOK;
    int clicked = IDOK;
    if (FAILED(::TaskDialogIndirect(&message, &clicked, nullptr, nullptr))) {
        showFailure(text);
        return std::nullopt;
    }
    logFailure(text);
    if (clicked >= firstPortButton && clicked < firstPortButton + int(ports.size()))
        return ports[std::size_t(clicked - firstPortButton)].name;
    return std::nullopt;
}

} // namespace potpanel
