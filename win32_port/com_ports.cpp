#include "com_ports.h"

#include "wide_text.h"

#include <algorithm>
#include <map>
#include <windows.h>
// After windows.h: SetupAPI's headers lean on its types.
#include <devguid.h>
#include <setupapi.h>

namespace potpanel {
namespace {

std::vector<std::string> serialCommNames()
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t value[256];
        wchar_t data[256];
        DWORD valueSize = std::size(value);
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, value, &valueSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        names.push_back(fromWide(data));
    }
    ::RegCloseKey(key);
    return names;
}

// Plug and Play's friendly name of each port that has one, by the port's name:
// "USB-SERIAL CH340 (COM3)" becomes "USB-SERIAL CH340".
std::map<std::string, std::string> friendlyNames()
{
    std::map<std::string, std::string> names;
    HDEVINFO devices =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key =
            ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        wchar_t port[64] = L"";
        DWORD portSize = sizeof port - sizeof(wchar_t);
        const bool named = ::RegQueryValueExW(key, L"PortName", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(port), &portSize) == 0;
        ::RegCloseKey(key);
        wchar_t friendly[256] = L"";
        if (!named ||
            !::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(friendly),
                                                 sizeof friendly - sizeof(wchar_t), nullptr))
            continue;
        std::string text = fromWide(friendly);
        const std::string name = fromWide(port);
        if (const std::string suffix = " (" + name + ")"; text.ends_with(suffix))
            text.resize(text.size() - suffix.size());
        names[name] = text;
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

} // namespace

std::vector<ComPort> comPorts()
{
    const std::map<std::string, std::string> friendly = friendlyNames();
    std::vector<ComPort> ports;
    for (std::string& name : serialCommNames()) {
        const auto known = friendly.find(name);
        ports.push_back({std::move(name), known == friendly.end() ? "" : known->second});
    }
    // COM2 before COM10.
    std::ranges::sort(ports, [](const ComPort& a, const ComPort& b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    });
    return ports;
}

bool comPortExists(const std::string& name)
{
    wchar_t target[512];
    return ::QueryDosDeviceW(toWide(name).c_str(), target, DWORD(std::size(target))) != 0;
}

} // namespace potpanel
