#include "core/design/layout.h"

#include <gtest/gtest.h>

#include <set>

#include "core/design/agreement_design.h"
#include "core/design/menu_design.h"
#include "core/design/progress_design.h"
#include "core/error_report.h"
#include "support/utf8.h"

namespace setup {
namespace {

TEST(TwipsToPixels, ScalesForCommonDpis) {
    struct Case {
        int twips, dpi, pixels;
    };
    const Case cases[] = {
        {8595, 96, 573},  {5625, 96, 375},  {15, 96, 1},       {7, 96, 0},     {8, 96, 1},
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
        {.left = 100, .top = 100, .width = 50, .height = 50},
        {.left = 1000, .top = 100, .width = 50, .height = 50},
        {.kind = ControlKind::Panel, .left = 60, .top = 60, .width = 500, .height = 500, .back_colour = 0xFFFFFF},
    };
    const WindowDesign design{
        .client_width = 2000, .client_height = 2000, .back_colour = 0xFFC0C0, .controls = controls};
    EXPECT_EQ(ColourBehind(design, controls[0]), 0xFFFFFFu);
    EXPECT_EQ(ColourBehind(design, controls[1]), 0xFFC0C0u);
}

// The program's three windows as it lays them out.
struct Window {
    const char* name;
    const WindowDesign& design;
};
const Window kWindows[] = {
    {"frmMain", menu_design::kDesign},
    {"frmKyodaku", agreement_design::kDesign},
    {"frmRudIze", progress_design::kDesign},
};

TEST(WindowDesigns, EachCarriesItsModuleNameForItsReports) {
    for (const Window& window : kWindows) {
        EXPECT_EQ(ToUtf8(std::wstring(window.design.name)), window.name);
    }
    // A window that cannot be created is reported there; the menu's matches its own load's location.
    EXPECT_EQ(ToUtf8(WindowCreationLocation(agreement_design::kDesign.name)), "frmKyodaku Form_Initialize()");
    EXPECT_EQ(WindowCreationLocation(menu_design::kDesign.name), std::wstring(kLocMenuLoad));
}

TEST(WindowDesigns, IdsAndTabOrdersAreUnique) {
    for (const Window& window : kWindows) {
        SCOPED_TRACE(window.name);
        std::set<int> ids, tabs;
        for (const Control& control : window.design.controls) {
            EXPECT_TRUE(ids.insert(control.id).second) << "id " << control.id << " twice";
            EXPECT_TRUE(tabs.insert(control.tab_index).second) << "tab index " << control.tab_index << " twice";
        }
    }
}

TEST(WindowDesigns, EveryControlLiesInsideTheClientArea) {
    for (const Window& window : kWindows) {
        for (int dpi : {96, 144, 192}) {
            SCOPED_TRACE(testing::Message() << window.name << " at " << dpi << " dpi");
            const int width = TwipsToPixels(window.design.client_width, dpi);
            const int height = TwipsToPixels(window.design.client_height, dpi);
            for (const Control& control : window.design.controls) {
                const PixelRect r = ControlBounds(window.design, control, dpi);
                EXPECT_TRUE(0 <= r.left && r.left < r.right && r.right <= width && 0 <= r.top && r.top < r.bottom &&
                            r.bottom <= height)
                    << control.id << " at (" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom
                    << ") in " << width << " x " << height;
            }
        }
    }
}

TEST(ControlBounds, LabelReachingPastItsPanelEndsInsideThePanelsBorder) {
    // The menu's Label4 reaches 15 twips past the right edge of the white panel behind it.
    const Control& label = menu_design::kControls[8];
    ASSERT_EQ(label.id, menu_design::kLabel4);
    const PixelRect r = ControlBounds(menu_design::kDesign, label, 96);
    EXPECT_EQ(r.left, 292);
    EXPECT_EQ(r.right, 567);  // the panel's right edge at 568, less its border
    EXPECT_EQ(r.bottom, 333);
    // A control of its own colour is where the design puts it.
    const PixelRect panel = ControlBounds(menu_design::kDesign, menu_design::kControls[10], 96);
    EXPECT_EQ(panel.right, 568);
}

}  // namespace
}  // namespace setup
