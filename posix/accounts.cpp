#include "accounts.h"

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace potpanel {
namespace {

// Calls a getpwuid_r()-like lookup with a buffer that grows until the entry fits.
template <typename Entry, typename Lookup>
std::optional<Entry> lookUp(Lookup lookup, std::vector<char>& buffer)
{
    Entry entry{};
    Entry* found = nullptr;
    for (buffer.resize(1024);; buffer.resize(buffer.size() * 2)) {
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error != ERANGE || buffer.size() > (1 << 20))
            break;
    }
    return found ? std::optional<Entry>(entry) : std::nullopt;
}

} // namespace

std::string userName(uid_t user)
{
    std::vector<char> buffer;
    const auto entry = lookUp<passwd>([&](passwd* e, char* b, std::size_t n,
                                          passwd** f) { return ::getpwuid_r(user, e, b, n, f); },
                                      buffer);
    return entry ? entry->pw_name : std::to_string(user);
}

std::string groupName(gid_t group)
{
    std::vector<char> buffer;
    const auto entry =
        lookUp<struct group>([&](struct group* e, char* b, std::size_t n,
                                 struct group** f) { return ::getgrgid_r(group, e, b, n, f); },
                             buffer);
    return entry ? entry->gr_name : std::to_string(group);
}

std::optional<gid_t> groupId(const std::string& name)
{
    std::vector<char> buffer;
    const auto entry = lookUp<struct group>(
        [&](struct group* e, char* b, std::size_t n, struct group** f) {
            return ::getgrnam_r(name.c_str(), e, b, n, f);
        },
        buffer);
    return entry ? std::optional<gid_t>(entry->gr_gid) : std::nullopt;
}

std::vector<gid_t> databaseGroups()
{
    std::vector<char> buffer;
    const auto user =
        lookUp<passwd>([](passwd* e, char* b, std::size_t n,
                          passwd** f) { return ::getpwuid_r(::getuid(), e, b, n, f); },
                       buffer);
    if (!user)
        return {};
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        ::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count);
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

} // namespace potpanel
