#include "accessible_texts.h"

namespace potpanel {
namespace {

constexpr std::string_view portNotice = "The only port the panel drives";

std::string channelLetter(ChannelId channel)
{
    return channel == ChannelId::A ? "A" : "B";
}

} // namespace

AccessibleTexts accessibleTexts(const FormControl& control)
{
    switch (control.kind) {
    case ControlKind::Slider:
        return {std::string(channelCaption(*control.channel)),
                "Sets channel " + channelLetter(*control.channel) +
                    "'s wiper from 0 to 255; each change is sent at once"};
    case ControlKind::Display:
        return {"Channel " + channelLetter(*control.channel) + "'s value in hexadecimal",
                "Text typed here is not sent"};
    case ControlKind::Button:
        break;
    case ControlKind::Label:
        if (control.face == ControlFace::Banner)
            return {{}, "The maker's name"};
        if (isPortNotice(control))
            return {{}, std::string(portNotice)};
        break;
    }
    return {};
}

std::string portDescription(std::string_view port, std::string_view device)
{
    return std::string(portNotice) + ", " + std::string(port) + ": " + std::string(device);
}

} // namespace potpanel
