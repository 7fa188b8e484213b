#include "com1_setting.h"

#include "command_line.h"
#include "serial_link_error.h"
#include "wide_text.h"

#include <windows.h>

namespace potpanel {
namespace {

// Where Qt's settings for Tarvel/potpanel would keep the group [ports].
constexpr wchar_t key[] = L"Software\\Tarvel\\potpanel\\ports";
constexpr wchar_t value[] = L"COM1";

// The key as the operator finds it in the registry editor.
std::string keyName(const char* root)
{
    return std::string(root) + '\\' + fromWide(key);
}

[[noreturn]] void refuse(const char* root, const std::string& cause)
{
    throw SerialLinkError("COM1", "", "cannot open the port",
                          "the setting COM1 under " + keyName(root) + ' ' + cause +
                              "; set it to a COM port, such as COM3, or delete it to use COM1");
}

} // namespace

std::optional<std::string> readCom1Setting()
{
    for (const auto& [root, rootName] : {std::pair{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                                         std::pair{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}}) {
        wchar_t text[64];
        DWORD size = sizeof text;
        const LONG status = ::RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            continue;
        if (status == ERROR_MORE_DATA || status == ERROR_UNSUPPORTED_TYPE)
            refuse(rootName, "is not a COM port's name");
        if (status != ERROR_SUCCESS)
            refuse(rootName, "cannot be read: " + systemErrorText(DWORD(status)));
        const std::string given = fromWide(text);
        if (const std::optional<std::string> port = comPortName(given))
            return port;
        refuse(rootName, "is \"" + given + "\", which is not a COM port");
    }
    return std::nullopt;
}

std::optional<std::string> saveCom1Setting(const std::string& port)
{
    HKEY ports = nullptr;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    &ports, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring text = toWide(port);
        status =
            ::RegSetValueExW(ports, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             DWORD((text.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(ports);
    }
    if (status == ERROR_SUCCESS)
        return std::nullopt;
    return "cannot write " + keyName("HKEY_CURRENT_USER") + ": " + systemErrorText(DWORD(status));
}

} // namespace potpanel
