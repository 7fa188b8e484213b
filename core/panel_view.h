#pragma once

#include "channel.h"

#include <cstdint>
#include <string_view>

namespace potpanel {

enum class ExitStatus { Success, Failure };

// What the panel logic needs of its window.
class PanelView
{
public:
    virtual ~PanelView() = default;

    virtual std::int16_t sliderValue(ChannelId channel) const = 0;
    // When the value changes, the channel's change handling runs to completion
    // before this returns.
    virtual void setSliderValue(ChannelId channel, std::int16_t value) = 0;
    virtual void setDisplayText(ChannelId channel, std::string_view text) = 0;
    // Ends the program at once: the window goes without its unload handling.
    virtual void endProgram(ExitStatus status) = 0;
    // Tells the operator that the port's device has gone, in message's words, and
    // asks whether to connect to it again (true) or to end the program (false). The
    // window stays as it is meanwhile, and takes no input but the answer.
    virtual bool offerReconnect(std::string_view message) = 0;
};

} // namespace potpanel
