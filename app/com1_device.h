#pragma once

#include <exception>
#include <optional>
#include <string>

namespace potpanel {

// Which device stands for COM1 in this run: the one given on the command line,
// else the setting, else /dev/ttyS0; and another one, when the operator picks it
// because COM1's device does not exist.
class Com1Device
{
public:
    explicit Com1Device(std::optional<std::string> given);

    // Settled before the window system starts, so that the look for the device's
    // other holders can run meanwhile; nothing while the setting cannot be read.
    const std::optional<std::string>& early() const { return device_; }
    // The device for port number 1; throws when the setting cannot be read.
    std::string forPort(int portNumber);
    // After a failed start: offers the machine's free ports when the device does
    // not exist, else shows the failure. Returns whether start-up should run again.
    bool retryAfter(const std::exception& failure);

private:
    std::optional<std::string> device_;
};

} // namespace potpanel
