#pragma once

#include "line_settings.h"
#include "serial_port.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace potpanel {

// The serial device behind a numbered port: port 1 (COM1) is /dev/ttyS0.
std::string serialDevice(int portNumber);

// The connection to the potentiometer controller: a numbered serial port with
// its line settings, write-only, opened once. The port number and settings can
// only be set before open(); setRts, setReceiveThreshold and write only while
// open; once closed it stays closed. Such a call out of place, a bad argument or
// a failure of the port throws SerialLinkError; a write to a device that has gone
// throws DeviceLost.
//
// A failure while open lets the port go and leaves the link lost: reopen() then
// opens the same device again with the same settings, as often as asked.
class SerialLink
{
public:
    using DeviceForPort = std::function<std::string(int portNumber)>;

    explicit SerialLink(std::unique_ptr<SerialPort> port,
                        DeviceForPort deviceForPort = serialDevice);
    // Closes the port if it is still open, draining what was written.
    ~SerialLink();

    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void setPortNumber(std::int16_t number);
    void setSettings(std::string_view text);
    void open();
    void setRts(bool on);
    // Nothing is ever read from the line; 0 (no notification on arrival) is the only
    // sensible value, but any non-negative one is accepted.
    void setReceiveThreshold(std::int16_t threshold);
    void write(std::string_view text);
    // A close when not open does nothing.
    void close();

    // Passes to the port the call it makes, from a thread of its own, when the
    // device may have gone (see SerialPort::watch). Set before open().
    void watch(std::function<void()> mayHaveGone);
    // Whether the link is open on a device that has gone.
    bool deviceHasGone();
    // Lets the port go at once, discarding what it still holds: the device has gone.
    void letGo();
    void reopen();

    bool isOpen() const { return state_ == State::Open; }
    bool isLost() const { return state_ == State::Lost; }
    // "COM1" once the port number is set, and the device that stands for it.
    std::string portName() const;
    const std::string& device() const { return device_; }

private:
    enum class State { NotYetOpened, Open, Lost, Closed };

    [[noreturn]] void fail(const std::string& action, const std::string& cause) const;
    void requireNotYetOpened(const std::string& action) const;
    void requireOpen(const std::string& action) const;
    void openPort(const std::string& action);

    std::unique_ptr<SerialPort> port_;
    DeviceForPort deviceForPort_;
    std::int16_t portNumber_ = 0;
    std::string device_;
    std::optional<LineSettings> settings_;
    State state_ = State::NotYetOpened;
};

} // namespace potpanel
