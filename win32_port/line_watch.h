#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace potpanel {

// Looks, on a thread of its own, every quarter of a second whether an open
// port's device has gone (its USB adapter pulled out, its far end closed) and
// then calls gone, once, from that thread. Windows signals no such loss on a
// port's handle that a wait could take without also waking for each byte that
// arrives, so it asks for the port's queues, which fails once the device has gone;
// nothing is read or written. Destroyed before the port's handle is closed.
class LineWatch
{
public:
    // Throws PortFailure when the thread cannot start.
    LineWatch(void* port, std::function<void()> gone);
    ~LineWatch();

    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    // Whether the port's device has gone by now: a status request fails.
    static bool hasGone(void* port);

private:
    struct EventCloser
    {
        void operator()(void* event) const;
    };

    void run(void* port, const std::function<void()>& gone) const;

    // Set to end the watch at once.
    std::unique_ptr<void, EventCloser> stop_;
    std::thread thread_;
};

} // namespace potpanel
