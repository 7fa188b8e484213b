#pragma once

#include "wiper_decoder.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace potpanel {

// The potentiometer controller at the far end of the line: it decodes what
// arrives and moves a channel's wiper for every good frame. A wiper has no known
// position until its first frame.
class SimulatedController
{
public:
    // The frames these bytes completed, after their wipers have moved.
    std::vector<DecodedFrame> receive(std::string_view bytes);

    std::optional<int> wiper(ChannelId channel) const { return wipers_[channelIndex(channel)]; }

private:
    WiperDecoder decoder_;
    std::array<std::optional<int>, 2> wipers_;
};

} // namespace potpanel
