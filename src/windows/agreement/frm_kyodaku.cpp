#include "windows/agreement/frm_kyodaku.h"

#include "core/constants.h"
#include "core/terms_text.h"

namespace setup {

namespace {

enum : int { kTitle = 200, kLabel1, kTerms, kDecline, kAgree };

constexpr Font kTitleFont{kGothic, 11.25, true, false};
constexpr Font kTermsFont{kGothic, 9.75, false, false};

constexpr Control kControls[] = {
    // id       name          kind                   text           left  top  width height font          tab colour
    {kTitle, L"lbl表題", ControlKind::Label, L"", 1410, 90, 5595, 285, kTitleFont, 3, 0x000000, kNoColour, Align::Centre},
    {kLabel1, L"Label1", ControlKind::Label, L"", 150, 480, 7515, 195, kDefaultFont, 4},
    {kTerms, L"txt許諾書", ControlKind::TextBox, L"", 60, 750, 8475, 4245, kTermsFont, 2},
    {kDecline, L"cmd戻る", ControlKind::Button, L"同意しない", 4920, 5130, 1695, 435, kDefaultFont, 0},
    {kAgree, L"cmd次へ", ControlKind::Button, L"同意する", 6780, 5130, 1695, 435, kDefaultFont, 1},
};

constexpr WindowDesign kDesign{L"HorundeSetupAgreement", L"使用許諾契約書", 8595, 5625, 3405, 2220, 0xFFC0C0,
                               kControls, static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))};

}  // namespace

FrmKyodaku::FrmKyodaku(Forms& forms) : Form(kDesign), forms_(forms) {}

void FrmKyodaku::Form_Load() {
    SetCaption(MenuCaption());
    SetText(kTitle, TermsTitleLine());
    // Built once: the window keeps its text, scroll position and selection while it is hidden.
    SetText(kTerms, TermsText());
}

void FrmKyodaku::Form_Unload() { EndProgram(); }

void FrmKyodaku::OnClick(int id) {
    if (id == kAgree) cmd次へ_Click();
    if (id == kDecline) cmd戻る_Click();
}

void FrmKyodaku::cmd次へ_Click() {
    forms_.frmRudIze->Load();
    forms_.frmRudIze->Show();
    Hide();
}

void FrmKyodaku::cmd戻る_Click() {
    forms_.frmMain->Show();
    Hide();
}

}  // namespace setup
