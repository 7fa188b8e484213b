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

// The device behind a numbered port on this platform: port 1 is /dev/ttyS0 on
// Linux and COM1 on Windows.
std::string platformDevice(int portNumber);

// The connection to the potentiometer controller: a numbered serial port with
// its line settings, write-only. Calls come in the order setPortNumber,
// setSettings, open, setRts, setReceiveThreshold, write..., close; a call out of
// that order, a bad argument or a failure of the port throws SerialLinkError.
class SerialLink
{
public:
    using DeviceForPort = std::function<std::string(int portNumber)>;

    explicit SerialLink(std::unique_ptr<SerialPort> port,
                        DeviceForPort deviceForPort = platformDevice);
    // Closes the port if it is still open, draining what was written.
    ~SerialLink();

    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    void setPortNumber(std::int16_t number);
    void setSettings(std::string_view text);
    void open();
    void setRts(bool on);
    // Nothing is ever read from the line; 0 (no notification on arrival) is the only
    // sensible value, but any non-negative one is accepted as the contract allows.
    void setReceiveThreshold(std::int16_t threshold);
    void write(std::string_view text);
    // A second close does nothing.
    void close();

    bool isOpen() const { return open_; }
    // "COM1" for port 1; empty until a port number is set.
    std::string portName() const;
    std::string device() const { return device_; }

private:
    [[noreturn]] void fail(const std::string& action, const std::string& cause) const;
    void requireClosed(const std::string& action) const;
    void requireOpen(const std::string& action) const;

    std::unique_ptr<SerialPort> port_;
    DeviceForPort deviceForPort_;
    std::int16_t portNumber_ = 0;
    std::string device_;
    std::optional<LineSettings> settings_;
    bool open_ = false;
};

} // namespace potpanel
