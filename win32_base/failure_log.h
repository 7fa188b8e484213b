#pragma once

#include <string>

namespace potpanel {

// A failure, or news as grave, written to standard error as "potpanel: text"
// when the program was given one, for a log; nothing otherwise.
void logFailure(const std::string& text);

} // namespace potpanel
