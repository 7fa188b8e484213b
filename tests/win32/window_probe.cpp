// What an operator sees of other programs' windows, for the tests under Wine: for each line read,
// one line of JSON with every visible top-level window of another process, its children
// (identifier, class, text, place on the screen, style, a scroll bar's position and range, and the
// widths of its arrows and thumb) and the control with the focus.
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

std::string quoted(const std::wstring& text)
{
    std::string json = "\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\')
            json += {'\\', char(c)};
        else if (c >= 0x20 && c < 0x7f)
            json += char(c);
        else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            json += escape;
        }
    }
    return json + '"';
}

std::wstring textOf(HWND window)
{
    wchar_t text[4096] = L"";
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 2000, &length);
    return {text, length};
}

std::string describe(HWND window)
{
    wchar_t kind[64] = L"";
    ::GetClassNameW(window, kind, std::size(kind));
    RECT place{};
    ::GetWindowRect(window, &place);
    char head[256];
    std::snprintf(
        head, sizeof head,
        "\"hwnd\": %llu, \"id\": %d, \"visible\": %d, \"style\": %lu, \"rect\": [%ld, %ld, "
        "%ld, %ld], ",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)), ::GetDlgCtrlID(window),
        ::IsWindowVisible(window) ? 1 : 0,
        static_cast<unsigned long>(::GetWindowLongW(window, GWL_STYLE)), place.left, place.top,
        place.right, place.bottom);
    std::string json = "{";
    json += head;
    json += "\"class\": " + quoted(kind) + ", \"text\": " + quoted(textOf(window));
    SCROLLINFO scroll{sizeof scroll, SIF_ALL, 0, 0, 0, 0, 0};
    if (std::wstring(kind) == L"ScrollBar" && ::GetScrollInfo(window, SB_CTL, &scroll)) {
        std::snprintf(head, sizeof head,
                      ", \"pos\": %d, \"range\": [%d, %d], \"arrow\": %d, "
                      "\"thumb\": %d",
                      scroll.nPos, scroll.nMin, scroll.nMax, ::GetSystemMetrics(SM_CXHSCROLL),
                      ::GetSystemMetrics(SM_CXHTHUMB));
        json += head;
    }
    return json;
}

BOOL CALLBACK addChild(HWND child, LPARAM json)
{
    auto& out = *reinterpret_cast<std::string*>(json);
    out += (out.back() == '[' ? "" : ", ") + describe(child) + "}";
    return TRUE;
}

BOOL CALLBACK addWindow(HWND window, LPARAM json)
{
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(window, &process);
    if (!::IsWindowVisible(window) || process == ::GetCurrentProcessId())
        return TRUE;
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    ::GetGUIThreadInfo(thread, &focus);
    RECT client{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    char head[160];
    std::snprintf(head, sizeof head, ", \"focus\": %llu, \"client\": [%ld, %ld, %ld, %ld]",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(focus.hwndFocus)),
                  client.left, client.top, client.right, client.bottom);
    auto& out = *reinterpret_cast<std::string*>(json);
    out += (out.back() == '[' ? "" : ", ") + describe(window) + head + ", \"children\": [";
    ::EnumChildWindows(window, addChild, json);
    out += "]}";
    return TRUE;
}

} // namespace

int main()
{
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string json = "[";
        ::EnumWindows(addWindow, reinterpret_cast<LPARAM>(&json));
        std::printf("%s]\n", json.c_str());
        std::fflush(stdout);
    }
}
