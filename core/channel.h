#pragma once

#include <cstddef>
#include <string_view>

namespace potpanel {

// The two channels of the potentiometer; each one's value is the character that
// names it in a frame.
enum class ChannelId : char { A = '0', B = '1' };

// A channel's place in anything kept per channel, A first.
constexpr std::size_t channelIndex(ChannelId channel)
{
    return channel == ChannelId::A ? 0 : 1;
}

// The caption the operator knows a channel by.
constexpr std::string_view channelCaption(ChannelId channel)
{
    return channel == ChannelId::A ? "CH-A" : "CH-B";
}

} // namespace potpanel
