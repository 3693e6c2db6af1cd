#include "core/design/layout.h"

#include <cmath>

namespace setup {

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + (scaled >= 0 ? kTwipsPerInch / 2 : -kTwipsPerInch / 2)) / kTwipsPerInch);
}

int PointsToPixels(double points, int dpi) { return static_cast<int>(std::lround(points * dpi / 72.0)); }

const Control* ControlBehind(const WindowDesign& design, const Control& control) {
    // Rows run front to back: only rows after this one lie behind it.
    bool behind = false;
    for (int i = 0; i < design.control_count; ++i) {
        const Control& other = design.controls[i];
        if (&other == &control) {
            behind = true;
            continue;
        }
        if (!behind || other.back_colour == kNoColour) continue;
        // A label that reaches a little past the panel's edge still lies on the panel.
        const int x = control.left + control.width / 2, y = control.top + control.height / 2;
        if (other.left <= x && x < other.left + other.width && other.top <= y && y < other.top + other.height) {
            return &other;
        }
    }
    return nullptr;
}

std::uint32_t ColourBehind(const WindowDesign& design, const Control& control) {
    const Control* behind = ControlBehind(design, control);
    return behind ? behind->back_colour : design.back_colour;
}

}  // namespace setup
