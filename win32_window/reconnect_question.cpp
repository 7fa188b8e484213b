#include "reconnect_question.h"

#include "failure_log.h"
#include "form1.h"
#include "wide_text.h"

// After windows.h: the task dialog's header leans on its types.
#include <commctrl.h>

namespace potpanel {
namespace {

constexpr int reconnectButton = 1000;

// Escape, Alt+F4 and the close box answer OK. Wine's task dialog takes them only
// from a Cancel button, which this one has not.
LRESULT CALLBACK cancelIsOk(HWND question, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && !lParam) {
        ::SendMessageW(question, TDM_CLICK_BUTTON, IDOK, 0);
        return 0;
    }
    return ::DefSubclassProc(question, message, wParam, lParam);
}

HRESULT CALLBACK noted(HWND question, UINT notification, WPARAM, LPARAM, LONG_PTR shown)
{
    if (notification == TDN_CREATED) {
        *reinterpret_cast<HWND*>(shown) = question;
        ::SetWindowSubclass(question, cancelIsOk, 1, 0);
    } else if (notification == TDN_DESTROYED) {
        *reinterpret_cast<HWND*>(shown) = nullptr;
    }
    return S_OK;
}

} // namespace

bool askReconnect(HWND owner, std::string_view text, HWND& shown)
{
    // Also where a session's log keeps it, as every failure is.
    logFailure(std::string(text.substr(0, text.find('\n'))));
    const std::wstring title = toWide(form1Caption);
    const std::wstring content = toWide(text);
    const TASKDIALOG_BUTTON reconnect{reconnectButton, L"&Reconnect"};
    TASKDIALOGCONFIG question{};
    question.cbSize = sizeof question;
    question.hwndParent = owner;
    question.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    question.dwCommonButtons = TDCBF_OK_BUTTON;
    question.pszWindowTitle = title.c_str();
    question.pszMainIcon = TD_WARNING_ICON;
    question.pszContent = content.c_str();
    question.cButtons = 1;
    question.pButtons = &reconnect;
    question.nDefaultButton = IDOK;
    question.pfCallback = noted;
    question.lpCallbackData = reinterpret_cast<LONG_PTR>(&shown);
    int clicked = IDOK;
    if (FAILED(::TaskDialogIndirect(&question, &clicked, nullptr, nullptr))) {
        // Without common controls 6 the news still reaches the operator, with OK alone.
        ::MessageBoxW(owner, content.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
        return false;
    }
    return clicked == reconnectButton;
}

void dismissReconnect(HWND shown)
{
    if (shown)
        ::SendMessageW(shown, TDM_CLICK_BUTTON, IDOK, 0);
}

} // namespace potpanel
