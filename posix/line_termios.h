#pragma once

#include "line_settings.h"

#include <termios.h>

namespace potpanel {

// The terminal settings for a raw serial line with these settings, built from
// what the device had: no echo, no line editing, no translation, no flow
// control, the receiver on and the modem's status lines ignored. Throws
// PortFailure for what this system's serial ports cannot do.
termios rawLine(const termios& was, const LineSettings& settings);

} // namespace potpanel
