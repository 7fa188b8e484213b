#pragma once

#include <QByteArray>
#include <thread>

namespace potpanel {

// A far end that reads a pseudo-terminal's master in small pieces with pauses,
// so a fast writer fills the kernel's buffers and has to wait for room.
class SlowFarEnd
{
public:
    // Reads until `expected` bytes have come, or none came for a few seconds.
    SlowFarEnd(int master, qsizetype expected);
    // Waits for the reader to finish.
    ~SlowFarEnd() = default;

    // Waits for the reader and returns everything it received.
    QByteArray received();
    // The most bytes the kernel held for the reader at one time.
    int mostWaiting();

private:
    void run(int master, qsizetype expected);

    QByteArray received_;
    int mostWaiting_ = 0;
    std::jthread reader_;
};

} // namespace potpanel
