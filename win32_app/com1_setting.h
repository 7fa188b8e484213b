#pragma once

#include <optional>
#include <string>

namespace potpanel {

// The port the operator made COM1 for good: the value COM1 under
// HKEY_CURRENT_USER\Software\Tarvel\potpanel\ports, else under the same key of
// HKEY_LOCAL_MACHINE, set there by an administrator for every user. Nothing
// when neither has it; throws SerialLinkError when it is not a COM port's name
// or cannot be read.
std::optional<std::string> readCom1Setting();

// Makes port COM1 in the user's setting. Returns why it could not, or nothing.
std::optional<std::string> saveCom1Setting(const std::string& port);

} // namespace potpanel
