#pragma once

#include "panel_view.h"
#include "serial_link.h"
#include "wiper_frame.h"

#include <cstdint>
#include <string>

namespace potpanel {

// The panel's behaviour: one handler per event of the window. It keeps no state;
// each channel's value lives in its slider. It catches only the loss of the
// port's device, which it handles by offering to connect again; any other failure
// ends the handler at the failing step and leaves it as an exception.
class PanelController
{
public:
    PanelController(PanelView& view, SerialLink& comm1);

    void Form_Load();
    void HScroll1_Change();
    void HScroll2_Change();
    // The change handler of the channel's slider, for a window that knows its
    // sliders by channel: HScroll1_Change or HScroll2_Change.
    void sliderChanged(ChannelId channel);
    void Command1_Click();
    // Closing is never cancelled; cancel is left as the window system passed it.
    void Form_Unload(std::int16_t& cancel);
    // The port said its device may have gone: when it has, the port is let go and
    // the operator asked whether to connect again.
    void lineChanged();

    static constexpr std::int16_t startValue = 50;

private:
    void channelChanged(ChannelId channel);
    // Writes the channel's frame of its slider's value, then shows the value.
    void send(ChannelId channel);
    void deviceLost(std::string message);
    // Opens the port again as at start-up, then sends both channels' values as the
    // sliders hold them, so that the controller holds what the window shows.
    void reconnect();

    PanelView& view_;
    SerialLink& comm1_;
};

} // namespace potpanel
