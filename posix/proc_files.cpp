#include "proc_files.h"

#include "serial_port.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace potpanel {
namespace {

// The initial PID namespace's inode number, fixed by the kernel (PROC_PID_INIT_INO).
constexpr unsigned long initialPidNamespace = 4026531836;

std::string processPath(pid_t pid, std::string_view file)
{
    return "/proc/" + std::to_string(pid) + '/' + std::string(file);
}

} // namespace

[[noreturn]] void cannotLook(const std::string& what, int error)
{
    std::string remedy = "make /proc readable to this user";
    if (error == EMFILE || error == ENFILE)
        remedy = "allow the program more open files (ulimit -n)";
    else if (error == ENOMEM)
        remedy = "free some memory";
    throw PortFailure("cannot see which programs use the port (" + what + ": " +
                      std::strerror(error) + "), so it is not taken; " + remedy +
                      " and start again");
}

bool goneOrHidden(int error)
{
    return error == ENOENT || error == ESRCH || error == EACCES || error == EPERM;
}

std::vector<pid_t> ProcFiles::processes() const
{
    const DirectoryList list = listDirectory(path("/proc"));
    if (list.error != 0)
        cannotLook("/proc", list.error);
    std::vector<pid_t> pids;
    for (const std::string& name : list.names)
        if (const auto pid = parseNumber<pid_t>(name); pid && *pid > 0)
            pids.push_back(*pid);
    return pids;
}

std::optional<ProcessStat> ProcFiles::stat(pid_t pid) const
{
    const std::string where = processPath(pid, "stat");
    const FileText file = readSmallFile(path(where));
    if (file.error != 0 && !goneOrHidden(file.error))
        cannotLook(where, file.error);
    return file.error == 0 ? parseProcessStat(file.text) : std::nullopt;
}

std::string ProcFiles::commandName(pid_t pid) const
{
    const std::string name = readSmallFile(path(processPath(pid, "comm"))).text;
    return name.substr(0, name.find('\n'));
}

DirectoryList ProcFiles::descriptors(pid_t pid) const
{
    return listDirectory(path(processPath(pid, "fd")));
}

std::vector<LockLine> ProcFiles::descriptorLocks(pid_t pid, const std::string& fd) const
{
    return parseFdinfoLocks(readSmallFile(path(processPath(pid, "fdinfo/" + fd))).text);
}

std::vector<LockLine> ProcFiles::locks() const
{
    const FileText file = readSmallFile(path("/proc/locks"), Trust::System, 64 << 20);
    if (file.error != 0)
        cannotLook("/proc/locks", file.error);
    std::vector<LockLine> locks;
    for (const std::string_view line : lines(file.text))
        if (auto lock = parseLockLine(line))
            locks.push_back(std::move(*lock));
    return locks;
}

std::vector<Console> ProcFiles::consoles() const
{
    const FileText file = readSmallFile(path("/proc/consoles"));
    if (file.error != 0 && file.error != ENOENT)
        cannotLook("/proc/consoles", file.error);
    return parseConsoles(file.text);
}

std::vector<std::string> ProcFiles::activeConsoles() const
{
    // The file's text outlives the views words() returns into it.
    const FileText file = readSmallFile(path("/sys/class/tty/console/active"));
    std::vector<std::string> names;
    for (const std::string_view name : words(file.text))
        names.emplace_back(name);
    return names;
}

std::optional<std::vector<TtyDriver>> ProcFiles::ttyDrivers() const
{
    const FileText file = readSmallFile(path("/proc/tty/drivers"));
    if (file.error != 0)
        return std::nullopt;
    return parseTtyDrivers(file.text);
}

long ProcFiles::highestPid() const
{
    const auto text = readSmallFile(path("/proc/sys/kernel/pid_max")).text;
    const auto highest = parseNumber<long>(text.substr(0, text.find('\n')));
    return highest && *highest > 0 ? *highest : 4194304;
}

OwnPid ProcFiles::self() const
{
    const std::vector<pid_t> pids = parseNsPids(readSmallFile(path("/proc/self/status")).text);
    const auto space = parseNamespaceInode(linkTarget(path("/proc/self/ns/pid")));
    return {pids.empty() ? ::getpid() : pids.front(),
            pids.size() > 1 || (space && *space != initialPidNamespace)};
}

const ProcFiles& systemProc()
{
    static const ProcFiles proc;
    return proc;
}

} // namespace potpanel
