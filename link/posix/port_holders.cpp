#include "port_holders.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <signal.h>
#include <sstream>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace potpanel {
namespace {

// The fields of /proc/PID/stat after the name, which may itself hold spaces and
// parentheses: state, parent, group, session, terminal, ...
std::istringstream statFields(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(file, text);
    const auto nameEnd = text.rfind(')');
    return std::istringstream(nameEnd == std::string::npos ? std::string()
                                                           : text.substr(nameEnd + 1));
}

// /proc/PID/stat encodes a terminal as the kernel's new_encode_dev does.
dev_t decodeTerminal(unsigned long number)
{
    return makedev((number >> 8) & 0xfff, (number & 0xff) | ((number >> 12) & 0xfff00));
}

} // namespace

long highestPid()
{
    std::ifstream file("/proc/sys/kernel/pid_max");
    long highest = 0;
    return file >> highest && highest > 0 ? highest : 4194304;
}

bool isLive(pid_t pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM))
        return false;
    std::string state;
    statFields(pid) >> state;
    return state != "Z" && state != "X";
}

std::string describeProcess(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    for (char& c : name)
        if (!std::isprint(static_cast<unsigned char>(c)))
            c = '?';
    return "process " + std::to_string(pid) + " (" + (name.empty() ? "unknown" : name) + ")";
}

pid_t controllingProcess(dev_t terminal)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return 0;
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == ::getpid())
            continue;
        std::string state;
        long parent = 0, group = 0, session = 0;
        unsigned long tty = 0;
        if (statFields(static_cast<pid_t>(pid)) >> state >> parent >> group >> session >> tty &&
            tty != 0 && state != "Z" && decodeTerminal(tty) == terminal)
            return static_cast<pid_t>(pid);
    }
    return 0;
}

pid_t flockHolder(const struct stat& device)
{
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind) || kind != "FLOCK")
            continue;
        if (!(fields >> mode >> access >> pid >> where))
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            makedev(major, minor) == device.st_dev && inode == device.st_ino && pid != ::getpid())
            return static_cast<pid_t>(pid);
    }
    return 0;
}

bool isKernelConsole(const std::string& name, dev_t terminal)
{
    // /proc/consoles: "ttyS0  -W- (EC p a)  4:64", one console a line.
    std::ifstream listed("/proc/consoles");
    std::string line;
    while (std::getline(listed, line)) {
        std::istringstream fields(line);
        std::string console, number;
        fields >> console;
        for (std::string word; fields >> word;)
            number = word;
        unsigned major = 0, minor = 0;
        if (console == name || (std::sscanf(number.c_str(), "%u:%u", &major, &minor) == 2 &&
                                makedev(major, minor) == terminal))
            return true;
    }
    // The active consoles by name, space-separated.
    std::ifstream names("/sys/class/tty/console/active");
    for (std::string console; names >> console;)
        if (console == name)
            return true;
    return false;
}

} // namespace potpanel
