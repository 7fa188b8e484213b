#pragma once

#include "serial_port.h"

#include <functional>
#include <string_view>

namespace potpanel {

// A serial port whose line ends in memory: every write is handed on to the
// simulated controller as it happens, and nothing is kept.
class MemorySerialPort final : public SerialPort
{
public:
    using Receiver = std::function<void(std::string_view bytes)>;

    explicit MemorySerialPort(Receiver receiver);

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;
    // Memory never goes away.
    void watch(std::function<void()>) override {}
    bool hasGone() override { return false; }

private:
    Receiver receiver_;
    bool open_ = false;
};

} // namespace potpanel
