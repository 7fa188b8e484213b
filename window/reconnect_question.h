#pragma once

#include <QString>

namespace potpanel {

// Tells the operator, in text, that the port's device has gone, and asks with
// "&Reconnect" and "OK" whether to connect again. OK is the default and Escape,
// and a termination request dismisses the question like OK. True for Reconnect.
bool askReconnect(const QString& text);

} // namespace potpanel
