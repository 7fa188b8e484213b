#pragma once

#include "wiper_frame.h"

#include <string>
#include <string_view>
#include <vector>

namespace potpanel {

// One frame as the controller reads it off the line, good or not.
struct DecodedFrame
{
    enum class Kind {
        Wiper,          // a well-formed command: channel and value are set
        UnknownCommand, // STX and four bytes, but not the command letter 'D'
        UnknownChannel, // 'D' for a channel other than '0' and '1'
        BadDigits,      // a value that is not two upper-case hex digits
        CutShort,       // a new STX came before the frame was complete
        Stray,          // bytes outside any frame
    };

    Kind kind = Kind::Stray;
    std::string bytes; // exactly as they arrived
    ChannelId channel = ChannelId::A;
    int value = 0;
};

// Reads the byte stream the controller receives and cuts it into frames, the way
// the controller does: a frame starts at STX and is five bytes long. The stream
// may arrive in any pieces, so a frame is only reported once its last byte is in.
// STX never occurs inside a good frame, so an STX always starts a new one; the
// bytes before it form a frame cut short, or stray bytes.
class WiperDecoder
{
public:
    // The frames completed by these bytes, in order.
    std::vector<DecodedFrame> feed(std::string_view bytes);

    // The bytes received but not yet reported: a frame still coming, or stray
    // bytes waiting for the next STX.
    const std::string& pending() const { return pending_; }

private:
    void finishPending(std::vector<DecodedFrame>& frames);

    std::string pending_;
};

} // namespace potpanel
