#include "simulator.h"

namespace potpanel {
namespace {

std::shared_ptr<MemoryLine> lineTo(ControllerWindow& controller)
{
    auto line = std::make_shared<MemoryLine>();
    line->onWrite = [&controller](std::string_view bytes) {
        controller.receive(bytes);
    };
    return line;
}

} // namespace

Simulator::Simulator()
    : line_(lineTo(controller_)),
      form1_(std::make_unique<MemorySerialPort>(line_),
             [](int portNumber) { return "simulated COM" + std::to_string(portNumber); })
{
}

void Simulator::show()
{
    form1_.show();
    controller_.move(form1_.frameGeometry().topRight() + QPoint(16, 0));
    controller_.show();
}

} // namespace potpanel
