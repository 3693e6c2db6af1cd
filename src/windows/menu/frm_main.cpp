#include "windows/menu/frm_main.h"

#include "core/resources.h"
#include "core/install/menu_load.h"

namespace setup {

namespace {

enum : int { kInstall = 100, kExit, kLabel6, kLabel1, kImage1, kImage2, kLabel7, kLabel5, kLabel4, kLabel2, kLabel3 };

constexpr std::uint32_t kBlue = 0xFF0000;      // RGB 00 00 FF
constexpr std::uint32_t kDarkBlue = 0xC00000;  // RGB 00 00 C0
constexpr std::uint32_t kNavy = 0x800000;      // RGB 00 00 80
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kPaleBlue = 0xFFC0C0;  // RGB C0 C0 FF

// Front-most first. Every label but the white panel is transparent over it.
constexpr Control kControls[] = {
    // id        name                kind                  text                                left  top   width height font                               tab colour
    {kInstall, L"cmdインストール", ControlKind::Button, L"「ホルンデ」サンプル版のセットアップ", 1740, 5130, 6735, 435, kDefaultFont, 0},
    {kExit, L"cmd終了", ControlKind::Button, L"終了", 150, 5130, 1455, 435, kDefaultFont, 1},
    {kLabel6, L"Label6", ControlKind::Label, L"お問い合わせ：ホルンデ サポートセンター（平日 9:00～17:00）", 510, 4200, 6555, 255, {kGothic, 9.75, false, false}, 8, kBlue},
    {kLabel1, L"Label1", ControlKind::Label, L" Ver2.04", 2880, 2550, 1395, 345, {kGothic, 18, false, true}, 7, kBlue},
    {kImage1, L"Image1", ControlKind::Image, L"", 5100, 1170, 2415, 2220, kDefaultFont, 9, 0, kNoColour, Align::Left, kPictureEmblem},
    {kImage2, L"Image2", ControlKind::Image, L"", 690, 1560, 3705, 900, kDefaultFont, 10, 0, kNoColour, Align::Left, kPictureLogo},
    {kLabel7, L"Label7", ControlKind::Label, L"評価用サンプル版（機能限定）", 510, 3570, 3495, 255, {kGothic, 11.25, false, false}, 6, kBlue},
    {kLabel5, L"Label5", ControlKind::Label, L"業務をスマートに", 750, 840, 3915, 375, {kGothic, 18, false, false}, 5, kDarkBlue},
    {kLabel4, L"Label4", ControlKind::Label, L"※他のアプリケーションを終了してください", 4380, 4800, 4155, 195, kDefaultFont, 4, kNavy},
    {kLabel2, L"Label2", ControlKind::Label, L"サンプル版 Access2000/XP対応", 510, 3180, 4515, 405, {kGothic, 14.25, true, false}, 2, kBlue},
    {kLabel3, L"Label3", ControlKind::Panel, L"", 60, 60, 8460, 4950, kDefaultFont, 3, 0, kWhite},
};

constexpr WindowDesign kDesign{L"HorundeSetupMenu", L"", 8595, 5625, 3405, 2220, kPaleBlue, kControls,
                               static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))};

}  // namespace

FrmMain::FrmMain(Forms& forms) : Form(kDesign), forms_(forms) {}

void FrmMain::Form_Load() {
    MenuFormLoad(*forms_.platform, [this](const std::wstring& caption) -> Status {
        SetCaption(caption);
        return Done{};
    });
}

void FrmMain::Form_Unload() { EndProgram(); }

void FrmMain::OnClick(int id) {
    if (id == kInstall) cmdインストール_Click();
    if (id == kExit) cmd終了_Click();
}

void FrmMain::cmdインストール_Click() {
    // Show the next window before hiding this one, so that one window is always on screen.
    forms_.frmKyodaku->Load();
    forms_.frmKyodaku->Show();
    Hide();
}

void FrmMain::cmd終了_Click() { Unload(); }

}  // namespace setup
