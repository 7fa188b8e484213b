#include "panel_controller.h"

namespace potpanel {

PanelController::PanelController(PanelView& view, SerialLink& comm1) : view_(view), comm1_(comm1) {}

void PanelController::Form_Load()
{
    comm1_.setPortNumber(1);
    comm1_.setSettings("9600,N,8,1");
    comm1_.open();
    comm1_.setRts(true);
    comm1_.setReceiveThreshold(0);
    view_.setSliderValue(ChannelId::A, startValue);
    view_.setSliderValue(ChannelId::B, startValue);
}

void PanelController::HScroll1_Change()
{
    channelChanged(ChannelId::A);
}

void PanelController::HScroll2_Change()
{
    channelChanged(ChannelId::B);
}

void PanelController::sliderChanged(ChannelId channel)
{
    if (channel == ChannelId::A)
        HScroll1_Change();
    else
        HScroll2_Change();
}

void PanelController::channelChanged(ChannelId channel)
{
    const std::int16_t value = view_.sliderValue(channel);
    comm1_.write(encodeWiperFrame(channel, value).bytes());
    view_.setDisplayText(channel, hexText(value));
}

void PanelController::Command1_Click()
{
    comm1_.close();
    view_.endProgram();
}

void PanelController::Form_Unload(std::int16_t& /*cancel*/)
{
    comm1_.close();
    view_.endProgram();
}

} // namespace potpanel
