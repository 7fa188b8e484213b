#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace potpanel {

// Who else has a serial device, as far as /proc tells this user. A look that
// cannot be made (no descriptors left, no memory, /proc unreadable) throws
// PortFailure saying why: not knowing is no reason to take a port.

// Refuses the port because a look failed: what could not be read, and why.
[[noreturn]] void cannotLook(const std::string& what, int error);

// The largest PID the kernel hands out.
long highestPid();

// A process that exists and is not a zombie.
bool isLive(pid_t pid);

// "process 42 (agetty)": the name made printable, since anyone names their processes.
std::string describeProcess(pid_t pid);

// Whether two files are the same: for devices the same device, whatever node
// names it; a pseudo-terminal only within its own devpts instance, since every
// instance (every container) numbers its terminals from 0.
bool sameFile(const struct stat& a, const struct stat& b);

// A process, other than this one, that has the file open or, for a terminal,
// has it as its controlling terminal (a login session, a getty).
struct Holder
{
    enum class How {
        Open,
        // Its open files cannot be seen; its terminal's number says it is this one.
        ControllingTerminal,
    };
    pid_t pid = 0;
    How how = How::Open;
};
std::optional<Holder> processHolding(const struct stat& file);

// One line of /proc/locks: "1: POSIX  ADVISORY  WRITE 4242 00:05:1039 0 EOF".
// A process waiting for a lock ("1: -> FLOCK ...") holds nothing and gives none.
struct LockLine
{
    std::string kind; // FLOCK, POSIX, OFDLCK, ...
    // 0 or less when the kernel does not say, as for OFDLCK or a holder in
    // another PID namespace.
    long pid = 0;
    dev_t filesystem = 0;
    unsigned long inode = 0;
};
std::optional<LockLine> parseLockLine(std::string_view line);

// A lock of any kind on the file (flock, lockf or fcntl, open file description),
// held by another process: its PID, 0 or less if the kernel does not name it.
std::optional<long> lockHolder(const struct stat& file);

// Whether the kernel writes its console to the device, named like "ttyS0".
bool isKernelConsole(const std::string& name, dev_t terminal);

} // namespace potpanel
