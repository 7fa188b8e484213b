#include "proc_text.h"

#include <algorithm>
#include <sys/sysmacros.h>

namespace potpanel {
namespace {

// "00:05" or "4:64", the halves in the given base.
std::optional<dev_t> parseDeviceNumber(std::string_view text, int base)
{
    const auto colon = text.find(':');
    const auto major = parseNumber<unsigned>(text.substr(0, colon), base);
    const auto minor = colon == std::string_view::npos
                           ? std::nullopt
                           : parseNumber<unsigned>(text.substr(colon + 1), base);
    if (!major || !minor)
        return std::nullopt;
    return makedev(*major, *minor);
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> found;
    for (std::size_t at = 0;
         (at = line.find_first_not_of(" \t\n", at)) != std::string_view::npos;) {
        const auto end = std::min(line.find_first_of(" \t\n", at), line.size());
        found.push_back(line.substr(at, end - at));
        at = end;
    }
    return found;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> found;
    while (!text.empty()) {
        const auto end = text.find('\n');
        found.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return found;
}

std::optional<LockLine> parseLockLine(std::string_view line)
{
    // number, kind, mode, access, PID, device:inode, start, end
    const auto fields = words(line);
    if (fields.size() < 6 || fields[1] == "->")
        return std::nullopt;
    const auto pid = parseNumber<long>(fields[4]);
    const auto where = fields[5].rfind(':');
    const auto filesystem = parseDeviceNumber(fields[5].substr(0, where), 16);
    const auto inode = where == std::string_view::npos
                           ? std::nullopt
                           : parseNumber<unsigned long>(fields[5].substr(where + 1));
    if (!pid || !filesystem || !inode)
        return std::nullopt;
    return LockLine{std::string(fields[1]), *pid, *filesystem, *inode};
}

std::vector<LockLine> parseFdinfoLocks(std::string_view text)
{
    std::vector<LockLine> locks;
    for (const std::string_view line : lines(text))
        if (line.starts_with("lock:"))
            if (auto lock = parseLockLine(line.substr(5)))
                locks.push_back(std::move(*lock));
    return locks;
}

std::vector<Console> parseConsoles(std::string_view text)
{
    std::vector<Console> consoles;
    for (const std::string_view line : lines(text)) {
        const auto fields = words(line);
        if (fields.empty())
            continue;
        // The flags in between may be blank; the device number comes last.
        consoles.push_back({std::string(fields.front()), fields.size() > 1
                                                             ? parseDeviceNumber(fields.back(), 10)
                                                             : std::nullopt});
    }
    return consoles;
}

std::vector<TtyDriver> parseTtyDrivers(std::string_view text)
{
    // name, device path, major, minor or range of minors, type
    std::vector<TtyDriver> drivers;
    for (const std::string_view line : lines(text)) {
        const auto fields = words(line);
        if (fields.size() < 5)
            continue;
        const auto dash = fields[3].find('-');
        const auto major = parseNumber<unsigned>(fields[2]);
        const auto first = parseNumber<unsigned>(fields[3].substr(0, dash));
        const auto last = dash == std::string_view::npos
                              ? first
                              : parseNumber<unsigned>(fields[3].substr(dash + 1));
        if (major && first && last)
            drivers.push_back({*major, *first, *last, std::string(fields[4])});
    }
    return drivers;
}

std::optional<ProcessStat> parseProcessStat(std::string_view text)
{
    const auto nameEnd = text.rfind(')');
    if (nameEnd == std::string_view::npos)
        return std::nullopt;
    // state, parent, group, session, terminal
    const auto fields = words(text.substr(nameEnd + 1));
    if (fields.size() < 5 || fields[0].size() != 1)
        return std::nullopt;
    const auto terminal = parseNumber<unsigned long>(fields[4]);
    if (!terminal)
        return std::nullopt;
    return ProcessStat{fields[0][0], *terminal != 0 ? decodeTerminal(*terminal) : 0};
}

dev_t decodeTerminal(unsigned long number)
{
    return makedev((number >> 8) & 0xfff, (number & 0xff) | ((number >> 12) & 0xfff00));
}

std::vector<pid_t> parseNsPids(std::string_view status)
{
    std::vector<pid_t> pids;
    for (const std::string_view line : lines(status)) {
        if (!line.starts_with("NSpid:"))
            continue;
        for (const std::string_view word : words(line.substr(6))) {
            const auto pid = parseNumber<pid_t>(word);
            if (!pid)
                return {};
            pids.push_back(*pid);
        }
    }
    return pids;
}

std::optional<unsigned long> parseNamespaceInode(std::string_view link)
{
    const auto open = link.find(":[");
    if (open == std::string_view::npos || !link.ends_with(']'))
        return std::nullopt;
    return parseNumber<unsigned long>(link.substr(open + 2, link.size() - open - 3));
}

LockFileText parseLockFileText(std::string_view text, long highestPid)
{
    // A writer creates the file first and writes its PID after: give it time.
    if (text.find('\n') == std::string_view::npos &&
        text.find_first_not_of(" 0123456789") == std::string_view::npos)
        return {LockFileText::Kind::Unfinished, 0, {}};
    const auto all = lines(text);
    const auto pid = parseNumber<long>(trimmed(all.empty() ? std::string_view() : all[0]));
    if (!pid || *pid < 1 || *pid > highestPid)
        return {};
    return {LockFileText::Kind::Process, static_cast<pid_t>(*pid),
            all.size() > 1 ? std::string(trimmed(all[1])) : std::string()};
}

} // namespace potpanel
