#pragma once

#include "files.h"
#include "proc_text.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace potpanel {

// Refuses the port because a look failed: what could not be read, and why. Not
// knowing who holds a port is no reason to take it.
[[noreturn]] void cannotLook(const std::string& what, int error);

// A process that went away while being looked at, or that this user may not see.
bool goneOrHidden(int error);

// How this process's PIDs read: as /proc numbers them, and whether it runs in a
// PID namespace of its own (a container, a sandboxed desktop application).
struct OwnPid
{
    // The first number of NSpid: as the namespace /proc was mounted in sees it,
    // the outermost this process can know.
    pid_t pid = 0;
    bool inPidNamespace = false;
};

// The kernel's views of processes and terminals (/proc, and the few /sys files
// read), beneath a root: "" for this system, a saved tree for tests. Each
// look-up reads afresh; a failure to read what must be read throws (cannotLook).
class ProcFiles
{
public:
    explicit ProcFiles(std::string root = {}) : root_(std::move(root)) {}

    // The path under the root.
    std::string path(std::string_view path) const { return root_ + std::string(path); }

    // Every PID /proc lists.
    std::vector<pid_t> processes() const;
    // Nothing for a process that has gone, or that this user may not look at.
    std::optional<ProcessStat> stat(pid_t pid) const;
    // Its name as it set it (/proc/PID/comm), "" if unknown.
    std::string commandName(pid_t pid) const;
    // The names of its open descriptors; an error for one that cannot be listed.
    DirectoryList descriptors(pid_t pid) const;
    // The locks the descriptor holds, from its fdinfo.
    std::vector<LockLine> descriptorLocks(pid_t pid, const std::string& fd) const;
    // Every lock held, by /proc/locks.
    std::vector<LockLine> locks() const;

    std::vector<Console> consoles() const;
    // /sys/class/tty/console/active: the consoles in use, by name.
    std::vector<std::string> activeConsoles() const;
    // Nothing when the list cannot be read.
    std::optional<std::vector<TtyDriver>> ttyDrivers() const;

    // The largest PID the kernel hands out.
    long highestPid() const;
    OwnPid self() const;

private:
    std::string root_;
};

// This system's /proc.
const ProcFiles& systemProc();

} // namespace potpanel
