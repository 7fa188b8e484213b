#pragma once

#include "hang_up_watch.h"
#include "lock_file_claim.h"
#include "lock_keeper.h"
#include "serial_port.h"

#include <future>
#include <optional>

namespace potpanel {

// A serial port on a POSIX terminal device, claimed for this process alone.
//
// The claim is made in this order, each step only once the one before holds:
//  1. the look (look.h): nobody else has the device open, locked, as a login's
//     or the kernel's console, or by a UUCP lock file under any of its names;
//  2. the lock file (LockFileClaim), its keeper told to remove it should the
//     process die unannounced; a stale one is cleared first;
//  3. the open, refused when the device is in exclusive mode already;
//  4. a flock on the device;
//  5. exclusive mode (TIOCEXCL), so that others' opens fail whatever they honour;
//  then the line is set raw at the settings asked for, and a HangUpWatch waits
//  for the device to go. It is all given up in the reverse order, on close, on
//  a failure and when the port is destroyed. A refusal before step 4 leaves the
//  device exactly as it was found: no flush, no settings, no modem lines.
//
// The look runs on a thread of its own when begun by lookAhead(), so everything
// it calls (lookForHolders and below: port_holders, terminals, lock_file,
// proc_files, files, accounts) keeps to reentrant calls and touches nothing.
//
// Words: the *look* is the search for other holders; a *holder* is a process
// that has the device open, locked or as its terminal, or a live one a lock
// file names; the *claim* is everything this port holds the device by (lock
// file, flock, exclusive mode); the *keeper* is the small child that removes
// the lock file after a crash; a file moved *aside* is renamed beside itself
// where nobody else looks, to be judged or removed without a race.
//
// Its waits are bounded: a write gives up writeLimit after it started, and
// closing waits at most for what is still queued at the line's speed, plus
// drainMargin. A port still open when the process exits (the display went
// away, say) is closed on the way out like any other.
class PosixSerialPort final : public SerialPort
{
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // Begins the look for other holders of the device, and starts the lock
    // file's keeper, ahead of open(): the look then runs on its own thread while
    // the program does other work. Call it early, before other threads start.
    void lookAhead(const std::string& device);

    void open(const std::string& device, const LineSettings& settings) override;
    void setRts(bool on) override;
    void write(std::string_view bytes) override;
    void close() override;
    void watch(std::function<void()> mayHaveGone) override;
    bool hasGone() override;

private:
    void beginLook(const std::string& device, std::launch how);
    // Gives up the claim and closes the device.
    void release();
    // Drops what this port still has queued, when the device is its own, and releases.
    [[noreturn]] void failAndRelease(const std::string& cause);

    std::string lookedAt_;
    std::future<void> look_;
    std::optional<LockKeeper> keeper_;
    std::optional<LockFileClaim> lockFile_;
    int fd_ = -1;
    std::function<void()> mayHaveGone_;
    std::optional<HangUpWatch> watch_;
    // Whether the device is this port's alone (flocked), so that its queue is
    // this port's to drop.
    bool claimed_ = false;
    // Whether this port put the device in exclusive mode, to be cleared on release.
    bool setExclusive_ = false;
    long characterMicroseconds_ = 0;
};

} // namespace potpanel
