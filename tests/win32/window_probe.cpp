// What an operator sees of other programs' windows, for the tests under Wine. For each line read it
// prints every visible top-level window of another process, then its controls, one Python dict a
// line (kind: window or control; focus: a window's; pos, range, arrow and thumb: a scroll bar's
// position, range and widths of arrows and thumb; rectangles on the screen; text: its characters'
// code points), then "end".
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

BOOL CALLBACK print(HWND window, LPARAM topLevel)
{
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, &process);
    if (topLevel && (!::IsWindowVisible(window) || process == ::GetCurrentProcessId()))
        return TRUE;
    char kind[64] = "";
    ::GetClassNameA(window, kind, sizeof kind);
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    ::GetGUIThreadInfo(thread, &focus);
    RECT place{};
    RECT client{};
    ::GetWindowRect(window, &place);
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    SCROLLINFO scroll{sizeof scroll, SIF_ALL, 0, 0, 0, 0, 0};
    const bool bar = std::string(kind) == "ScrollBar" && ::GetScrollInfo(window, SB_CTL, &scroll);
    std::printf(
        "{'kind': '%s', 'hwnd': %llu, 'id': %d, 'class': '%s', 'style': %lu, 'visible': %d, "
        "'focus': %llu, 'rect': [%ld, %ld, %ld, %ld], 'client': [%ld, %ld, %ld, %ld], "
        "'pos': %d, 'range': [%d, %d], 'arrow': %d, 'thumb': %d, 'text': [",
        topLevel ? "window" : "control", ULONG_PTR(window), ::GetDlgCtrlID(window), kind,
        ::GetWindowLongW(window, GWL_STYLE), ::IsWindowVisible(window) ? 1 : 0,
        topLevel ? ULONG_PTR(focus.hwndFocus) : 0, place.left, place.top, place.right, place.bottom,
        client.left, client.top, client.right, client.bottom, bar ? scroll.nPos : 0,
        bar ? scroll.nMin : 0, bar ? scroll.nMax : 0, bar ? ::GetSystemMetrics(SM_CXHSCROLL) : 0,
        bar ? ::GetSystemMetrics(SM_CXHTHUMB) : 0);
    wchar_t text[4096] = L"";
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, &length);
    for (DWORD_PTR at = 0; at < length; ++at)
        std::printf("%s%u", at ? ", " : "", unsigned(text[at]));
    std::printf("]}\n");
    if (topLevel)
        ::EnumChildWindows(window, print, FALSE);
    return TRUE;
}

} // namespace

int main()
{
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        ::EnumWindows(print, TRUE);
        std::printf("end\n");
        std::fflush(stdout);
    }
}
