#include "tty_drivers.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/sysmacros.h>

namespace potpanel {

bool isSerialTerminal(dev_t device)
{
    // One driver a line: name, device path, major, minor or range of minors, type;
    // "serial  /dev/ttyS  4 64-95 serial".
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers)
        return true;
    for (std::string line; std::getline(drivers, line);) {
        std::istringstream fields(line);
        std::string name, path, minors, type;
        unsigned major = 0, first = 0, last = 0;
        if (!(fields >> name >> path >> major >> minors >> type))
            continue;
        const int bounds = std::sscanf(minors.c_str(), "%u-%u", &first, &last);
        if (bounds < 1)
            continue;
        if (bounds == 1)
            last = first;
        if (major == ::major(device) && first <= ::minor(device) && ::minor(device) <= last)
            return type == "serial" || type == "pty:slave";
    }
    return false;
}

} // namespace potpanel
