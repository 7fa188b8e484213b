#include "win32_panel_window.h"

#include "accessible_texts.h"
#include "panel_controller.h"
#include "reconnect_question.h"
#include "wide_text.h"

#include <algorithm>
#include <cstdlib>
#include <dbt.h>
#include <memory>
#include <stdexcept>
#include <windowsx.h>

namespace potpanel {
namespace {

constexpr wchar_t className[] = L"potpanel.Form1";
// A control's identifier is its tab index counted from here, clear of IDOK and IDCANCEL.
constexpr int firstControlId = 100;
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int sliderMaximum = 255;
// The port's word that its device may have gone, posted from its watch's thread.
constexpr UINT lineNewsMessage = WM_APP + 1;

void registerClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = procedure;
    form.hInstance = instance;
    // The panel's icon is resource 1.
    form.hIcon = static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    form.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
    form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.lpszClassName = className;
    ::RegisterClassExW(&form);
}

// The scroll bars' own procedure, under the one that keeps their context menu
// away: its Left Edge and Right Edge would send 0 or full scale on a stray click.
WNDPROC scrollBarProcedure = nullptr;

LRESULT CALLBACK sliderProcedure(HWND slider, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CONTEXTMENU)
        return 0;
    return ::CallWindowProcW(scrollBarProcedure, slider, message, wParam, lParam);
}

struct ControlClass
{
    const wchar_t* name;
    DWORD style;
    DWORD extendedStyle;
};

ControlClass controlClass(ControlKind kind)
{
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
    case ControlKind::Slider:
        return {L"SCROLLBAR", child | WS_TABSTOP | SBS_HORZ, 0};
    case ControlKind::Display:
        return {L"EDIT", child | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
        // Never the window's default button: Enter elsewhere does not press it.
        return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::Label:
        break;
    }
    return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
}

// The tab order, but each caption just before its slider: screen readers name
// a control after the label before it. Labels take no focus, so the dialog
// keys walk the same order.
std::array<std::size_t, form1Controls.size()> windowOrder()
{
    std::array<std::size_t, form1Controls.size()> order{};
    std::size_t next = 0;
    for (std::size_t index = 0; index < form1Controls.size(); ++index) {
        const FormControl& entry = form1Controls[index];
        if (entry.kind == ControlKind::Label && entry.channel)
            continue;
        for (std::size_t label = 0; entry.kind == ControlKind::Slider && label < order.size();
             ++label)
            if (form1Controls[label].kind == ControlKind::Label &&
                form1Controls[label].channel == entry.channel)
                order[next++] = label;
        order[next++] = index;
    }
    return order;
}

} // namespace

Win32PanelWindow::Win32PanelWindow(HINSTANCE instance)
{
    registerClass(instance, procedure);
    window_ = ::CreateWindowExW(0, className, toWide(form1Caption).c_str(), windowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, instance, this);
    if (!window_)
        throw std::runtime_error("cannot create the window: " + systemErrorText(::GetLastError()));
    createControls(instance);
    layOut(::GetDpiForWindow(window_));
}

Win32PanelWindow::~Win32PanelWindow()
{
    // The controller may be gone already; no message of the window's end reaches it.
    controller_ = nullptr;
    if (window_)
        ::DestroyWindow(window_);
}

void Win32PanelWindow::createControls(HINSTANCE instance)
{
    for (const std::size_t index : windowOrder()) {
        const FormControl& entry = form1Controls[index];
        const ControlClass kind = controlClass(entry.kind);
        HWND control = ::CreateWindowExW(
            kind.extendedStyle, kind.name, toWide(entry.text).c_str(), kind.style, 0, 0, 0, 0,
            window_, reinterpret_cast<HMENU>(INT_PTR(firstControlId + int(index))), instance,
            nullptr);
        controls_[index] = control;
        const AccessibleTexts spoken = accessibleTexts(entry);
        annotations_.annotate(control, spoken.name, spoken.description);
        if (isPortNotice(entry))
            portNotice_ = control;
        if (entry.kind == ControlKind::Slider) {
            SCROLLINFO range{
                sizeof range, SIF_RANGE | SIF_PAGE | SIF_POS, 0, sliderMaximum, 0, 0, 0};
            ::SetScrollInfo(control, SB_CTL, &range, FALSE);
            scrollBarProcedure = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
                control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sliderProcedure)));
            sliders_[channelIndex(*entry.channel)] = control;
        } else if (entry.kind == ControlKind::Display) {
            // Nothing reads what is typed here, so nothing bounds it either.
            ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
            displays_[channelIndex(*entry.channel)] = control;
        } else if (entry.kind == ControlKind::Button) {
            command1_ = control;
        } else if (entry.face == ControlFace::Banner) {
            banner_ = control;
        }
    }
    focus_ = sliders_[0];
}

void Win32PanelWindow::layOut(unsigned dpi)
{
    RECT frame = toPixels(form1ClientArea, dpi);
    ::AdjustWindowRectExForDpi(&frame, windowStyle, FALSE, 0, dpi);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    auto fonts = std::make_unique<Form1Fonts>(dpi);
    for (std::size_t index = 0; index < form1Controls.size(); ++index) {
        const RECT place = toPixels(form1Controls[index].twips, dpi);
        ::MoveWindow(controls_[index], place.left, place.top, place.right - place.left,
                     place.bottom - place.top, TRUE);
        ::SendMessageW(controls_[index], WM_SETFONT,
                       reinterpret_cast<WPARAM>(fonts->font(form1Controls[index].face)), TRUE);
    }
    // The fonts of the last DPI go once no control uses them.
    fonts_ = std::move(fonts);
}

void Win32PanelWindow::describePort(std::string_view port, std::string_view device)
{
    annotations_.annotate(portNotice_, {}, portDescription(port, device));
}

void Win32PanelWindow::attach(PanelController& controller, FailureHandler onFailure)
{
    controller_ = &controller;
    onFailure_ = std::move(onFailure);
}

void Win32PanelWindow::show(int showCommand)
{
    ::ShowWindow(window_, showCommand);
    ::SetForegroundWindow(window_);
    ::SetFocus(focus_);
}

bool Win32PanelWindow::preTranslate(MSG& message)
{
    if (!window_)
        return false;
    // Whatever has the focus, the wheel moves the slider it is turned over.
    if (message.message == WM_MOUSEWHEEL) {
        wheeled(GET_WHEEL_DELTA_WPARAM(message.wParam),
                {GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)});
        return true;
    }
    return ::IsDialogMessageW(window_, &message);
}

LRESULT CALLBACK Win32PanelWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32PanelWindow*>(
            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32PanelWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self = nullptr;
    }
    return self ? self->handle(message, wParam, lParam)
                : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32PanelWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_HSCROLL:
        scrolled(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_COMMAND:
        // Enter on EXIT: the dialog keys click it, or send IDOK where they have not
        // made it the default button.
        if ((reinterpret_cast<HWND>(lParam) == command1_ && HIWORD(wParam) == BN_CLICKED) ||
            (LOWORD(wParam) == IDOK && ::GetFocus() == command1_))
            deliver([](PanelController& c) { c.Command1_Click(); });
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != banner_)
            break;
        ::SetTextColor(reinterpret_cast<HDC>(wParam),
                       RGB(bannerColour.red, bannerColour.green, bannerColour.blue));
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    case WM_ACTIVATE:
        // Like a dialog, the window gives the focus back to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (HWND focus = ::GetFocus(); focus && ::IsChild(window_, focus))
                focus_ = focus;
        } else {
            ::SetFocus(focus_);
        }
        return 0;
    case WM_DESTROY:
        annotations_.clear();
        return 0;
    case lineNewsMessage:
        deliver([](PanelController& c) { c.lineChanged(); });
        return 0;
    case WM_DEVICECHANGE:
        // Where Windows says a port went away, sooner than the watch looks; the
        // controller asks the port whether it was COM1's.
        if (wParam == DBT_DEVICEREMOVECOMPLETE && lParam &&
            reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype == DBT_DEVTYP_PORT)
            deliver([](PanelController& c) { c.lineChanged(); });
        return TRUE;
    case WM_CLOSE:
    case WM_ENDSESSION: {
        // The close box, Alt+F4, the system menu, and the end of the session.
        if (message == WM_ENDSESSION && !wParam)
            return 0;
        // Asked to end while the question is up: the answer is OK, which ends the program.
        if (question_) {
            dismissReconnect(question_);
            return 0;
        }
        std::int16_t cancel = 0;
        deliver([&cancel](PanelController& c) { c.Form_Unload(cancel); });
        return 0;
    }
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        layOut(HIWORD(wParam));
        return 0;
    }
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void Win32PanelWindow::scrolled(HWND slider, int code, int thumb)
{
    const auto found = std::ranges::find(sliders_, slider);
    if (found == sliders_.end())
        return;
    const ChannelId channel = found == sliders_.begin() ? ChannelId::A : ChannelId::B;
    const int value = sliderValue(channel);
    switch (code) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
        return moveSlider(channel, value - 1);
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
        return moveSlider(channel, value + 1);
    case SB_LEFT:
        return moveSlider(channel, 0);
    case SB_RIGHT:
        return moveSlider(channel, sliderMaximum);
    case SB_THUMBPOSITION:
        // Only the release commits a drag; SB_THUMBTRACK, while it moves, is left alone.
        // Sixteen bits of position are plenty for 0 to 255.
        return moveSlider(channel, thumb);
    default:
        return;
    }
}

void Win32PanelWindow::wheeled(int delta, POINT where)
{
    ::ScreenToClient(window_, &where);
    HWND under = ::ChildWindowFromPointEx(window_, where, CWP_SKIPINVISIBLE);
    const auto found = std::ranges::find(sliders_, under);
    if (found == sliders_.end())
        return;
    const ChannelId channel = found == sliders_.begin() ? ChannelId::A : ChannelId::B;
    // One step a notch, turned away from the operator to raise the value, each
    // its own change.
    wheelRest_ += delta;
    const int notches = wheelRest_ / WHEEL_DELTA;
    wheelRest_ %= WHEEL_DELTA;
    for (int notch = 0; notch < std::abs(notches) && controller_; ++notch)
        moveSlider(channel, sliderValue(channel) + (notches > 0 ? 1 : -1));
}

void Win32PanelWindow::moveSlider(ChannelId channel, int value)
{
    HWND slider = sliders_[channelIndex(channel)];
    const int target = std::clamp(value, 0, sliderMaximum);
    if (target == ::GetScrollPos(slider, SB_CTL))
        return;
    ::SetScrollPos(slider, SB_CTL, target, TRUE);
    deliver([channel](PanelController& c) { c.sliderChanged(channel); });
}

void Win32PanelWindow::deliver(const std::function<void(PanelController&)>& handler)
{
    // No exception may cross the window procedure: the failure handler takes it.
    try {
        if (controller_)
            handler(*controller_);
    } catch (const std::exception& failure) {
        retire();
        onFailure_(failure);
    }
}

std::int16_t Win32PanelWindow::sliderValue(ChannelId channel) const
{
    return static_cast<std::int16_t>(::GetScrollPos(sliders_[channelIndex(channel)], SB_CTL));
}

void Win32PanelWindow::setSliderValue(ChannelId channel, std::int16_t value)
{
    HWND slider = sliders_[channelIndex(channel)];
    const int before = ::GetScrollPos(slider, SB_CTL);
    ::SetScrollPos(slider, SB_CTL, std::clamp<int>(value, 0, sliderMaximum), TRUE);
    if (::GetScrollPos(slider, SB_CTL) == before)
        return;
    // The change handling runs here, as a plain call, so that a failure reaches
    // the handler that set the value.
    if (controller_)
        controller_->sliderChanged(channel);
}

void Win32PanelWindow::setDisplayText(ChannelId channel, std::string_view text)
{
    ::SetWindowTextW(displays_[channelIndex(channel)], toWide(text).c_str());
}

void Win32PanelWindow::endProgram(ExitStatus status)
{
    retire();
    // Destroyed without WM_CLOSE, so the unload handling does not run.
    ::DestroyWindow(window_);
    ::PostQuitMessage(status == ExitStatus::Success ? EXIT_SUCCESS : EXIT_FAILURE);
}

bool Win32PanelWindow::offerReconnect(std::string_view message)
{
    return askReconnect(window_, message, question_);
}

std::function<void()> Win32PanelWindow::lineNews() const
{
    // The handle, not the window: PostMessage to a window that has gone fails, harmlessly.
    return [window = window_] {
        ::PostMessageW(window, lineNewsMessage, 0, 0);
    };
}

void Win32PanelWindow::retire()
{
    // Late messages (a held key's repeat, a second close) reach no handler.
    controller_ = nullptr;
    ::ShowWindow(window_, SW_HIDE);
}

} // namespace potpanel
