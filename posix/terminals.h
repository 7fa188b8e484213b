#pragma once

#include "proc_files.h"

#include <string>
#include <sys/types.h>

namespace potpanel {

// Whether a character device is a serial line, as the kernel's list of terminal
// drivers says: a serial port, or the far end of a pseudo-terminal that stands
// in for one. Not /dev/null, nor /dev/tty, the console or a virtual terminal.
// Opens nothing; when the list cannot be read, every device counts as one and
// the open tells.
bool isSerialTerminal(dev_t device, const ProcFiles& proc = systemProc());

// Whether the kernel writes its console to the device, named like "ttyS0".
bool isKernelConsole(const std::string& name, dev_t device, const ProcFiles& proc = systemProc());

// A pseudo-terminal's far end, which every devpts instance (every container)
// numbers from 0.
bool isPseudoTerminal(dev_t device);

} // namespace potpanel
