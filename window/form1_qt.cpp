#include "form1_qt.h"

#include <QStringList>

namespace potpanel {
namespace {

constexpr int twipsPerPixel = twipsPerInch / 96;

QFont toQFont(const FontFace& face)
{
    QFont font;
    QStringList families;
    for (const std::string_view family : face.families)
        families << QString::fromUtf8(family.data(), qsizetype(family.size()));
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(face.points);
    font.setWeight(face.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(face.italic);
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
    return toQFont(fontFace(ControlFace::Window));
}

std::optional<QFont> ownFont(ControlFace face)
{
    if (face == ControlFace::Window)
        return std::nullopt;
    return toQFont(fontFace(face));
}

QColor toQColor(Rgb colour)
{
    return {colour.red, colour.green, colour.blue};
}

} // namespace potpanel
