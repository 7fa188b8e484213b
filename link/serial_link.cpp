#include "serial_link.h"

#include "serial_link_error.h"

namespace potpanel {

std::string platformDevice(int portNumber)
{
#ifdef _WIN32
    return "COM" + std::to_string(portNumber);
#else
    return "/dev/ttyS" + std::to_string(portNumber - 1);
#endif
}

SerialLink::SerialLink(std::unique_ptr<SerialPort> port, DeviceForPort deviceForPort)
    : port_(std::move(port)), deviceForPort_(std::move(deviceForPort))
{
}

SerialLink::~SerialLink()
{
    if (!open_)
        return;
    try {
        port_->close();
    } catch (const PortFailure&) {
        // Nobody is left to tell; the operating system releases the device.
    }
}

std::string SerialLink::portName() const
{
    return portNumber_ > 0 ? "COM" + std::to_string(portNumber_) : std::string();
}

void SerialLink::fail(const std::string& action, const std::string& cause) const
{
    throw SerialLinkError(portName(), device_, action, cause);
}

void SerialLink::requireClosed(const std::string& action) const
{
    if (open_)
        fail(action, "the port is open; it can only be changed while closed");
}

void SerialLink::requireOpen(const std::string& action) const
{
    if (!open_)
        fail(action, "the port is not open");
}

void SerialLink::setPortNumber(std::int16_t number)
{
    const std::string action = "cannot set port number " + std::to_string(number);
    requireClosed(action);
    if (number < 1)
        fail(action, "port numbers start at 1");
    portNumber_ = number;
    device_ = deviceForPort_(number);
}

void SerialLink::setSettings(std::string_view text)
{
    requireClosed("cannot change the line settings");
    try {
        settings_ = parseLineSettings(text);
    } catch (const std::invalid_argument& error) {
        fail("cannot change the line settings", error.what());
    }
}

void SerialLink::open()
{
    const std::string action = "cannot open the port";
    if (open_)
        fail(action, "it is already open");
    if (portNumber_ == 0)
        fail(action, "no port number has been set");
    if (!settings_)
        fail(action, "no line settings have been set");
    try {
        port_->open(device_, *settings_);
    } catch (const PortFailure& failure) {
        fail(action, failure.what());
    }
    open_ = true;
}

void SerialLink::setRts(bool on)
{
    const std::string action = on ? "cannot raise RTS" : "cannot lower RTS";
    requireOpen(action);
    try {
        port_->setRts(on);
    } catch (const PortFailure& failure) {
        fail(action, failure.what());
    }
}

void SerialLink::setReceiveThreshold(std::int16_t threshold)
{
    const std::string action = "cannot set receive threshold " + std::to_string(threshold);
    requireOpen(action);
    if (threshold < 0)
        fail(action, "it cannot be negative");
}

void SerialLink::write(std::string_view text)
{
    const std::string action = "cannot write to the port";
    requireOpen(action);
    try {
        port_->write(text);
    } catch (const PortFailure& failure) {
        // The port has closed itself; nothing more can go out.
        open_ = false;
        fail(action, failure.what());
    }
}

void SerialLink::close()
{
    if (!open_)
        return;
    open_ = false;
    try {
        port_->close();
    } catch (const PortFailure& failure) {
        fail("cannot close the port", failure.what());
    }
}

} // namespace potpanel
