#include "terminals.h"

#include <algorithm>
#include <sys/sysmacros.h>

namespace potpanel {

bool isSerialTerminal(dev_t device, const ProcFiles& proc)
{
    const auto drivers = proc.ttyDrivers();
    if (!drivers)
        return true;
    const auto driver = std::ranges::find_if(*drivers, [&](const TtyDriver& d) {
        return d.major == major(device) && d.firstMinor <= minor(device) &&
               minor(device) <= d.lastMinor;
    });
    return driver != drivers->end() && (driver->type == "serial" || driver->type == "pty:slave");
}

bool isKernelConsole(const std::string& name, dev_t device, const ProcFiles& proc)
{
    return std::ranges::any_of(proc.consoles(),
                               [&](const Console& console) {
                                   return console.name == name || console.device == device;
                               }) ||
           std::ranges::count(proc.activeConsoles(), name) > 0;
}

bool isPseudoTerminal(dev_t device)
{
    return major(device) >= 136 && major(device) <= 143;
}

} // namespace potpanel
