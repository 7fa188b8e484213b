#include "operator_messages.h"

#include "failure_log.h"
#include "form1.h"
#include "wide_text.h"

#include <windows.h>

namespace potpanel {
namespace {

// Standard output or error, when the program was given one (a pipe, a file,
// a console); else the console of the program that started it, if any.
bool writeOut(DWORD stream, const std::string& text)
{
    HANDLE out = ::GetStdHandle(stream);
    if (!out || out == INVALID_HANDLE_VALUE || ::GetFileType(out) == FILE_TYPE_UNKNOWN) {
        if (!::AttachConsole(ATTACH_PARENT_PROCESS))
            return false;
        out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return false;
    }
    DWORD written = 0;
    if (::GetFileType(out) == FILE_TYPE_CHAR) {
        const std::wstring wide = toWide(text);
        if (::WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr))
            return true;
    }
    return ::WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
}

int messageBox(std::string_view text, UINT icon)
{
    // A console's last line ends in a newline; a message's does not.
    while (text.ends_with('\n'))
        text.remove_suffix(1);
    return ::MessageBoxW(nullptr, toWide(text).c_str(), toWide(form1Caption).c_str(),
                         MB_OK | icon | MB_SETFOREGROUND);
}

} // namespace

void tellOperator(const std::string& text)
{
    if (!writeOut(STD_OUTPUT_HANDLE, text))
        messageBox(text, MB_ICONINFORMATION);
}

void tellRefusal(const std::string& text)
{
    if (!writeOut(STD_ERROR_HANDLE, text))
        messageBox(text, MB_ICONERROR);
}

void showFailure(const std::string& text)
{
    logFailure(text);
    messageBox(text, MB_ICONERROR);
}

} // namespace potpanel
