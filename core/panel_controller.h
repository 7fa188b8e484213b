#pragma once

#include "panel_view.h"
#include "serial_link.h"
#include "wiper_frame.h"

#include <cstdint>

namespace potpanel {

// The panel's behaviour: one handler per event of the window. It keeps no state;
// each channel's value lives in its slider. It catches nothing: a failure ends
// the handler at the failing step and leaves it as an exception.
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

    static constexpr std::int16_t startValue = 50;

private:
    void channelChanged(ChannelId channel);

    PanelView& view_;
    SerialLink& comm1_;
};

} // namespace potpanel
