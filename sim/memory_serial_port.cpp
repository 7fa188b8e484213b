#include "memory_serial_port.h"

namespace potpanel {

MemorySerialPort::MemorySerialPort(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}

void MemorySerialPort::failIfRequested(MemoryLine::Operation operation)
{
    const auto failure = line_->failures.find(operation);
    if (failure == line_->failures.end())
        return;
    const std::string cause = failure->second;
    line_->failures.erase(failure);
    if (operation == MemoryLine::Operation::Write)
        line_->open = false;
    throw PortFailure(cause);
}

void MemorySerialPort::open(const std::string& device, const LineSettings& settings)
{
    if (line_->open)
        throw PortFailure("already open");
    failIfRequested(MemoryLine::Operation::Open);
    line_->open = true;
    line_->device = device;
    line_->settings = settings;
    line_->log.push_back("open " + device + ' ' + toString(settings));
}

void MemorySerialPort::setRts(bool on)
{
    failIfRequested(MemoryLine::Operation::SetRts);
    line_->log.push_back(on ? "rts on" : "rts off");
}

void MemorySerialPort::write(std::string_view bytes)
{
    if (!line_->open)
        throw PortFailure("not open");
    failIfRequested(MemoryLine::Operation::Write);
    line_->bytes.append(bytes);
    line_->log.push_back("write");
    if (line_->onWrite)
        line_->onWrite(bytes);
}

void MemorySerialPort::close()
{
    line_->open = false;
    failIfRequested(MemoryLine::Operation::Close);
    line_->log.push_back("close");
}

} // namespace potpanel
