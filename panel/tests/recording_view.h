#pragma once

#include "memory_serial_port.h"
#include "panel_controller.h"
#include "panel_view.h"

#include <map>
#include <memory>
#include <string>

namespace potpanel {

// A view in memory that behaves as the window does (a changed slider value runs
// that channel's change handling before setSliderValue returns) and writes what
// happens to it into the line's log, so the order of frames and displays shows.
class RecordingView final : public PanelView
{
public:
    explicit RecordingView(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}

    void attach(PanelController& controller) { controller_ = &controller; }

    std::int16_t sliderValue(ChannelId channel) const override { return sliders_.at(channel); }

    void setSliderValue(ChannelId channel, std::int16_t value) override
    {
        if (sliders_[channel] == value)
            return;
        sliders_[channel] = value;
        if (channel == ChannelId::A)
            controller_->HScroll1_Change();
        else
            controller_->HScroll2_Change();
    }

    void setDisplayText(ChannelId channel, std::string_view text) override
    {
        displays_[channel] = std::string(text);
        line_->log.push_back(std::string("display ") + static_cast<char>(channel) + ' ' +
                             std::string(text));
    }

    void endProgram() override
    {
        ++endings_;
        line_->log.push_back("end");
    }

    std::string display(ChannelId channel) const { return displays_.at(channel); }
    int endings() const { return endings_; }

private:
    std::shared_ptr<MemoryLine> line_;
    PanelController* controller_ = nullptr;
    std::map<ChannelId, std::int16_t> sliders_{{ChannelId::A, 0}, {ChannelId::B, 0}};
    std::map<ChannelId, std::string> displays_{{ChannelId::A, ""}, {ChannelId::B, ""}};
    int endings_ = 0;
};

} // namespace potpanel
