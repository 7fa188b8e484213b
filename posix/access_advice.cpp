#include "access_advice.h"

#include "accounts.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace potpanel {
namespace {

// The group that owns the machine's serial ports: dialout on Debian, uucp elsewhere.
std::optional<gid_t> serialGroup()
{
    for (const char* name : {"dialout", "uucp"})
        if (const auto group = groupId(name))
            return group;
    return std::nullopt;
}

// Whether this process runs with the group now.
bool inSessionGroups(gid_t group)
{
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    return ::getegid() == group || std::ranges::find(groups, group) != groups.end();
}

} // namespace

std::string permissionDenied(const std::string& device)
{
    struct stat status
    {
    };
    if (::stat(device.c_str(), &status) != 0)
        return "permission denied";
    const mode_t mode = status.st_mode & 07777;
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode));
    const std::string owners = "owner " + userName(status.st_uid) + ", group " +
                               groupName(status.st_gid) + ", mode " + octal;
    const std::string group = groupName(status.st_gid);
    const bool groupMayUse = (mode & 060) == 060;

    if (const auto serial = serialGroup(); serial && *serial == status.st_gid && groupMayUse) {
        if (inSessionGroups(*serial))
            return "permission denied, although this session is in the group " + group + " (" +
                   owners + "); something besides the file's mode forbids it";
        if (std::ranges::count(databaseGroups(), *serial) > 0)
            return "permission denied; you are in the group " + group +
                   ", which may use it, but this session began before you joined it: log out and "
                   "in again";
        return "permission denied; the device belongs to the group " + group +
               ": join it with \"sudo adduser $USER " + group + "\", then log out and in again";
    }
    if (status.st_uid == 0 && (mode & 006) != 006 && (status.st_gid == 0 || !groupMayUse))
        return "permission denied; only root may open it (" + owners + ")";
    return "permission denied; this user may not open it (" + owners +
           "); ask the administrator of this machine";
}

} // namespace potpanel
