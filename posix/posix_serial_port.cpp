#include "posix_serial_port.h"

#include "access_advice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace potpanel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A pseudo-terminal does not always wake a writer when its reader makes room, so
// no single wait is longer than this.
constexpr auto waitSlice = 50ms;

struct Speed
{
    std::int32_t baud;
    speed_t code;
};

constexpr Speed speeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::string errorText(int error = errno)
{
    return std::strerror(error);
}

std::string openFailure(const std::string& device, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return permissionDenied(device);
    case EBUSY:
        return "in use by another program, which opened it exclusively";
    case ENXIO:
    case ENODEV:
    case EIO:
        return "no hardware answers behind the device (" + errorText(error) + ")";
    default:
        return errorText(error);
    }
}

// Bytes the driver still holds for the line.
int queuedBytes(int fd)
{
    int queued = 0;
    return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

// Every port still open, so that an exit from deep inside the window system
// (the display connection broke) still drains, closes and unlocks them.
std::vector<PosixSerialPort*>& openPorts()
{
    static std::vector<PosixSerialPort*> ports;
    return ports;
}

extern "C" void closeOpenPortsAtExit()
{
    while (!openPorts().empty()) {
        try {
            openPorts().back()->close();
        } catch (const PortFailure&) {
            // Too late to tell anyone; the port is closed all the same.
        }
    }
}

void track(PosixSerialPort* port)
{
    // The list first: exit handlers run in reverse, so it outlives the handler.
    std::vector<PosixSerialPort*>& ports = openPorts();
    static const bool registered = std::atexit(closeOpenPortsAtExit) == 0;
    (void)registered;
    ports.push_back(port);
}

void untrack(PosixSerialPort* port)
{
    std::erase(openPorts(), port);
}

} // namespace

PosixSerialPort::~PosixSerialPort()
{
    if (fd_ >= 0)
        release();
}

void PosixSerialPort::lookAhead(const std::string& device)
{
    // Forked now, while the program is small and has one thread. Should either
    // fail to start, open() tries again and says why.
    try {
        keeper_.emplace(lockFilePath(device));
        lookedAt_ = device;
        look_ = std::async(std::launch::async, lookForHolders, device);
    } catch (const std::exception&) {
        keeper_.reset();
    }
}

void PosixSerialPort::open(const std::string& device, const LineSettings& settings)
{
    if (fd_ >= 0)
        throw PortFailure("already open");
    try {
        if (look_.valid() && lookedAt_ == device)
            look_.get();
        else
            lookForHolders(device);
        if (!keeper_ || keeper_->lockPath() != lockFilePath(device))
            keeper_.emplace(lockFilePath(device));
        claim_.emplace(*keeper_, device);
    } catch (const PortFailure&) {
        keeper_.reset();
        throw;
    }
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        claim_.reset();
        keeper_.reset();
        throw PortFailure(openFailure(device, error));
    }
    track(this);
    // Until it is this port's alone, a refusal changes nothing of the holder's:
    // no flush, no settings, no modem lines, and its exclusive mode stays.
    if (!::isatty(fd_))
        failAndRelease("not a serial device");
    // Root opens a port in exclusive mode all the same; the mode says someone holds it.
    if (int exclusive = 0; ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive)
        failAndRelease("in use by another program, which opened it exclusively");
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        // Taken since the look before the open, or by a program the look cannot see.
        const int error = errno;
        failAndRelease(error == EWOULDBLOCK
                           ? std::string("in use by another program, which has locked the device")
                           : "cannot lock the device: " + errorText(error));
    }
    // Other programs that open the device now get EBUSY, whatever locks they honour.
    exclusive_ = ::ioctl(fd_, TIOCEXCL) == 0;
    configure(settings);
}

void PosixSerialPort::configure(const LineSettings& settings)
{
    const auto speed = std::ranges::find(speeds, settings.baudRate, &Speed::baud);
    if (speed == std::end(speeds))
        failAndRelease("the speed " + std::to_string(settings.baudRate) +
                       " is not one this system's serial ports know");
    if (settings.stopBits == StopBits::OneAndHalf)
        failAndRelease("1.5 stop bits cannot be set on this system's serial ports; use 1 or 2");

    termios line{};
    if (::tcgetattr(fd_, &line) != 0)
        failAndRelease("cannot read the line settings: " + errorText());
    ::cfmakeraw(&line);
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= CLOCAL | CREAD;
    constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    line.c_cflag |= sizes[settings.dataBits - 5];
    switch (settings.parity) {
    case Parity::None:
        break;
    case Parity::Even:
        line.c_cflag |= PARENB;
        break;
    case Parity::Odd:
        line.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Mark:
        line.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        line.c_cflag |= PARENB | CMSPAR;
        break;
    }
    if (settings.stopBits == StopBits::Two)
        line.c_cflag |= CSTOPB;
    ::cfsetispeed(&line, speed->code);
    ::cfsetospeed(&line, speed->code);
    if (::tcsetattr(fd_, TCSANOW, &line) != 0)
        failAndRelease("cannot apply the line settings " + toString(settings) + ": " + errorText());

    // Start bit, data, parity and stop bits.
    const int bits = 1 + settings.dataBits + (settings.parity != Parity::None ? 1 : 0) +
                     (settings.stopBits == StopBits::Two ? 2 : 1);
    characterMicroseconds_ = 1'000'000L * bits / settings.baudRate + 1;
}

void PosixSerialPort::setRts(bool on)
{
    if (fd_ < 0)
        throw PortFailure("not open");
    int bits = TIOCM_RTS;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return;
    // The port is let go before anyone is told, so that it is not held while a
    // message waits. A pseudo-terminal or an adapter without handshake lines
    // cannot do this.
    if (errno == ENOTTY || errno == EINVAL)
        failAndRelease("the device has no modem-control lines (" + errorText() + ")");
    failAndRelease(errorText());
}

void PosixSerialPort::write(std::string_view bytes)
{
    if (fd_ < 0)
        throw PortFailure("not open");
    const auto deadline = Clock::now() + writeLimit;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV)
                failAndRelease("the device has gone (unplugged, or nothing at the far end): " +
                               errorText());
            failAndRelease(errorText());
        }
        const auto now = Clock::now();
        if (now >= deadline)
            failAndRelease("the line took too little for " +
                           std::to_string(std::chrono::seconds(writeLimit).count()) + " seconds; " +
                           std::to_string(bytes.size()) + " bytes were not sent");
        pollfd room{fd_, POLLOUT, 0};
        const auto wait = std::min<Clock::duration>(waitSlice, deadline - now);
        ::poll(&room, 1,
               static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
    }
}

void PosixSerialPort::close()
{
    if (fd_ < 0)
        return;
    // tcdrain() could wait for ever on a stuck transmitter; wait only as long as
    // the queue needs on the wire, and a little more.
    const auto deadline = Clock::now() +
                          std::chrono::microseconds(queuedBytes(fd_) * characterMicroseconds_) +
                          drainMargin;
    while (queuedBytes(fd_) > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int unsent = queuedBytes(fd_);
    if (unsent > 0)
        ::tcflush(fd_, TCOFLUSH);
    release();
    if (unsent > 0)
        throw PortFailure("the line did not drain in time; " + std::to_string(unsent) +
                          " bytes were not sent");
}

void PosixSerialPort::release()
{
    if (exclusive_)
        ::ioctl(fd_, TIOCNXCL);
    exclusive_ = false;
    ::close(fd_);
    fd_ = -1;
    claim_.reset();
    keeper_.reset();
    untrack(this);
}

void PosixSerialPort::failAndRelease(const std::string& cause)
{
    if (exclusive_)
        ::tcflush(fd_, TCOFLUSH);
    release();
    throw PortFailure(cause);
}

} // namespace potpanel
