// The setup menu `frmMain` as designed: the product's title screen on a white panel, with the install and
// exit buttons below it.
#pragma once

#include "core/design/layout.h"
#include "core/resources.h"

namespace setup::menu_design {

enum : int { kInstall = 100, kExit, kLabel6, kLabel1, kImage1, kImage2, kLabel7, kLabel5, kLabel4, kLabel2, kLabel3 };

inline constexpr std::uint32_t kBlue = 0xFF0000;      // RGB 00 00 FF
inline constexpr std::uint32_t kDarkBlue = 0xC00000;  // RGB 00 00 C0
inline constexpr std::uint32_t kNavy = 0x800000;      // RGB 00 00 80
inline constexpr std::uint32_t kWhite = 0xFFFFFF;
inline constexpr std::uint32_t kPaleBlue = 0xFFC0C0;  // RGB C0 C0 FF

// Front-most first. Every label but the white panel is transparent over it.
// Laid out by hand, a few labelled fields a line (the formatter would give each field a line of its own).
// clang-format off
inline constexpr Control kControls[] = {
    {.id = kInstall, .name = L"cmdインストール", .kind = ControlKind::Button,
     .text = L"「ホルンデ」サンプル版のセットアップ", .left = 1740, .top = 5130, .width = 6735, .height = 435,
     .tab_index = 0},
    {.id = kExit, .name = L"cmd終了", .kind = ControlKind::Button, .text = L"終了",
     .left = 150, .top = 5130, .width = 1455, .height = 435, .tab_index = 1},
    {.id = kLabel6, .name = L"Label6", .kind = ControlKind::Label,
     .text = L"お問い合わせ：ホルンデ サポートセンター（平日 9:00～17:00）",
     .left = 510, .top = 4200, .width = 6555, .height = 255, .font = {.face = kGothic, .points = 9.75},
     .tab_index = 8, .text_colour = kBlue},
    {.id = kLabel1, .name = L"Label1", .kind = ControlKind::Label, .text = L" Ver2.04",
     .left = 2880, .top = 2550, .width = 1395, .height = 345, .font = {.face = kGothic, .points = 18, .italic = true},
     .tab_index = 7, .text_colour = kBlue},
    {.id = kImage1, .name = L"Image1", .kind = ControlKind::Image,
     .left = 5100, .top = 1170, .width = 2415, .height = 2220, .tab_index = 9, .picture = kPictureEmblem},
    {.id = kImage2, .name = L"Image2", .kind = ControlKind::Image,
     .left = 690, .top = 1560, .width = 3705, .height = 900, .tab_index = 10, .picture = kPictureLogo},
    {.id = kLabel7, .name = L"Label7", .kind = ControlKind::Label, .text = L"評価用サンプル版（機能限定）",
     .left = 510, .top = 3570, .width = 3495, .height = 255, .font = {.face = kGothic, .points = 11.25},
     .tab_index = 6, .text_colour = kBlue},
    {.id = kLabel5, .name = L"Label5", .kind = ControlKind::Label, .text = L"業務をスマートに",
     .left = 750, .top = 840, .width = 3915, .height = 375, .font = {.face = kGothic, .points = 18},
     .tab_index = 5, .text_colour = kDarkBlue},
    {.id = kLabel4, .name = L"Label4", .kind = ControlKind::Label, .text = L"※他のアプリケーションを終了してください",
     .left = 4380, .top = 4800, .width = 4155, .height = 195, .tab_index = 4, .text_colour = kNavy},
    {.id = kLabel2, .name = L"Label2", .kind = ControlKind::Label, .text = L"サンプル版 Access2000/XP対応",
     .left = 510, .top = 3180, .width = 4515, .height = 405, .font = {.face = kGothic, .points = 14.25, .bold = true},
     .tab_index = 2, .text_colour = kBlue},
    {.id = kLabel3, .name = L"Label3", .kind = ControlKind::Panel,
     .left = 60, .top = 60, .width = 8460, .height = 4950, .tab_index = 3, .back_colour = kWhite},
};

inline constexpr WindowDesign kDesign{
    .name = L"frmMain",
    .class_name = L"HorundeSetupMenu",
    .caption = L"",
    .client_width = 8595, .client_height = 5625,
    .left = 3405, .top = 2220,
    .back_colour = kPaleBlue,
    .controls = kControls,
};
// clang-format on

}  // namespace setup::menu_design
