#include "machine_serial_ports.h"

#include "look.h"

#include <algorithm>
#include <initializer_list>
#include <libudev.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace potpanel {
namespace {

template <auto release> struct Release
{
    template <typename T> void operator()(T* handle) const { release(handle); }
};
template <typename T, auto release> using Handle = std::unique_ptr<T, Release<release>>;

// The first of the properties that is set. udev's own ID_VENDOR and ID_MODEL
// stand for spaces with underscores; its hardware database's names have them.
std::string property(udev_device* device, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const char* value = udev_device_get_property_value(device, name);
        if (value && *value) {
            std::string text = value;
            if (!std::string_view(name).ends_with("_FROM_DATABASE"))
                std::ranges::replace(text, '_', ' ');
            return text;
        }
    }
    return {};
}

bool isNode(const std::string& path, dev_t number)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode) &&
           status.st_rdev == number;
}

// A name that survives replugging and renumbering, where udev made one.
std::string stableName(udev_device* device, dev_t number)
{
    for (const std::string_view folder : {"/dev/serial/by-id/", "/dev/serial/by-path/"}) {
        for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link;
             link = udev_list_entry_get_next(link)) {
            const std::string path = udev_list_entry_get_name(link);
            if (path.starts_with(folder) && isNode(path, number))
                return path;
        }
    }
    return {};
}

std::optional<MachineSerialPort> describe(udev_device* device)
{
    // Virtual terminals, the console and the like have no device behind them.
    const char* node = udev_device_get_devnode(device);
    if (!node || !udev_device_get_parent(device))
        return std::nullopt;
    // The kernel registers 8250 ports whether or not a UART answers; type 0 is none.
    const char* uart = udev_device_get_sysattr_value(device, "type");
    if (uart && std::string_view(uart) == "0")
        return std::nullopt;
    const dev_t number = udev_device_get_devnum(device);
    if (!std::string_view(node).starts_with("/dev/") || !isNode(node, number) || isTaken(node))
        return std::nullopt;
    return MachineSerialPort{node, stableName(device, number),
                             property(device, {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"}),
                             property(device, {"ID_MODEL_FROM_DATABASE", "ID_MODEL"}),
                             property(device, {"ID_SERIAL_SHORT"})};
}

} // namespace

std::vector<MachineSerialPort> freeSerialPorts()
{
    std::vector<MachineSerialPort> ports;
    const Handle<udev, udev_unref> context(udev_new());
    const Handle<udev_enumerate, udev_enumerate_unref> scan(
        context ? udev_enumerate_new(context.get()) : nullptr);
    if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(scan.get()) < 0)
        return ports;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(scan.get()); entry;
         entry = udev_list_entry_get_next(entry)) {
        const Handle<udev_device, udev_device_unref> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (device)
            if (std::optional<MachineSerialPort> port = describe(device.get()))
                ports.push_back(std::move(*port));
    }
    return ports;
}

} // namespace potpanel
