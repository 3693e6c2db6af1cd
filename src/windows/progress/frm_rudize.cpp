#include "windows/progress/frm_rudize.h"

#include <commctrl.h>

#include "core/constants.h"

namespace setup {

namespace {

enum : int { kCancel = 300, kOK, kProgressBar1, kTitle, kDestination, kLabel2, kLabel1 };
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1IntervalMs = 100;

constexpr Font kButtonFont{kGothic, 9.75, false, false};
constexpr Font kLabelFont{kGothic, 11.25, false, false};

constexpr Control kControls[] = {
    // id            name                kind                      text                                      left  top   width height font        tab colour
    {kCancel, L"cmdキャンセル", ControlKind::Button, L"ｷｬﾝｾﾙ", 3570, 2790, 1700, 435, kButtonFont, 5},
    {kOK, L"cmdOK", ControlKind::Button, L"セットアップ", 1650, 2790, 1700, 435, kButtonFont, 4},
    {kProgressBar1, L"ProgressBar1", ControlKind::ProgressBar, L"", 450, 1410, 6015, 255, kDefaultFont, 2},
    {kTitle, L"lbl表題", ControlKind::Label, L"セットアップ中...　しばらくお待ち下さい。", 420, 450, 5595, 285, kLabelFont, 3, 0x000000},
    {kDestination, L"lblセットアップ先", ControlKind::Label, L"", 2160, 1080, 3195, 255, kLabelFont, 1},
    {kLabel2, L"Label2", ControlKind::Label, L"セットアップ場所/", 450, 1080, 1755, 255, kLabelFont, 0},
    {kLabel1, L"Label1", ControlKind::Panel, L"", 60, 60, 6765, 2595, kDefaultFont, 6, 0, 0xFFFFFF},
};

constexpr WindowDesign kDesign{L"HorundeSetupProgress", L"セットアップ中...", 6900, 3330, 4395, 3360, 0xFFC0C0,
                               kControls, static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))};

}  // namespace

FrmRudIze::FrmRudIze(Forms& forms) : Form(kDesign), forms_(forms), steps_(*forms.platform) {}

void FrmRudIze::Form_Load() {
    SetCaption(MenuCaption());
    SetText(kTitle, L"○" + std::wstring(kProductName) + L"をセットアップします。");
    SetText(kDestination, std::wstring(kInstallRoot));
    SendMessageW(Child(kProgressBar1), PBM_SETRANGE32, 0, 100);
    SendMessageW(Child(kProgressBar1), PBM_SETPOS, 0, 0);
    KillTimer(hwnd(), kTimer1);
}

void FrmRudIze::Form_Unload() { EndProgram(); }

void FrmRudIze::OnClick(int id) {
    if (running_) return;  // the sequence holds the window; no button acts until it is over
    if (id == kOK) cmdOK_Click();
    if (id == kCancel) cmdキャンセル_Click();
}

void FrmRudIze::cmdOK_Click() {
    SetText(kDestination, std::wstring(kInstallRoot));
    // Only arm the timer: the sequence starts on its first tick, once the window has repainted.
    // A second click before the tick just restarts the interval.
    SetTimer(hwnd(), kTimer1, kTimer1IntervalMs, nullptr);
}

void FrmRudIze::cmdキャンセル_Click() {
    forms_.frmKyodaku->Load();
    forms_.frmKyodaku->Show();
    Hide();
}

void FrmRudIze::Timer1_Timer() {
    running_ = true;
    RunInstallSequence(*this, steps_, *forms_.platform);
    running_ = false;
}

bool FrmRudIze::OnMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
    if (message == WM_TIMER && wparam == kTimer1) {
        if (!running_) Timer1_Timer();
        result = 0;
        return true;
    }
    return false;
}

Status FrmRudIze::DisableTimer() {
    KillTimer(hwnd(), kTimer1);
    return Done{};
}

Status FrmRudIze::SetProgress(int value) {
    SendMessageW(Child(kProgressBar1), PBM_SETPOS, value, 0);
    return Done{};
}

Status FrmRudIze::ShowMenu() {
    forms_.frmMain->Show();
    return Done{};
}

Status FrmRudIze::HideSelf() {
    Hide();
    return Done{};
}

}  // namespace setup
