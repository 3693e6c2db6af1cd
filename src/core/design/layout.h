// Windows described as data: one row per control, in the units of the window design (twips, points, colours
// as 0x00BBGGRR), turned into pixels for the window's DPI when the controls are made.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace setup {

enum class ControlKind {
    Label,        // STATIC
    Panel,        // STATIC with its own background and a single-line border
    Button,       // BUTTON
    TextBox,      // EDIT: multi-line, read-only, vertical scroll bar
    Image,        // STATIC showing a stored picture stretched to the control
    ProgressBar,  // msctls_progress32
};

struct Font {
    std::wstring_view face = {};  // empty: the platform's default window font
    double points = 0;            // 0 with an empty face: the default font's own size
    bool bold = false;
    bool italic = false;
};

inline constexpr Font kDefaultFont{};
inline constexpr std::wstring_view kGothic = L"ＭＳ Ｐゴシック";

inline constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;

enum class Align { Left, Centre };

struct Control {
    int id = 0;  // child-window id, unique within the window
    std::wstring_view name = {};
    ControlKind kind = ControlKind::Label;
    std::wstring_view text = {};                   // caption at creation
    int left = 0, top = 0, width = 0, height = 0;  // twips, relative to the client area
    Font font = kDefaultFont;
    int tab_index = 0;  // order of Tab; unique within the window
    std::uint32_t text_colour = 0x000000;
    std::uint32_t back_colour = kNoColour;  // kNoColour: transparent over whatever lies behind
    Align align = Align::Left;
    int picture = 0;  // picture resource of an Image
};

struct WindowDesign {
    std::wstring_view name = {};  // the window's module name, as error reports name it
    std::wstring_view class_name = {};
    std::wstring_view caption = {};           // design-time caption, replaced when the window loads
    int client_width = 0, client_height = 0;  // twips
    int left = 0, top = 0;                    // design position of the client area, twips
    std::uint32_t back_colour = 0;
    std::span<const Control> controls = {};  // front-most first
};

// Twips to pixels at `dpi`, rounded to nearest.
int TwipsToPixels(int twips, int dpi);
// A point size to a font height in pixels at `dpi` (positive: the character height), rounded to nearest.
int PointsToPixels(double points, int dpi);

// The colour behind a transparent control: the back colour of the nearest opaque control behind it that holds
// its centre, or the window's own back colour.
std::uint32_t ColourBehind(const WindowDesign& design, const Control& control);

// A rectangle in pixels: left and top inside, right and bottom just outside.
struct PixelRect {
    int left, top, right, bottom;
};

// Where a control lies in its window's client area at `dpi`. A transparent control that lies on a panel ends
// inside the panel's one-pixel border: it fills itself with the panel's colour and would paint over the border.
PixelRect ControlBounds(const WindowDesign& design, const Control& control, int dpi);

}  // namespace setup
