#include "run_panel.h"

#include "operator_messages.h"
#include "panel_controller.h"
#include "win32_panel_window.h"

#include <optional>

namespace potpanel {

int runPanel(HINSTANCE instance, int showCommand, std::unique_ptr<SerialPort> port,
             SerialLink::DeviceForPort deviceForPort)
{
    SerialLink comm1(std::move(port), std::move(deviceForPort));
    std::optional<Win32PanelWindow> window;
    try {
        window.emplace(instance);
    } catch (const std::exception& error) {
        showFailure(error.what());
        return EXIT_FAILURE;
    }
    Win32PanelWindow& form1 = *window;
    PanelController controller(form1, comm1);
    // Shown once the message loop has ended, outside any handler.
    std::optional<std::string> failure;
    form1.attach(controller, [&failure](const std::exception& error) {
        failure = error.what();
        ::PostQuitMessage(EXIT_FAILURE);
    });

    try {
        controller.Form_Load();
    } catch (const std::exception& error) {
        showFailure(error.what());
        return EXIT_FAILURE;
    }
    form1.show(showCommand);
    MSG message{};
    int status = EXIT_FAILURE;
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            status = int(message.wParam);
            break;
        }
        if (got < 0)
            break;
        if (!form1.preTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (failure) {
        showFailure(*failure);
        return EXIT_FAILURE;
    }
    return status;
}

} // namespace potpanel
