#pragma once

#include "wiper_decoder.h"

#include <string>
#include <string_view>

namespace potpanel {

// Bytes in upper-case hex separated by spaces: "02 44 30 33 32".
std::string hexBytes(std::string_view bytes);

// One line of the controller's log: the bytes in hex, then what they meant, such
// as "02 44 30 33 32   CH-A = 50 (32)" or "02 58 30 33 32   unknown command".
std::string describe(const DecodedFrame& frame);

} // namespace potpanel
