#pragma once

#include "serial_port.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace potpanel {

// The far side of a MemorySerialPort: what was done to the port, what reached
// the line, and which operation is to fail next. Shared, so that a test or the
// simulator keeps it after the port has gone into a SerialLink.
struct MemoryLine
{
    enum class Operation { Open, SetRts, Write, Close };

    // One entry per operation that succeeded, such as "open /dev/ttyS0 9600,N,8,1",
    // "rts on", "write" or "close".
    std::vector<std::string> log;
    std::string bytes;
    bool open = false;
    std::string device;
    std::optional<LineSettings> settings;
    // The next call of an operation listed here throws PortFailure with this cause.
    std::map<Operation, std::string> failures;
    // Called with every write, after its bytes are on the line.
    std::function<void(std::string_view)> onWrite;
};

// A serial port in memory, for tests and simulation; it keeps the platform
// port's contract, including that a failed write leaves the port closed.
class MemorySerialPort final : public SerialPort
{
public:
    explicit MemorySerialPort(std::shared_ptr<MemoryLine> line);

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;

private:
    void failIfRequested(MemoryLine::Operation operation);

    std::shared_ptr<MemoryLine> line_;
};

} // namespace potpanel
