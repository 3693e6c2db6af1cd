// Windows described as data: one row per control, in the units of the window design (twips, points, colours
// as 0x00BBGGRR), turned into pixels for the window's DPI when the controls are made.
#pragma once

#include <cstdint>
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
    std::wstring_view face;  // empty: the platform's default window font
    double points;
    bool bold;
    bool italic;
};

inline constexpr Font kDefaultFont{L"", 0, false, false};
inline constexpr std::wstring_view kGothic = L"ＭＳ Ｐゴシック";

inline constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;

enum class Align { Left, Centre };

struct Control {
    int id;                 // child-window id, unique within the window
    std::wstring_view name;
    ControlKind kind;
    std::wstring_view text;  // caption at creation
    int left, top, width, height;  // twips, relative to the client area
    Font font;
    int tab_index;           // order of Tab among the controls that take focus
    std::uint32_t text_colour = 0x000000;
    std::uint32_t back_colour = kNoColour;  // kNoColour: transparent over whatever lies behind
    Align align = Align::Left;
    int resource = 0;        // picture resource of an Image
};

struct WindowDesign {
    std::wstring_view class_name;
    std::wstring_view caption;  // design-time caption, replaced when the window loads
    int client_width, client_height;  // twips
    int left, top;                    // design position of the client area, twips
    std::uint32_t back_colour;
    const Control* controls;          // front-most first
    int control_count;
};

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at `dpi`, rounded to nearest.
int TwipsToPixels(int twips, int dpi);
// A point size to a font height in pixels at `dpi` (positive: the character height), rounded to nearest.
int PointsToPixels(double points, int dpi);

// The opaque control a transparent one is drawn over: the nearest one behind it that holds its centre, or
// null when it lies on the window itself.
const Control* ControlBehind(const WindowDesign& design, const Control& control);

// The colour behind a transparent control: the back colour of the nearest opaque control behind it that holds its centre,
// or the window's own back colour.
std::uint32_t ColourBehind(const WindowDesign& design, const Control& control);

}  // namespace setup
