#include "windows/agreement/frm_kyodaku.h"

#include "core/texts.h"
#include "core/design/agreement_design.h"

namespace setup {

using namespace agreement_design;

FrmKyodaku::FrmKyodaku(const Program& program) : ProgramWindow(kDesign, program) {}

void FrmKyodaku::Form_Load() {
    SetCaption(MenuCaption());
    SetText(kTitle, TermsTitleLine());
    // Built once: the window keeps its text, scroll position and selection while it is hidden.
    SetText(kTerms, TermsText());
}

void FrmKyodaku::OnClick(int id) {
    if (id == kAgree) cmd次へ_Click();
    if (id == kDecline) cmd戻る_Click();
}

void FrmKyodaku::cmd次へ_Click() { SwitchTo(program_.windows.frmRudIze()); }

void FrmKyodaku::cmd戻る_Click() { SwitchTo(program_.windows.frmMain()); }

}  // namespace setup
