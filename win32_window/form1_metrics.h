#pragma once

#include "form1.h"

#include <array>
#include <windows.h>

namespace potpanel {

// Form1's description at a screen's dots per inch: twips become that screen's
// pixels, and each face an installed font of the right size.
RECT toPixels(const TwipRect& twips, unsigned dpi);

class Form1Fonts
{
public:
    explicit Form1Fonts(unsigned dpi);
    ~Form1Fonts();

    Form1Fonts(const Form1Fonts&) = delete;
    Form1Fonts& operator=(const Form1Fonts&) = delete;

    HFONT font(ControlFace face) const { return fonts_[std::size_t(face)]; }

private:
    std::array<HFONT, 3> fonts_{};
};

} // namespace potpanel
