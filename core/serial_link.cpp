#include "serial_link.h"

#include "serial_link_error.h"

namespace potpanel {

std::string serialDevice(int portNumber)
{
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

SerialLink::SerialLink(std::unique_ptr<SerialPort> port, DeviceForPort deviceForPort)
    : port_(std::move(port)), deviceForPort_(std::move(deviceForPort))
{
}

SerialLink::~SerialLink()
{
    if (!isOpen())
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

void SerialLink::requireNotYetOpened(const std::string& action) const
{
    if (state_ == State::Open)
        fail(action, "the port is open; it can only be changed while closed");
    if (state_ != State::NotYetOpened)
        fail(action, "the port has been closed for good");
}

void SerialLink::requireOpen(const std::string& action) const
{
    if (!isOpen())
        fail(action, "the port is not open");
}

void SerialLink::setPortNumber(std::int16_t number)
{
    const std::string action = "cannot set port number " + std::to_string(number);
    requireNotYetOpened(action);
    if (number < 1)
        fail(action, "port numbers start at 1");
    portNumber_ = number;
    device_ = deviceForPort_(number);
}

void SerialLink::setSettings(std::string_view text)
{
    const std::string action = "cannot change the line settings";
    requireNotYetOpened(action);
    try {
        settings_ = parseLineSettings(text);
    } catch (const std::invalid_argument& error) {
        fail(action, error.what());
    }
}

void SerialLink::open()
{
    const std::string action = "cannot open the port";
    requireNotYetOpened(action);
    if (portNumber_ == 0)
        fail(action, "no port number has been set");
    if (!settings_)
        fail(action, "no line settings have been set");
    openPort(action);
}

void SerialLink::reopen()
{
    const std::string action = "cannot connect again";
    if (!isLost())
        fail(action, "the port was not lost");
    openPort(action);
}

void SerialLink::openPort(const std::string& action)
{
    try {
        port_->open(device_, *settings_);
    } catch (const PortFailure& failure) {
        fail(action, failure.what());
    }
    state_ = State::Open;
}

void SerialLink::watch(std::function<void()> mayHaveGone)
{
    port_->watch(std::move(mayHaveGone));
}

bool SerialLink::deviceHasGone()
{
    return isOpen() && port_->hasGone();
}

void SerialLink::letGo()
{
    if (!isOpen())
        return;
    state_ = State::Lost;
    try {
        port_->close();
    } catch (const PortFailure&) {
        // What the dead device still held is lost with it.
    }
}

void SerialLink::setRts(bool on)
{
    const std::string action = on ? "cannot raise RTS" : "cannot lower RTS";
    requireOpen(action);
    try {
        port_->setRts(on);
    } catch (const PortFailure& failure) {
        // The port has closed itself, so that nothing is held while the failure is shown.
        state_ = State::Lost;
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
    } catch (const DeviceGone&) {
        state_ = State::Lost;
        throw DeviceLost(portName(), device_);
    } catch (const PortFailure& failure) {
        // The port has closed itself; nothing more can go out.
        state_ = State::Lost;
        fail(action, failure.what());
    }
}

void SerialLink::close()
{
    if (!isOpen())
        return;
    state_ = State::Closed;
    try {
        port_->close();
    } catch (const PortFailure& failure) {
        fail("cannot close the port", failure.what());
    }
}

} // namespace potpanel
