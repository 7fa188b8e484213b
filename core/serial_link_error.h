#pragma once

#include <stdexcept>
#include <string>

namespace potpanel {

// A failure of the serial link, worded for the operator: which port, which
// device, what the link was doing and why it failed.
class SerialLinkError : public std::runtime_error
{
public:
    SerialLinkError(const std::string& port, const std::string& device, const std::string& action,
                    const std::string& cause);

protected:
    explicit SerialLinkError(const std::string& text) : std::runtime_error(text) {}
};

// The port's device went away while the link was open; the link has let it go and
// may be opened again on the same device.
class DeviceLost : public SerialLinkError
{
public:
    DeviceLost(const std::string& port, const std::string& device);
};

} // namespace potpanel
