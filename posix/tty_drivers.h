#pragma once

#include <sys/types.h>

namespace potpanel {

// Whether a character device is a serial line, as the kernel's list of terminal
// drivers (/proc/tty/drivers) says: a serial port, or the far end of a
// pseudo-terminal that stands in for one. Not /dev/null, nor /dev/tty, the
// console or a virtual terminal. Opens nothing; when the list cannot be read,
// every device counts as one and the open tells.
bool isSerialTerminal(dev_t device);

} // namespace potpanel
