#include "hang_up_watch.h"

#include "serial_port.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace potpanel {

HangUpWatch::HangUpWatch(int terminal, std::function<void()> hungUp)
{
    if (::pipe2(stop_, O_CLOEXEC) != 0)
        throw PortFailure(std::string("cannot watch the line: ") + std::strerror(errno));
    try {
        thread_ =
            std::thread([this, terminal, hungUp = std::move(hungUp)] { run(terminal, hungUp); });
    } catch (const std::system_error& error) {
        ::close(stop_[0]);
        ::close(stop_[1]);
        throw PortFailure(std::string("cannot watch the line: ") + error.what());
    }
}

HangUpWatch::~HangUpWatch()
{
    ::close(stop_[1]); // wakes the thread, if it is still waiting
    thread_.join();
    ::close(stop_[0]);
}

void HangUpWatch::run(int terminal, const std::function<void()>& hungUp) const
{
    pollfd watched[] = {{terminal, 0, 0}, {stop_[0], POLLIN, 0}};
    for (;;) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return; // nothing left to watch with; a write still finds the loss
        }
        if (watched[1].revents != 0)
            return;
        if (watched[0].revents != 0) {
            // A hang-up stays reported: one call, and the thread is done.
            hungUp();
            return;
        }
    }
}

bool HangUpWatch::hasHungUp(int terminal)
{
    pollfd line{terminal, 0, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace potpanel
