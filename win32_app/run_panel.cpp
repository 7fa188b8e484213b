#include "run_panel.h"

#include "operator_messages.h"
#include "panel_controller.h"
#include "win32_panel_window.h"

#include <optional>

namespace potpanel {
namespace {

// Until the window ends the program: its status.
int runMessageLoop(Win32PanelWindow& form1)
{
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return int(message.wParam);
        if (got < 0)
            return EXIT_FAILURE;
        if (!form1.preTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

} // namespace

int runPanel(HINSTANCE instance, int showCommand, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort, const StartUpFailure& startUpFailed)
{
    SerialLink comm1(std::move(port), std::move(deviceForPort));
    std::optional<Win32PanelWindow> form1;
    std::optional<PanelController> controller;
    // A failure while the window runs is shown once the message loop has ended,
    // outside any handler.
    std::optional<std::string> failure;
    try {
        form1.emplace(instance);
        controller.emplace(*form1, comm1);
        form1->attach(*controller, [&failure](const std::exception& error) {
            failure = error.what();
            ::PostQuitMessage(EXIT_FAILURE);
        });
        comm1.watch(form1->lineNews());
    } catch (const std::exception& error) {
        showFailure(error.what());
        return EXIT_FAILURE;
    }
    // The link is still unopened after a failed open, so start-up can run again
    // once another port stands for COM1; the window stays unshown meanwhile.
    for (;;) {
        try {
            controller->Form_Load();
            break;
        } catch (const std::exception& error) {
            if (!startUpFailed(error))
                return EXIT_FAILURE;
        }
    }
    form1->describePort(comm1.portName(), comm1.device());
    form1->show(showCommand);
    const int status = runMessageLoop(*form1);
    if (failure) {
        showFailure(*failure);
        return EXIT_FAILURE;
    }
    return status;
}

} // namespace potpanel
