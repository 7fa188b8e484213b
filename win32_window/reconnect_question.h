#pragma once

#include <string_view>
#include <windows.h>

namespace potpanel {

// Tells the operator that the port's device has gone, in text's words, with
// the warning icon and the panel's caption as the title, and asks whether to
// connect again: "&Reconnect" or OK, which is the default and Escape. The owner
// takes no input meanwhile. shown holds the question's window while it is up,
// so that the owner can answer it OK when the program is asked to end. Returns
// whether Reconnect was chosen.
bool askReconnect(HWND owner, std::string_view text, HWND& shown);

// Answers the question shown there OK; nothing when none is.
void dismissReconnect(HWND shown);

} // namespace potpanel
