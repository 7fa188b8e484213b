#include "form1_controls.h"

#include <QStringList>

namespace potpanel {

namespace {

// Arial where it is installed; elsewhere its metric-compatible faces, so text
// takes the room the layout gives it.
QFont arial(qreal points, bool bold, bool italic)
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace

QRect toPixels(const TwipRect& twips)
{
    return {twips.left / twipsPerPixel, twips.top / twipsPerPixel, twips.width / twipsPerPixel,
            twips.height / twipsPerPixel};
}

QFont windowFont()
{
    return arial(8.25, false, false);
}

std::optional<QFont> ownFont(ControlFace face)
{
    switch (face) {
    case ControlFace::Display:
        return arial(9.75, true, false);
    case ControlFace::Banner:
        return arial(14.25, true, true);
    case ControlFace::Window:
        break;
    }
    return std::nullopt;
}

} // namespace potpanel
