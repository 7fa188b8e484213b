#pragma once

#include "line_settings.h"

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace potpanel {

// A platform port operation failed; what() is the cause in plain words.
class PortFailure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The device went away under an open port: unplugged, switched off or its far end
// closed. The port has let it go; the same device may be opened again later.
class DeviceGone : public PortFailure
{
public:
    using PortFailure::PortFailure;
};

// The bounds every port keeps to: a write that has not gone out in writeLimit
// has failed, however much of it trickled through; closing waits at most for
// what is still queued to go out at the line's speed, plus drainMargin.
inline constexpr std::chrono::seconds writeLimit{10};
inline constexpr std::chrono::seconds drainMargin{2};

// What a port says when it breaks those bounds.
inline std::string writeTimedOut(std::size_t unsent)
{
    return "the line did not take everything within " + std::to_string(writeLimit.count()) +
           " seconds; " + std::to_string(unsent) + " bytes were not sent";
}
inline std::string drainTimedOut(std::size_t unsent)
{
    return "the line did not drain in time; " + std::to_string(unsent) + " bytes were not sent";
}

// What the serial link needs of the platform's serial driver. Every operation
// throws PortFailure when it fails.
class SerialPort
{
public:
    virtual ~SerialPort() = default;

    // Claims the device for this process alone and applies the settings.
    virtual void open(const std::string& device, const LineSettings& settings) = 0;
    // On failure the port is closed, and its claim given up, before the exception leaves.
    virtual void setRts(bool on) = 0;
    // Returns once every byte has been handed to the operating system, in order.
    // On failure the port is closed before the exception leaves.
    virtual void write(std::string_view bytes) = 0;
    // Lets the bytes already written reach the line, waiting a bounded time, then
    // closes. Throws when some had to be discarded; the port is closed all the same.
    virtual void close() = 0;

    // While open, the port watches for its device going away, without reading or
    // writing the line, and calls mayHaveGone from a thread of its own when it might
    // have: that call only passes the news on to the program's own thread, which
    // then asks hasGone(). Set before open(); a port that cannot watch never calls it.
    virtual void watch(std::function<void()> mayHaveGone) = 0;
    // Whether the open port's device has gone, asked without reading or writing.
    virtual bool hasGone() = 0;
};

} // namespace potpanel
