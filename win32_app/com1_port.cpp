#include "com1_port.h"

#include "com1_setting.h"
#include "com_ports.h"
#include "operator_messages.h"
#include "port_choice.h"

namespace potpanel {

std::string Com1Port::forPort(int portNumber)
{
    if (portNumber != 1)
        return "COM" + std::to_string(portNumber);
    if (!port_)
        port_ = readCom1Setting().value_or("COM1");
    return *port_;
}

bool Com1Port::retryAfter(const std::exception& failure)
{
    // A port that exists failed for a reason of its own; a wrong setting is no port.
    if (!port_ || comPortExists(*port_)) {
        showFailure(failure.what());
        return false;
    }
    const std::optional<std::string> chosen = choosePort(failure.what(), comPorts());
    if (!chosen)
        return false;
    if (const std::optional<std::string> unsaved = saveCom1Setting(*chosen))
        showFailure("COM1 is " + *chosen + " for this run only: " + *unsaved);
    port_ = chosen;
    return true;
}

} // namespace potpanel
