#include "serial_link_error.h"

namespace potpanel {
namespace {

std::string where(const std::string& port, const std::string& device)
{
    std::string text = port.empty() ? std::string("serial port") : port;
    // On Windows a port may be its own device: COM1 is COM1.
    if (!device.empty() && device != port)
        text += " (" + device + ")";
    return text;
}

} // namespace

SerialLinkError::SerialLinkError(const std::string& port, const std::string& device,
                                 const std::string& action, const std::string& cause)
    : std::runtime_error(where(port, device) + ": " + action + ": " + cause)
{
}

DeviceLost::DeviceLost(const std::string& port, const std::string& device)
    : SerialLinkError(where(port, device) +
                      ": the device is gone: it was unplugged, switched off or its far end closed")
{
}

} // namespace potpanel
