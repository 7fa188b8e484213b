#include "qt_serial_port.h"

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <termios.h>

namespace potpanel {
namespace {

// How long a line may take no data at all before a write is given up. A real
// line at 9600 baud empties a full 4 KiB kernel buffer in under five seconds.
constexpr int stallLimitMs = 10'000;
// How long one wait for room may sleep before the queue is looked at again.
constexpr int waitSliceMs = 50;

std::string errorText(const QSerialPort& port)
{
    return port.errorString().toStdString();
}

QSerialPort::Parity qtParity(Parity parity)
{
    switch (parity) {
    case Parity::None:
        return QSerialPort::NoParity;
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::One:
        return QSerialPort::OneStop;
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

} // namespace

QtSerialPort::~QtSerialPort()
{
    if (port_.isOpen())
        abandon();
}

void QtSerialPort::open(const std::string& device, const LineSettings& settings)
{
    if (port_.isOpen())
        throw PortFailure("already open");
#ifndef _WIN32
    // termios has no 1.5 stop bits and QSerialPort silently sets 1 instead.
    if (settings.stopBits == StopBits::OneAndHalf)
        throw PortFailure("1.5 stop bits cannot be set on this system's serial ports; use 1 or 2");
#endif
    lock_.emplace(device);

    port_.setPortName(QString::fromStdString(device));
    port_.clearError();
    const bool applied = port_.setBaudRate(settings.baudRate) &&
                         port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
                         port_.setParity(qtParity(settings.parity)) &&
                         port_.setStopBits(qtStopBits(settings.stopBits)) &&
                         port_.setFlowControl(QSerialPort::NoFlowControl);
    // Write-only: nothing is ever read, and a read notifier would only spin on
    // errors of a vanished device.
    if (!applied || !port_.open(QIODevice::WriteOnly)) {
        const std::string cause = errorText(port_);
        lock_.reset();
        throw PortFailure(cause);
    }
}

void QtSerialPort::setRts(bool on)
{
    port_.clearError();
    errno = 0;
    if (port_.setRequestToSend(on))
        return;
    // A pseudo-terminal or a USB adapter without handshake lines cannot do this.
    if (errno == ENOTTY || errno == EINVAL)
        throw PortFailure("the device has no modem-control lines (" + errorText(port_) + ")");
    throw PortFailure(errorText(port_));
}

void QtSerialPort::write(std::string_view bytes)
{
    if (!port_.isOpen())
        throw PortFailure("not open");
    port_.clearError();
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(bytes.data(), size) != size)
        failAndAbandon(errorText(port_));
    drain();
}

void QtSerialPort::drain()
{
    // QSerialPort::write() only queues; its flush() gives up on a full kernel
    // buffer. Wait for room in short slices: a pseudo-terminal does not always
    // wake a writer when its reader makes room, so one long wait could sleep
    // through a line that is moving. Only a line that takes nothing at all for
    // the whole stall limit has failed.
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    while (port_.bytesToWrite() > 0) {
        const qint64 queued = port_.bytesToWrite();
        if (!port_.waitForBytesWritten(waitSliceMs)) {
            if (port_.error() == QSerialPort::ResourceError)
                failAndAbandon("the device has gone (unplugged, or nothing at the far end): " +
                               errorText(port_));
            if (port_.error() != QSerialPort::TimeoutError)
                failAndAbandon(errorText(port_));
            port_.clearError();
        }
        if (port_.bytesToWrite() < queued)
            sinceProgress.restart();
        else if (sinceProgress.hasExpired(stallLimitMs))
            failAndAbandon("the line took no data for " + std::to_string(stallLimitMs / 1000) +
                           " seconds");
    }
}

void QtSerialPort::close()
{
    if (!port_.isOpen())
        return;
    port_.clearError();
    drain();
    // QSerialPort::close() would throw away what the driver still holds.
    if (::tcdrain(static_cast<int>(port_.handle())) != 0 && errno != ENOTTY)
        failAndAbandon("the line did not drain: " + std::string(std::strerror(errno)));
    port_.close();
    lock_.reset();
}

void QtSerialPort::abandon()
{
    port_.close();
    lock_.reset();
}

void QtSerialPort::failAndAbandon(const std::string& cause)
{
    abandon();
    throw PortFailure(cause);
}

} // namespace potpanel
