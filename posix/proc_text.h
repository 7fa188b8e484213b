#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace potpanel {

// The texts the kernel writes in /proc and /sys, and those other programs write
// in lock files, read as pure functions of their text: no I/O, so each can be
// tried on any text.

// A whole decimal (or, with base 16, hexadecimal) number and nothing else.
template <typename Number> std::optional<Number> parseNumber(std::string_view text, int base = 10)
{
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

// The words of a line, as separated by blanks.
std::vector<std::string_view> words(std::string_view line);

// The lines of a text, without their newlines.
std::vector<std::string_view> lines(std::string_view text);

// One lock of /proc/locks, or of a "lock:" line of /proc/PID/fdinfo/FD:
// "1: POSIX  ADVISORY  WRITE 4242 00:05:1039 0 EOF". A waiter ("1: -> FLOCK ...")
// holds nothing and gives none.
struct LockLine
{
    std::string kind; // FLOCK, POSIX, OFDLCK, ...
    // 0 or less when the kernel does not say, as for OFDLCK or a holder in
    // another PID namespace.
    long pid = 0;
    dev_t filesystem = 0;
    unsigned long inode = 0;
    bool operator==(const LockLine&) const = default;
};
std::optional<LockLine> parseLockLine(std::string_view line);

// The locks an fdinfo file lists on its "lock:\t" lines.
std::vector<LockLine> parseFdinfoLocks(std::string_view text);

// /proc/consoles: "ttyS0  -W- (EC p a)  4:64", one console a line.
struct Console
{
    std::string name;
    std::optional<dev_t> device;
};
std::vector<Console> parseConsoles(std::string_view text);

// /proc/tty/drivers: "serial  /dev/ttyS  4 64-95 serial", one driver a line.
struct TtyDriver
{
    unsigned major = 0;
    unsigned firstMinor = 0;
    unsigned lastMinor = 0;
    std::string type; // serial, pty:slave, system:console, ...
};
std::vector<TtyDriver> parseTtyDrivers(std::string_view text);

// The fields of /proc/PID/stat this program reads, after the name (which may
// itself hold spaces and parentheses): the state and the controlling terminal.
struct ProcessStat
{
    char state = '?';
    // As the kernel's new_encode_dev encodes it; 0 for none.
    dev_t terminal = 0;
    // A zombie (Z) or a dead process (X) holds nothing.
    bool ended() const { return state == 'Z' || state == 'X'; }
    bool operator==(const ProcessStat&) const = default;
};
std::optional<ProcessStat> parseProcessStat(std::string_view text);

// /proc/PID/stat's encoding of a terminal's device number.
dev_t decodeTerminal(unsigned long number);

// The "NSpid:" line of /proc/PID/status: the process's PID in each namespace
// from the one /proc was mounted in to its own.
std::vector<pid_t> parseNsPids(std::string_view status);

// The inode number in a namespace link's text, "pid:[4026531836]".
std::optional<unsigned long> parseNamespaceInode(std::string_view link);

// What a lock file's text says: a PID in its first line, in ten columns or not,
// and perhaps the program on the second, as Qt's lock files carry it.
struct LockFileText
{
    enum class Kind {
        Process,        // pid names a process, live or not
        Unfinished,     // empty, or a PID without its newline: perhaps still being written
        NamesNoProcess, // no PID in 1..highestPid can be read from it
    };
    Kind kind = Kind::NamesNoProcess;
    pid_t pid = 0;
    std::string program;
    bool operator==(const LockFileText&) const = default;
};
LockFileText parseLockFileText(std::string_view text, long highestPid);

} // namespace potpanel
