#pragma once

#include "channel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace potpanel {

// Form1, the panel's one window, as data: every window system builds it from
// this. Positions and sizes are in twips (1/1440 inch) from the top-left corner
// of the client area; 15 make one pixel at 96 dots per inch.
inline constexpr int twipsPerInch = 1440;

struct TwipRect
{
    int left;
    int top;
    int width;
    int height;
};

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

// A face by its families, best first: Arial where it is installed, elsewhere its
// metric-compatible twins, so that captions fit their fixed boxes on any desktop.
struct FontFace
{
    std::array<std::string_view, 3> families;
    double points;
    bool bold;
    bool italic;
};

inline constexpr std::array<std::string_view, 3> arialFamilies{"Arial", "Liberation Sans", "Arimo"};

// The window's own font, the classic 8.25 point dialog size, and each face's.
constexpr FontFace fontFace(ControlFace face)
{
    switch (face) {
    case ControlFace::Display:
        return {arialFamilies, 9.75, true, false};
    case ControlFace::Banner:
        return {arialFamilies, 14.25, true, true};
    case ControlFace::Window:
        break;
    }
    return {arialFamilies, 8.25, false, false};
}

struct Rgb
{
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// Teal; every other colour is the window system's.
inline constexpr Rgb bannerColour{0, 128, 128};

} // namespace potpanel
