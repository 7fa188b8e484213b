#include "wiper_decoder.h"

namespace potpanel {
namespace {

// The value of an upper-case hex digit, or -1: the controller knows no other.
int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

DecodedFrame classify(std::string bytes)
{
    DecodedFrame frame;
    frame.bytes = std::move(bytes);
    const char channel = frame.bytes[2];
    const int upper = digitValue(frame.bytes[3]);
    const int lower = digitValue(frame.bytes[4]);
    if (frame.bytes[1] != commandLetter) {
        frame.kind = DecodedFrame::Kind::UnknownCommand;
    } else if (channel != static_cast<char>(ChannelId::A) &&
               channel != static_cast<char>(ChannelId::B)) {
        frame.kind = DecodedFrame::Kind::UnknownChannel;
    } else if (upper < 0 || lower < 0) {
        frame.kind = DecodedFrame::Kind::BadDigits;
    } else {
        frame.kind = DecodedFrame::Kind::Wiper;
        frame.channel = static_cast<ChannelId>(channel);
        frame.value = upper * 16 + lower;
    }
    return frame;
}

} // namespace

void WiperDecoder::finishPending(std::vector<DecodedFrame>& frames)
{
    if (pending_.empty())
        return;
    DecodedFrame frame;
    frame.kind = pending_.front() == stx ? DecodedFrame::Kind::CutShort : DecodedFrame::Kind::Stray;
    frame.bytes = std::move(pending_);
    pending_.clear();
    frames.push_back(std::move(frame));
}

std::vector<DecodedFrame> WiperDecoder::feed(std::string_view bytes)
{
    std::vector<DecodedFrame> frames;
    for (const char byte : bytes) {
        if (byte == stx)
            finishPending(frames);
        pending_.push_back(byte);
        if (pending_.front() == stx && pending_.size() == WiperFrame::size) {
            frames.push_back(classify(std::move(pending_)));
            pending_.clear();
        }
    }
    return frames;
}

} // namespace potpanel
