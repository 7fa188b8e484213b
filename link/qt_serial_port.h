#pragma once

#include "device_lock.h"
#include "serial_port.h"

#include <QSerialPort>
#include <optional>

namespace potpanel {

// The platform port on Qt SerialPort, made to keep the link's promises where
// QSerialPort alone does not: exclusive use, writes handed to the operating
// system before returning, and no byte dropped at close.
class QtSerialPort final : public SerialPort
{
public:
    QtSerialPort() = default;
    ~QtSerialPort() override;

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;

private:
    // Hands everything QSerialPort still queues to the operating system.
    void drain();
    // Closes at once, dropping what is queued: for a port that has failed.
    void abandon();
    [[noreturn]] void failAndAbandon(const std::string& cause);

    QSerialPort port_;
    std::optional<DeviceLock> lock_;
};

} // namespace potpanel
