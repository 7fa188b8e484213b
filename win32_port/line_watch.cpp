#include "line_watch.h"

#include "serial_port.h"
#include "wide_text.h"

#include <system_error>
#include <windows.h>

namespace potpanel {
namespace {

// Well within the second an operator waits for the news, and rare enough to cost nothing.
constexpr DWORD lookEvery = 250;

} // namespace

void LineWatch::EventCloser::operator()(void* event) const
{
    ::CloseHandle(event);
}

LineWatch::LineWatch(void* port, std::function<void()> gone)
    : stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    if (!stop_)
        throw PortFailure("cannot watch the line: " + systemErrorText(::GetLastError()));
    try {
        thread_ = std::thread([this, port, gone = std::move(gone)] { run(port, gone); });
    } catch (const std::system_error& error) {
        throw PortFailure(std::string("cannot watch the line: ") + error.what());
    }
}

LineWatch::~LineWatch()
{
    ::SetEvent(stop_.get());
    thread_.join();
}

void LineWatch::run(void* port, const std::function<void()>& gone) const
{
    while (::WaitForSingleObject(stop_.get(), lookEvery) == WAIT_TIMEOUT) {
        if (hasGone(port)) {
            // A lost device stays lost: one call, and the thread is done.
            gone();
            return;
        }
    }
}

bool LineWatch::hasGone(void* port)
{
    // A serial driver answers for its queues as long as its device is there; Wine
    // asks the terminal, which fails once hung up. The modem lines are no such
    // test: a driver may have none to give.
    DWORD errors = 0;
    COMSTAT status{};
    return !::ClearCommError(port, &errors, &status);
}

} // namespace potpanel
