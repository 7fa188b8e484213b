#pragma once

#include "channel.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <array>
#include <optional>
#include <string_view>

namespace potpanel {

// The window is laid out in twips (1/1440 inch); 15 make one device-independent
// pixel, so Qt's high-DPI scaling carries the layout to any screen.
inline constexpr int twipsPerPixel = 15;

struct TwipRect
{
    int left;
    int top;
    int width;
    int height;
};

QRect toPixels(const TwipRect& twips);

enum class ControlKind { Slider, Display, Label, Button };

// Which face a control shows its text in.
enum class ControlFace {
    Window,  // the window's own font, inherited
    Display, // the hexadecimal displays
    Banner,
};

// One control of the window. Controls are listed in tab order, so a control's
// place in the list is its tab index.
struct FormControl
{
    std::string_view name;
    ControlKind kind;
    TwipRect twips;
    std::string_view text;
    ControlFace face;
    // The channel a slider or display drives, or whose caption a label shows.
    std::optional<ChannelId> channel;
};

inline constexpr std::string_view form1Name = "Form1";
inline constexpr std::string_view form1Caption = "Tarvel Digital Potentiometers";
inline constexpr TwipRect form1ClientArea{0, 0, 5340, 2235};

inline constexpr std::array<FormControl, 9> form1Controls{{
    {"HScroll1",
     ControlKind::Slider,
     {1020, 300, 2895, 315},
     "",
     ControlFace::Window,
     ChannelId::A},
    {"HScroll2",
     ControlKind::Slider,
     {1020, 900, 2895, 315},
     "",
     ControlFace::Window,
     ChannelId::B},
    {"Label1",
     ControlKind::Label,
     {120, 360, 495, 315},
     channelCaption(ChannelId::A),
     ControlFace::Window,
     ChannelId::A},
    {"Label2",
     ControlKind::Label,
     {120, 960, 495, 315},
     channelCaption(ChannelId::B),
     ControlFace::Window,
     ChannelId::B},
    {"Text1", ControlKind::Display, {4200, 300, 555, 315}, "", ControlFace::Display, ChannelId::A},
    {"Text2", ControlKind::Display, {4200, 900, 555, 315}, "", ControlFace::Display, ChannelId::B},
    {"Command1", ControlKind::Button, {4140, 1620, 615, 375}, "EXIT", ControlFace::Window, {}},
    {"Label3", ControlKind::Label, {180, 1740, 915, 255}, "COM1 Only", ControlFace::Window, {}},
    {"Label4", ControlKind::Label, {1260, 1620, 2715, 435}, "Brennow", ControlFace::Banner, {}},
}};

// The window's own font: the classic 8.25 point dialog face, resolved like the
// Arial faces so that captions fit their fixed boxes on any desktop.
QFont windowFont();
// The font a control sets for itself; none for ControlFace::Window, which inherits.
std::optional<QFont> ownFont(ControlFace face);
inline constexpr QColor bannerColour{0, 128, 128};

} // namespace potpanel
