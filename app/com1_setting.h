#pragma once

#include <optional>
#include <string>

namespace potpanel {

// The device the operator made COM1 for good: the setting COM1 in the group
// [ports] of the user's settings ($XDG_CONFIG_HOME/Tarvel/potpanel.conf), else
// of the system's (/etc/xdg/Tarvel/potpanel.conf). Nothing when neither has it;
// throws SerialLinkError when it is empty or the settings cannot be read.
std::optional<std::string> readCom1Setting();

// Makes device COM1 in the user's settings. Returns why it could not, or nothing.
std::optional<std::string> saveCom1Setting(const std::string& device);

} // namespace potpanel
