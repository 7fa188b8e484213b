#include "simulated_controller.h"

namespace potpanel {

std::vector<DecodedFrame> SimulatedController::receive(std::string_view bytes)
{
    std::vector<DecodedFrame> frames = decoder_.feed(bytes);
    for (const DecodedFrame& frame : frames)
        if (frame.kind == DecodedFrame::Kind::Wiper)
            wipers_[channelIndex(frame.channel)] = frame.value;
    return frames;
}

} // namespace potpanel
