#pragma once

#include "controller_window.h"
#include "memory_serial_port.h"
#include "panel_window.h"

#include <memory>

namespace potpanel {

// The panel window Form1 with its serial port replaced by a line in memory that
// ends at a simulated controller, shown in a window of its own beside it.
class Simulator
{
public:
    Simulator();

    // Runs the panel's load handling; false when it failed and the operator has been told.
    bool load() { return form1_.load(); }
    // Shows Form1 and, to its right, the controller's window.
    void show();

    PanelWindow& form1() { return form1_; }
    ControllerWindow& controller() { return controller_; }
    const MemoryLine& line() const { return *line_; }

private:
    // Declared before Form1, which writes to the line until it is destroyed.
    ControllerWindow controller_;
    std::shared_ptr<MemoryLine> line_;
    PanelWindow form1_;
};

} // namespace potpanel
