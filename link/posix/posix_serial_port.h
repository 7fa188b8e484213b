#pragma once

#include "device_lock.h"
#include "serial_port.h"

#include <optional>

namespace potpanel {

// A serial port on a POSIX terminal device. It claims the device first (see
// DeviceLock) and holds a flock on it while open. Its waits are bounded: a write
// gives up ten seconds after it started, and closing waits at most for what is
// still queued to go out at the line's speed, plus two seconds. A port still
// open when the process exits (the display went away, say) is closed on the way
// out like any other.
class PosixSerialPort final : public SerialPort
{
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;

private:
    void configure(const LineSettings& settings);
    // Closes the device and gives up the claim; what is still queued is dropped.
    void release();
    [[noreturn]] void failAndRelease(const std::string& cause);

    int fd_ = -1;
    // Microseconds one character takes on the line.
    long characterMicroseconds_ = 0;
    std::optional<DeviceLock> claim_;
};

} // namespace potpanel
