#include "core/design/layout.h"

#include <algorithm>
#include <cmath>

namespace setup {

namespace {

constexpr int kTwipsPerInch = 1440;

// The opaque control a transparent one is drawn over: the nearest one behind it that holds its centre, or
// null when it lies on the window itself.
const Control* ControlBehind(const WindowDesign& design, const Control& control) {
    // Rows run front to back: only rows after this one lie behind it.
    bool behind = false;
    for (const Control& other : design.controls) {
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

}  // namespace

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + (scaled >= 0 ? kTwipsPerInch / 2 : -kTwipsPerInch / 2)) / kTwipsPerInch);
}

int PointsToPixels(double points, int dpi) { return static_cast<int>(std::lround(points * dpi / 72.0)); }

std::uint32_t ColourBehind(const WindowDesign& design, const Control& control) {
    const Control* behind = ControlBehind(design, control);
    return behind ? behind->back_colour : design.back_colour;
}

PixelRect ControlBounds(const WindowDesign& design, const Control& control, int dpi) {
    PixelRect rect{TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
                   TwipsToPixels(control.left + control.width, dpi), TwipsToPixels(control.top + control.height, dpi)};
    if (control.back_colour != kNoColour) return rect;
    const Control* panel = ControlBehind(design, control);
    if (!panel) return rect;
    const PixelRect inner{TwipsToPixels(panel->left, dpi) + 1, TwipsToPixels(panel->top, dpi) + 1,
                          TwipsToPixels(panel->left + panel->width, dpi) - 1,
                          TwipsToPixels(panel->top + panel->height, dpi) - 1};
    rect = {std::max(rect.left, inner.left), std::max(rect.top, inner.top), std::min(rect.right, inner.right),
            std::min(rect.bottom, inner.bottom)};
    // Nothing left of it: an empty rectangle, as the system's own intersection gives.
    if (rect.left >= rect.right || rect.top >= rect.bottom) rect = {0, 0, 0, 0};
    return rect;
}

}  // namespace setup
