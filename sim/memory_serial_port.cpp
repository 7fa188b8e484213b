#include "memory_serial_port.h"

namespace potpanel {

MemorySerialPort::MemorySerialPort(Receiver receiver) : receiver_(std::move(receiver)) {}

void MemorySerialPort::open(const std::string&, const LineSettings&)
{
    if (open_)
        throw PortFailure("already open");
    open_ = true;
}

void MemorySerialPort::setRts(bool) {}

void MemorySerialPort::write(std::string_view bytes)
{
    if (!open_)
        throw PortFailure("not open");
    receiver_(bytes);
}

void MemorySerialPort::close()
{
    open_ = false;
}

} // namespace potpanel
