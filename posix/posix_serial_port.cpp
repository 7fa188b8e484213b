#include "posix_serial_port.h"

#include "access_advice.h"
#include "line_termios.h"
#include "lock_file.h"
#include "look.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace potpanel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A pseudo-terminal does not always wake a writer when its reader makes room, so
// no single wait is longer than this.
constexpr auto waitSlice = 50ms;

constexpr const char* openedExclusively = "in use by another program, which opened it exclusively";

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
        return openedExclusively;
    case ENOENT:
        return "no such device"; // as the look says, had it been gone already
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

// The port open now, so that an exit from deep inside the window system (the
// display connection broke) still drains, closes and unlocks it.
PosixSerialPort* openPort = nullptr;

extern "C" void closeOpenPortAtExit()
{
    try {
        if (openPort)
            openPort->close();
    } catch (const PortFailure&) {
        // Too late to tell anyone; the port is closed all the same.
    }
}

} // namespace

PosixSerialPort::~PosixSerialPort()
{
    if (fd_ >= 0)
        release();
}

void PosixSerialPort::lookAhead(const std::string& device)
{
    // Forked now, while the program is small and has one thread. Should it fail
    // to start, open() tries again and says why.
    try {
        keeper_.emplace(lockFilePath(device));
    } catch (const PortFailure&) {
        keeper_.reset();
    }
    try {
        beginLook(device, std::launch::async);
    } catch (const std::system_error&) {
        look_ = {}; // no thread to spare: open() looks itself
    }
}

void PosixSerialPort::beginLook(const std::string& device, std::launch how)
{
    lookedAt_ = device;
    look_ = std::async(how, lookForHolders, device);
}

void PosixSerialPort::open(const std::string& device, const LineSettings& settings)
{
    if (fd_ >= 0)
        throw PortFailure("already open");
    if (!look_.valid() || lookedAt_ != device)
        beginLook(device, std::launch::deferred);
    try {
        look_.get();
        if (!keeper_ || keeper_->lockPath() != lockFilePath(device))
            keeper_.emplace(lockFilePath(device));
        lockFile_.emplace(*keeper_, device);
    } catch (const PortFailure&) {
        keeper_.reset();
        throw;
    }
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        lockFile_.reset();
        keeper_.reset();
        throw PortFailure(openFailure(device, error));
    }
    static const bool closesAtExit = std::atexit(closeOpenPortAtExit) == 0;
    (void)closesAtExit;
    openPort = this;
    if (!::isatty(fd_))
        failAndRelease("not a serial device");
    // Root opens a port in exclusive mode all the same; the mode says someone holds it.
    if (int exclusive = 0; ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive)
        failAndRelease(openedExclusively);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        // Taken since the look, or by a program the look cannot see.
        const int error = errno;
        failAndRelease(error == EWOULDBLOCK
                           ? std::string("in use by another program, which has locked the device")
                           : "cannot lock the device: " + errorText(error));
    }
    claimed_ = true;
    setExclusive_ = ::ioctl(fd_, TIOCEXCL) == 0;

    termios was{};
    if (::tcgetattr(fd_, &was) != 0)
        failAndRelease("cannot read the line settings: " + errorText());
    termios line{};
    try {
        line = rawLine(was, settings);
    } catch (const PortFailure& failure) {
        failAndRelease(failure.what());
    }
    if (::tcsetattr(fd_, TCSANOW, &line) != 0)
        failAndRelease("cannot apply the line settings " + toString(settings) + ": " + errorText());
    characterMicroseconds_ = characterMicroseconds(settings);
    if (mayHaveGone_) {
        try {
            watch_.emplace(fd_, mayHaveGone_);
        } catch (const PortFailure& failure) {
            failAndRelease(failure.what());
        }
    }
}

void PosixSerialPort::watch(std::function<void()> mayHaveGone)
{
    mayHaveGone_ = std::move(mayHaveGone);
}

bool PosixSerialPort::hasGone()
{
    return fd_ >= 0 && HangUpWatch::hasHungUp(fd_);
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
        if (written < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) {
            const int error = errno;
            release(); // nothing is left to drop on a device that has gone
            throw DeviceGone(errorText(error));
        }
        if (written < 0 && errno != EAGAIN)
            failAndRelease(errorText());
        const auto now = Clock::now();
        if (now >= deadline)
            failAndRelease(writeTimedOut(bytes.size()));
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
        std::this_thread::sleep_for(10ms);
    const int unsent = queuedBytes(fd_);
    if (unsent > 0)
        ::tcflush(fd_, TCOFLUSH);
    release();
    if (unsent > 0)
        throw PortFailure(drainTimedOut(static_cast<std::size_t>(unsent)));
}

void PosixSerialPort::release()
{
    watch_.reset(); // before the descriptor it polls is closed
    if (setExclusive_)
        ::ioctl(fd_, TIOCNXCL);
    setExclusive_ = claimed_ = false;
    ::close(fd_);
    fd_ = -1;
    lockFile_.reset();
    keeper_.reset();
    if (openPort == this)
        openPort = nullptr;
}

void PosixSerialPort::failAndRelease(const std::string& cause)
{
    if (claimed_)
        ::tcflush(fd_, TCOFLUSH);
    release();
    throw PortFailure(cause);
}

} // namespace potpanel
