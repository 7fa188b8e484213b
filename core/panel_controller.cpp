#include "panel_controller.h"

#include "serial_link_error.h"

namespace potpanel {

PanelController::PanelController(PanelView& view, SerialLink& comm1) : view_(view), comm1_(comm1) {}

namespace {

constexpr const char* reconnectAdvice =
    "\n\nConnect the device again and choose Reconnect, or choose OK to end the panel.";

} // namespace

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
    try {
        send(channel);
    } catch (const DeviceLost& lost) {
        // The display keeps the value last sent until a reconnect sends this one.
        deviceLost(lost.what());
    }
}

void PanelController::send(ChannelId channel)
{
    const std::int16_t value = view_.sliderValue(channel);
    comm1_.write(encodeWiperFrame(channel, value).bytes());
    view_.setDisplayText(channel, hexText(value));
}

void PanelController::lineChanged()
{
    if (!comm1_.deviceHasGone())
        return; // a late word about a port already let go, or opened again since
    comm1_.letGo();
    deviceLost(DeviceLost(comm1_.portName(), comm1_.device()).what());
}

void PanelController::deviceLost(std::string message)
{
    while (view_.offerReconnect(message + reconnectAdvice)) {
        try {
            reconnect();
            return;
        } catch (const SerialLinkError& failure) {
            message = failure.what();
        }
    }
    view_.endProgram(ExitStatus::Failure);
}

void PanelController::reconnect()
{
    comm1_.reopen();
    comm1_.setRts(true);
    send(ChannelId::A);
    send(ChannelId::B);
}

void PanelController::Command1_Click()
{
    comm1_.close();
    view_.endProgram(ExitStatus::Success);
}

void PanelController::Form_Unload(std::int16_t& /*cancel*/)
{
    comm1_.close();
    view_.endProgram(ExitStatus::Success);
}

} // namespace potpanel
