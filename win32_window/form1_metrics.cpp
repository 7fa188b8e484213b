#include "form1_metrics.h"

#include "wide_text.h"

#include <cmath>

namespace potpanel {
namespace {

int toPixels(int twips, unsigned dpi)
{
    return ::MulDiv(twips, int(dpi), twipsPerInch);
}

int CALLBACK familyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The first of the face's families that is installed, else the first: Windows
// always has Arial, Wine may have only its twins.
std::wstring installedFamily(const FontFace& face)
{
    HDC screen = ::GetDC(nullptr);
    std::wstring chosen;
    for (const std::string_view family : face.families) {
        LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        const std::wstring name = toWide(family);
        name.copy(wanted.lfFaceName, LF_FACESIZE - 1);
        bool found = false;
        ::EnumFontFamiliesExW(screen, &wanted, familyFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            chosen = name;
            break;
        }
    }
    ::ReleaseDC(nullptr, screen);
    return chosen.empty() ? toWide(face.families.front()) : chosen;
}

} // namespace

RECT toPixels(const TwipRect& twips, unsigned dpi)
{
    const int left = toPixels(twips.left, dpi);
    const int top = toPixels(twips.top, dpi);
    return {left, top, left + toPixels(twips.width, dpi), top + toPixels(twips.height, dpi)};
}

Form1Fonts::Form1Fonts(unsigned dpi)
{
    for (const ControlFace face :
         {ControlFace::Window, ControlFace::Display, ControlFace::Banner}) {
        const FontFace wanted = fontFace(face);
        LOGFONTW font{};
        font.lfHeight = -int(std::lround(wanted.points * dpi / 72));
        font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
        font.lfItalic = wanted.italic;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        installedFamily(wanted).copy(font.lfFaceName, LF_FACESIZE - 1);
        fonts_[std::size_t(face)] = ::CreateFontIndirectW(&font);
    }
}

Form1Fonts::~Form1Fonts()
{
    for (HFONT font : fonts_)
        ::DeleteObject(font);
}

} // namespace potpanel
