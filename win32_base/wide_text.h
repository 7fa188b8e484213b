#pragma once

#include <string>
#include <string_view>

namespace potpanel {

// The Windows API speaks UTF-16; the rest of the panel speaks UTF-8.
std::wstring toWide(std::string_view text);
std::string fromWide(std::wstring_view text);

// The system's own words for an error code, with the code: "Access is denied
// (error 5)".
std::string systemErrorText(unsigned long error);

} // namespace potpanel
