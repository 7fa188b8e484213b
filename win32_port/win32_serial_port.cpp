#include "win32_serial_port.h"

#include "wide_text.h"

#include <chrono>
#include <thread>
#include <windows.h>

namespace potpanel {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string openFailure(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such port";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
    case ERROR_LOCK_VIOLATION: // what Wine says of a device another program holds exclusively
        return "in use by another program: " + systemErrorText(error) +
               "; close that program, then start the panel again";
    default:
        return systemErrorText(error);
    }
}

// A write that fails like this has lost its device, not just one frame.
bool deviceGone(DWORD error)
{
    switch (error) {
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY: // what Wine says when the far end of a terminal has gone
        return true;
    default:
        return false;
    }
}

} // namespace

void Win32SerialPort::HandleCloser::operator()(void* handle) const
{
    ::CloseHandle(handle);
}

void Win32SerialPort::open(const std::string& device, const LineSettings& settings)
{
    if (handle_)
        throw PortFailure("already open");
    const std::wstring path =
        device.starts_with("\\\\.\\") ? toWide(device) : L"\\\\.\\" + toWide(device);
    // Wine refuses serial requests on a handle opened for writing alone, so it
    // is opened for reading too, though nothing is read.
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw PortFailure(openFailure(::GetLastError()));
    handle_.reset(handle);
    configure(settings);
    if (mayHaveGone_) {
        try {
            watch_.emplace(handle_.get(), mayHaveGone_);
        } catch (const PortFailure& failure) {
            failAndRelease(failure.what());
        }
    }
}

void Win32SerialPort::configure(const LineSettings& settings)
{
    DCB line{};
    line.DCBlength = sizeof line;
    if (!::GetCommState(handle_.get(), &line))
        failAndRelease("not a serial port: " + systemErrorText(::GetLastError()));
    constexpr BYTE parities[] = {NOPARITY, EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY};
    constexpr BYTE stopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
    line.BaudRate = DWORD(settings.baudRate);
    line.ByteSize = BYTE(settings.dataBits);
    line.Parity = parities[int(settings.parity)];
    line.StopBits = stopBits[int(settings.stopBits)];
    line.fBinary = TRUE;
    line.fParity = settings.parity != Parity::None;
    // No flow control of any kind, whatever an earlier program left set.
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fTXContinueOnXoff = TRUE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fAbortOnError = FALSE;
    // DTR goes up with the open, as on every system; RTS waits for setRts.
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    if (!::SetCommState(handle_.get(), &line))
        failAndRelease("cannot apply the line settings " + toString(settings) + ": " +
                       systemErrorText(::GetLastError()));

    // Reads return at once (nothing is read); a write gives up at the limit.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = DWORD(std::chrono::milliseconds(writeLimit).count());
    if (!::SetCommTimeouts(handle_.get(), &timeouts))
        failAndRelease("cannot set the port's timeouts: " + systemErrorText(::GetLastError()));

    characterMicroseconds_ = characterMicroseconds(settings);
}

void Win32SerialPort::setRts(bool on)
{
    if (!handle_)
        throw PortFailure("not open");
    if (!::EscapeCommFunction(handle_.get(), on ? SETRTS : CLRRTS))
        failAndRelease(systemErrorText(::GetLastError()));
}

void Win32SerialPort::write(std::string_view bytes)
{
    if (!handle_)
        throw PortFailure("not open");
    DWORD written = 0;
    if (!::WriteFile(handle_.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr)) {
        const DWORD error = ::GetLastError();
        if (deviceGone(error)) {
            release(); // nothing is left to drop on a device that has gone
            throw DeviceGone(systemErrorText(error));
        }
        if (error != ERROR_TIMEOUT && error != WAIT_TIMEOUT)
            failAndRelease(systemErrorText(error));
    }
    // The write timeout ends a write early, with less written.
    if (written < bytes.size())
        failAndRelease(writeTimedOut(bytes.size() - written));
}

std::size_t Win32SerialPort::queuedBytes() const
{
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(handle_.get(), &errors, &status) ? status.cbOutQue : 0;
}

void Win32SerialPort::close()
{
    if (!handle_)
        return;
    // FlushFileBuffers could wait for ever on a stuck transmitter; wait only as
    // long as the queue needs on the wire, and a little more.
    const auto deadline = Clock::now() +
                          std::chrono::microseconds(queuedBytes() * characterMicroseconds_) +
                          drainMargin;
    while (queuedBytes() > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    const std::size_t unsent = queuedBytes();
    if (unsent > 0)
        ::PurgeComm(handle_.get(), PURGE_TXABORT | PURGE_TXCLEAR);
    release();
    if (unsent > 0)
        throw PortFailure(drainTimedOut(unsent));
}

void Win32SerialPort::watch(std::function<void()> mayHaveGone)
{
    mayHaveGone_ = std::move(mayHaveGone);
}

bool Win32SerialPort::hasGone()
{
    return handle_ && LineWatch::hasGone(handle_.get());
}

void Win32SerialPort::failAndRelease(const std::string& cause)
{
    ::PurgeComm(handle_.get(), PURGE_TXABORT | PURGE_TXCLEAR);
    release();
    throw PortFailure(cause);
}

void Win32SerialPort::release()
{
    watch_.reset();
    handle_.reset();
}

} // namespace potpanel
