#pragma once

#include <exception>
#include <optional>
#include <string>

namespace potpanel {

// Which port stands for COM1 in this run: the one given on the command line,
// else the setting, else COM1; and another one, when the operator picks it
// because COM1's port does not exist.
class Com1Port
{
public:
    explicit Com1Port(std::optional<std::string> given) : port_(std::move(given)) {}

    // The port for port number 1; throws when the setting is wrong.
    std::string forPort(int portNumber);
    // After a failed start: offers this computer's serial ports when the port
    // does not exist, else shows the failure. Returns whether start-up should
    // run again.
    bool retryAfter(const std::exception& failure);

private:
    std::optional<std::string> port_;
};

} // namespace potpanel
