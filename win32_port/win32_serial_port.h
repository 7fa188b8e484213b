#pragma once

#include "line_watch.h"
#include "serial_port.h"

#include <functional>
#include <memory>
#include <optional>

namespace potpanel {

// A serial port on the Windows API: the device is a port's name, such as COM1.
// Windows gives a port to one program at a time, so opening it is claiming it.
// The line runs with the settings given and no flow control of any kind; DTR
// is raised at the open, RTS only when asked. Its waits are bounded like the
// POSIX port's: a write gives up ten seconds after it started, and closing
// waits at most for what is still queued to go out at the line's speed, plus
// two seconds. While open, a LineWatch looks for the device going away.
class Win32SerialPort final : public SerialPort
{
public:
    Win32SerialPort() = default;

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;
    void watch(std::function<void()> mayHaveGone) override;
    bool hasGone() override;

private:
    struct HandleCloser
    {
        void operator()(void* handle) const;
    };

    void configure(const LineSettings& settings);
    std::size_t queuedBytes() const;
    [[noreturn]] void failAndRelease(const std::string& cause);
    // The watch ends before the handle it asks is closed.
    void release();

    std::unique_ptr<void, HandleCloser> handle_;
    std::function<void()> mayHaveGone_;
    // Declared after the handle, so that it ends first when the port is destroyed.
    std::optional<LineWatch> watch_;
    // Microseconds one character takes on the line.
    long characterMicroseconds_ = 0;
};

} // namespace potpanel
