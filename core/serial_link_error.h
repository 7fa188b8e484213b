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
};

} // namespace potpanel
