#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace potpanel {

// Users and groups by the system's databases, reentrant (the look runs on its
// own thread). An id without a name reads as its number.
std::string userName(uid_t user);
std::string groupName(gid_t group);
std::optional<gid_t> groupId(const std::string& name);
// The groups the database gives this process's real user, its primary one included.
std::vector<gid_t> databaseGroups();

} // namespace potpanel
