#pragma once

#include "form1.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <optional>

namespace potpanel {

// Form1's description in Qt's terms. Twips become device-independent pixels (96
// to the inch), so Qt's high-DPI scaling carries the layout to any screen.
QRect toPixels(const TwipRect& twips);

// The window's own font.
QFont windowFont();
// The font a control sets for itself; none for ControlFace::Window, which inherits.
std::optional<QFont> ownFont(ControlFace face);
QColor toQColor(Rgb colour);

} // namespace potpanel
