#pragma once

#include "proc_files.h"

#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace potpanel {

// Who else has a serial device, as far as /proc tells this user. A look that
// cannot be made (no descriptors left, no memory, /proc unreadable) throws
// PortFailure saying why (cannotLook).

// What can be told of a process a lock file names.
enum class Liveness {
    Live,
    Ended, // gone, or a zombie
    // Not listed by /proc in a PID namespace: perhaps a process outside it.
    Unseen,
};
Liveness liveness(pid_t pid, const ProcFiles& proc = systemProc());

// "process 42 (agetty)": the name made printable, since anyone names their processes.
std::string describeProcess(pid_t pid, const ProcFiles& proc = systemProc());

// Whether two files are the same: for devices the same device, whatever node
// names it; a pseudo-terminal only within its own devpts instance.
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
std::optional<Holder> processHolding(const struct stat& file, const ProcFiles& proc = systemProc());

// A lock of any kind on the file (flock, lockf or fcntl, open file description),
// held by another process: its PID, 0 or less if the kernel does not name it.
// An open file description's lock names no PID in /proc/locks; its holder is
// the process whose descriptor's fdinfo lists it.
std::optional<long> lockHolder(const struct stat& file, const ProcFiles& proc = systemProc());

} // namespace potpanel
