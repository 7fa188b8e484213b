#pragma once

#include "device_lock.h"
#include "serial_port.h"

#include <future>
#include <optional>

namespace potpanel {

// A serial port on a POSIX terminal device. It looks for other holders of the
// device and claims it first (see lookForHolders and DeviceLock); once open it
// refuses a device another program holds in exclusive mode or by flock, and
// then holds both itself. A refused port is left exactly as it was found. Its waits are bounded: a
// write gives up ten seconds after it started, and closing waits at most for what is still queued
// to go out at the line's speed, plus two seconds. A port still open when the process exits (the
// display went away, say) is closed on the way out like any other.
class PosixSerialPort final : public SerialPort
{
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // Starts the look for other holders of the device, and the lock file's
    // keeper, ahead of open(): the look then runs on its own thread while the
    // program does other work. Call it early, before other threads start.
    void lookAhead(const std::string& device);

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;

private:
    void configure(const LineSettings& settings);
    // Closes the device and gives up the claim; exclusive mode is cleared only if
    // this port set it.
    void release();
    // Drops what this port still has queued, when the port is its own, and releases.
    [[noreturn]] void failAndRelease(const std::string& cause);

    std::string lookedAt_;
    std::future<void> look_;
    std::optional<LockKeeper> keeper_;
    int fd_ = -1;
    // Whether this port put the device in exclusive mode, and so holds it alone.
    bool exclusive_ = false;
    // Microseconds one character takes on the line.
    long characterMicroseconds_ = 0;
    std::optional<DeviceLock> claim_;
};

} // namespace potpanel
