#pragma once

#include "form1.h"

#include <string>
#include <string_view>

namespace potpanel {

// What a screen reader says of a control of Form1 beyond what it reads off the
// control itself. A name is empty where the control's own text names it; a
// slider's is its caption, which is tied to it, and never holds the value, which
// is spoken on its own at each change.
struct AccessibleTexts
{
    std::string name;
    std::string description;
};

AccessibleTexts accessibleTexts(const FormControl& control);

// The label "COM1 Only", whose description names the device once it is known.
constexpr bool isPortNotice(const FormControl& control)
{
    return control.kind == ControlKind::Label && !control.channel &&
           control.face == ControlFace::Window;
}

// The port notice's description once the port is known: "COM1: /dev/ttyUSB0".
std::string portDescription(std::string_view port, std::string_view device);

} // namespace potpanel
