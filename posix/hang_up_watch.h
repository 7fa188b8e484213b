#pragma once

#include <functional>
#include <thread>

namespace potpanel {

// Waits, on a thread of its own, for a terminal to hang up (its USB adapter
// pulled out, its far end closed) and then calls hungUp, once, from that thread.
// It asks poll() for no event at all, which still reports a hang-up or an error:
// bytes arriving on the line never wake it, and nothing is read or written.
// Destroyed before the terminal's descriptor is closed.
class HangUpWatch
{
public:
    // Throws PortFailure when the thread cannot start.
    HangUpWatch(int terminal, std::function<void()> hungUp);
    ~HangUpWatch();

    HangUpWatch(const HangUpWatch&) = delete;
    HangUpWatch& operator=(const HangUpWatch&) = delete;

    // Whether the terminal has hung up by now, asked without waiting.
    static bool hasHungUp(int terminal);

private:
    void run(int terminal, const std::function<void()>& hungUp) const;

    // The watch ends when its own end of this pipe becomes readable.
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace potpanel
