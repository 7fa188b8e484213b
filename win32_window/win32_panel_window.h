#pragma once

#include "accessible_annotations.h"
#include "form1.h"
#include "form1_metrics.h"
#include "panel_view.h"

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <windows.h>

namespace potpanel {

class PanelController;

// The panel's one window, Form1, on the Windows API, built from its description
// in form1.h at the screen's dots per inch: native scroll bars, edit boxes,
// labels and a push button. It is the panel logic's view, like the Qt window: a
// failure of a handler raised by the operator goes to the failure handler; one
// raised by setSliderValue leaves it as an exception, to the handler that set
// the value. A slider's value changes only when a move is committed (an arrow,
// the track, a key, a wheel notch, the release of a dragged thumb), and each
// change runs its channel's handling once.
class Win32PanelWindow final : public PanelView
{
public:
    using FailureHandler = std::function<void(const std::exception&)>;

    explicit Win32PanelWindow(HINSTANCE instance);
    ~Win32PanelWindow() override;

    Win32PanelWindow(const Win32PanelWindow&) = delete;
    Win32PanelWindow& operator=(const Win32PanelWindow&) = delete;

    void attach(PanelController& controller, FailureHandler onFailure);
    // Tells a screen reader which port stands for COM1.
    void describePort(std::string_view port, std::string_view device);
    // Shows the window with the focus on HScroll1.
    void show(int showCommand);
    // Takes what the message loop got before it is dispatched: Tab and the
    // keys of a dialog, and the wheel. Returns whether it was taken.
    bool preTranslate(MSG& message);

    std::int16_t sliderValue(ChannelId channel) const override;
    void setSliderValue(ChannelId channel, std::int16_t value) override;
    void setDisplayText(ChannelId channel, std::string_view text) override;
    void endProgram(ExitStatus status) override;
    bool offerReconnect(std::string_view message) override;

    // A call that tells the window, from any thread, that the port's device may
    // have gone: the news is posted, and the window has the controller ask. Once
    // the window has gone, it does nothing.
    std::function<void()> lineNews() const;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls(HINSTANCE instance);
    void layOut(unsigned dpi);
    // code: what the operator did (SB_LINELEFT, ...); thumb: where a drag let go.
    void scrolled(HWND slider, int code, int thumb);
    void wheeled(int delta, POINT where);
    // A move the operator made: the slider takes the value and, when it
    // changed, its channel's handling runs.
    void moveSlider(ChannelId channel, int value);
    void deliver(const std::function<void(PanelController&)>& handler);
    // The window goes out of sight, and no handler runs any more.
    void retire();

    AccessibleAnnotations annotations_;
    HWND window_ = nullptr;
    std::array<HWND, form1Controls.size()> controls_{};
    std::array<HWND, 2> sliders_{};
    std::array<HWND, 2> displays_{};
    HWND command1_ = nullptr;
    HWND banner_ = nullptr;
    HWND portNotice_ = nullptr;
    // The question whether to reconnect, while it is up.
    HWND question_ = nullptr;
    // The control that has the focus while the window is inactive.
    HWND focus_ = nullptr;
    std::unique_ptr<Form1Fonts> fonts_;
    // Wheel turns short of a notch, which high-resolution wheels send.
    int wheelRest_ = 0;
    PanelController* controller_ = nullptr;
    FailureHandler onFailure_;
};

} // namespace potpanel
