#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace potpanel {

// Who else has a serial device, as far as /proc tells any user. Each finder
// returns 0 when nobody is found.

// The largest PID the kernel hands out.
long highestPid();

// A process that exists and is not a zombie.
bool isLive(pid_t pid);

// "process 42 (agetty)": the name made printable, since anyone names their processes.
std::string describeProcess(pid_t pid);

// A process, other than this one, whose controlling terminal is the device: a
// login session or a getty on the port.
pid_t controllingProcess(dev_t terminal);

// A process holding a flock(2) lock on the device.
pid_t flockHolder(const struct stat& device);

// Whether the kernel writes its console to the device, named like "ttyS0".
bool isKernelConsole(const std::string& name, dev_t terminal);

} // namespace potpanel
