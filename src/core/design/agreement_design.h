// The terms agreement window `frmKyodaku` as designed: a title line, the terms in a read-only text box, and
// the decline and agree buttons.
#pragma once

#include "core/design/layout.h"

namespace setup::agreement_design {

enum : int { kTitle = 200, kLabel1, kTerms, kDecline, kAgree };

// Laid out by hand, a few labelled fields a line (the formatter would give each field a line of its own).
// clang-format off
inline constexpr Control kControls[] = {
    {.id = kTitle, .name = L"lbl表題", .kind = ControlKind::Label,
     .left = 1410, .top = 90, .width = 5595, .height = 285, .font = {.face = kGothic, .points = 11.25, .bold = true},
     .tab_index = 3, .align = Align::Centre},
    {.id = kLabel1, .name = L"Label1", .kind = ControlKind::Label,
     .left = 150, .top = 480, .width = 7515, .height = 195, .tab_index = 4},
    {.id = kTerms, .name = L"txt許諾書", .kind = ControlKind::TextBox,
     .left = 60, .top = 750, .width = 8475, .height = 4245, .font = {.face = kGothic, .points = 9.75},
     .tab_index = 2},
    {.id = kDecline, .name = L"cmd戻る", .kind = ControlKind::Button, .text = L"同意しない",
     .left = 4920, .top = 5130, .width = 1695, .height = 435, .tab_index = 0},
    {.id = kAgree, .name = L"cmd次へ", .kind = ControlKind::Button, .text = L"同意する",
     .left = 6780, .top = 5130, .width = 1695, .height = 435, .tab_index = 1},
};

inline constexpr WindowDesign kDesign{
    .name = L"frmKyodaku",
    .class_name = L"HorundeSetupAgreement",
    .caption = L"使用許諾契約書",
    .client_width = 8595, .client_height = 5625,
    .left = 3405, .top = 2220,
    .back_colour = 0xFFC0C0,
    .controls = kControls,
};
// clang-format on

}  // namespace setup::agreement_design
