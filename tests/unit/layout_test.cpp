#include "core/design/layout.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

TEST(TwipsToPixels, ScalesForCommonDpis) {
    struct Case { int twips, dpi, pixels; };
    const Case cases[] = {
        {8595, 96, 573}, {5625, 96, 375}, {15, 96, 1}, {7, 96, 0}, {8, 96, 1},
        {8595, 120, 716}, {8595, 144, 860}, {8595, 192, 1146}, {435, 144, 44}, {0, 192, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.twips << " twips at " << c.dpi << " dpi");
        EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels);
    }
}

TEST(PointsToPixels, RoundsFontHeights) {
    EXPECT_EQ(PointsToPixels(9.75, 96), 13);
    EXPECT_EQ(PointsToPixels(11.25, 96), 15);
    EXPECT_EQ(PointsToPixels(18, 96), 24);
    EXPECT_EQ(PointsToPixels(14.25, 96), 19);
    EXPECT_EQ(PointsToPixels(9.75, 144), 20);
}

TEST(ColourBehind, TransparentLabelTakesThePanelItLiesOn) {
    const Control controls[] = {
        {1, L"inside", ControlKind::Label, L"", 100, 100, 50, 50, kDefaultFont, 0},
        {2, L"outside", ControlKind::Label, L"", 1000, 100, 50, 50, kDefaultFont, 1},
        {3, L"panel", ControlKind::Panel, L"", 60, 60, 500, 500, kDefaultFont, 2, 0, 0xFFFFFF},
    };
    const WindowDesign design{L"c", L"", 2000, 2000, 0, 0, 0xFFC0C0, controls, 3};
    EXPECT_EQ(ColourBehind(design, controls[0]), 0xFFFFFFu);
    EXPECT_EQ(ColourBehind(design, controls[1]), 0xFFC0C0u);
}

}  // namespace
}  // namespace setup
