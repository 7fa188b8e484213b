#include "frame_description.h"

namespace potpanel {
namespace {

std::string meaning(const DecodedFrame& frame)
{
    switch (frame.kind) {
    case DecodedFrame::Kind::Wiper: {
        return std::string(channelCaption(frame.channel)) + " = " + std::to_string(frame.value) +
               " (" + frame.bytes.substr(3, 2) + ")";
    }
    case DecodedFrame::Kind::UnknownCommand:
        return "unknown command";
    case DecodedFrame::Kind::UnknownChannel:
        return "unknown channel";
    case DecodedFrame::Kind::BadDigits:
        return "malformed: value is not two upper-case hex digits";
    case DecodedFrame::Kind::CutShort:
        return "malformed: cut short by the next frame";
    case DecodedFrame::Kind::Stray:
        return "malformed: bytes outside a frame";
    }
    return {};
}

} // namespace

std::string hexBytes(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!text.empty())
            text.push_back(' ');
        text.push_back(hexDigit(byte >> 4));
        text.push_back(hexDigit(byte & 15));
    }
    return text;
}

std::string describe(const DecodedFrame& frame)
{
    return hexBytes(frame.bytes) + "   " + meaning(frame);
}

} // namespace potpanel
