#include "com1_device.h"

#include "com1_setting.h"
#include "failure_message.h"
#include "port_choice.h"
#include "serial_link.h"

#include <cerrno>
#include <sys/stat.h>

namespace potpanel {
namespace {

bool isMissing(const std::string& device)
{
    struct stat status
    {
    };
    return ::stat(device.c_str(), &status) != 0 && errno == ENOENT;
}

} // namespace

Com1Device::Com1Device(std::optional<std::string> given) : device_(std::move(given))
{
    try {
        if (!device_)
            device_ = readCom1Setting().value_or(serialDevice(1));
    } catch (const std::exception&) {
        // Reported when start-up asks for the device.
    }
}

std::string Com1Device::forPort(int portNumber)
{
    if (portNumber != 1)
        return serialDevice(portNumber);
    if (!device_)
        device_ = readCom1Setting().value_or(serialDevice(1));
    return *device_;
}

bool Com1Device::retryAfter(const std::exception& failure)
{
    if (!device_ || !isMissing(*device_)) {
        showFailure(failure);
        return false;
    }
    const std::optional<std::string> chosen = choosePort(failure, freeSerialPorts());
    if (!chosen)
        return false;
    if (const std::optional<std::string> unsaved = saveCom1Setting(*chosen))
        FailureMessage(
            QString::fromStdString("COM1 is " + *chosen + " for this run only: " + *unsaved))
            .exec();
    device_ = chosen;
    return true;
}

} // namespace potpanel
