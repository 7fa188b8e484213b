#include "slow_far_end.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace potpanel {
namespace {

// Small, odd-sized reads so that frames are split across them.
constexpr int pieceSize = 97;
constexpr auto pause = std::chrono::microseconds(200);
constexpr int patienceMs = 5'000;

} // namespace

SlowFarEnd::SlowFarEnd(int master, qsizetype expected)
    : reader_([this, master, expected] { run(master, expected); })
{
}

void SlowFarEnd::run(int master, qsizetype expected)
{
    char piece[pieceSize];
    while (received_.size() < expected) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, patienceMs) <= 0)
            return;
        int waiting = 0;
        if (::ioctl(master, FIONREAD, &waiting) == 0)
            mostWaiting_ = std::max(mostWaiting_, waiting);
        const ssize_t got = ::read(master, piece, sizeof piece);
        if (got <= 0)
            return;
        received_.append(piece, got);
        std::this_thread::sleep_for(pause);
    }
}

QByteArray SlowFarEnd::received()
{
    if (reader_.joinable())
        reader_.join();
    return received_;
}

int SlowFarEnd::mostWaiting()
{
    if (reader_.joinable())
        reader_.join();
    return mostWaiting_;
}

} // namespace potpanel
