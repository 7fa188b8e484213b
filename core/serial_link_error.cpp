#include "serial_link_error.h"

namespace potpanel {
namespace {

std::string describe(const std::string& port, const std::string& device, const std::string& action,
                     const std::string& cause)
{
    std::string where = port.empty() ? std::string("serial port") : port;
    // On Windows a port may be its own device: COM1 is COM1.
    if (!device.empty() && device != port)
        where += " (" + device + ")";
    return where + ": " + action + ": " + cause;
}

} // namespace

SerialLinkError::SerialLinkError(const std::string& port, const std::string& device,
                                 const std::string& action, const std::string& cause)
    : std::runtime_error(describe(port, device, action, cause))
{
}

} // namespace potpanel
