// The setup progress window `frmRudIze` as designed: what is installed where on a white panel, the progress
// bar, and the setup and cancel buttons.
#pragma once

#include "core/design/layout.h"

namespace setup::progress_design {

enum : int { kCancel = 300, kOK, kProgressBar1, kTitle, kDestination, kLabel2, kLabel1 };

inline constexpr Font kButtonFont{.face = kGothic, .points = 9.75};
inline constexpr Font kLabelFont{.face = kGothic, .points = 11.25};

// Laid out by hand, a few labelled fields a line (the formatter would give each field a line of its own).
// clang-format off
inline constexpr Control kControls[] = {
    {.id = kCancel, .name = L"cmdキャンセル", .kind = ControlKind::Button, .text = L"ｷｬﾝｾﾙ",
     .left = 3570, .top = 2790, .width = 1700, .height = 435, .font = kButtonFont, .tab_index = 5},
    {.id = kOK, .name = L"cmdOK", .kind = ControlKind::Button, .text = L"セットアップ",
     .left = 1650, .top = 2790, .width = 1700, .height = 435, .font = kButtonFont, .tab_index = 4},
    {.id = kProgressBar1, .name = L"ProgressBar1", .kind = ControlKind::ProgressBar,
     .left = 450, .top = 1410, .width = 6015, .height = 255, .tab_index = 2},
    {.id = kTitle, .name = L"lbl表題", .kind = ControlKind::Label, .text = L"セットアップ中...　しばらくお待ち下さい。",
     .left = 420, .top = 450, .width = 5595, .height = 285, .font = kLabelFont, .tab_index = 3},
    {.id = kDestination, .name = L"lblセットアップ先", .kind = ControlKind::Label,
     .left = 2160, .top = 1080, .width = 3195, .height = 255, .font = kLabelFont, .tab_index = 1},
    {.id = kLabel2, .name = L"Label2", .kind = ControlKind::Label, .text = L"セットアップ場所/",
     .left = 450, .top = 1080, .width = 1755, .height = 255, .font = kLabelFont, .tab_index = 0},
    {.id = kLabel1, .name = L"Label1", .kind = ControlKind::Panel,
     .left = 60, .top = 60, .width = 6765, .height = 2595, .tab_index = 6, .back_colour = 0xFFFFFF},
};

inline constexpr WindowDesign kDesign{
    .name = L"frmRudIze",
    .class_name = L"HorundeSetupProgress",
    .caption = L"セットアップ中...",
    .client_width = 6900, .client_height = 3330,
    .left = 4395, .top = 3360,
    .back_colour = 0xFFC0C0,
    .controls = kControls,
};
// clang-format on

}  // namespace setup::progress_design
