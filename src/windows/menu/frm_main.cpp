#include "windows/menu/frm_main.h"

#include "core/texts.h"
#include "core/design/menu_design.h"
#include "core/install/menu_load.h"

namespace setup {

using namespace menu_design;

FrmMain::FrmMain(const Program& program) : ProgramWindow(kDesign, program) {}

void FrmMain::Form_Load() {
    SetCaption(MenuCaption());
    MenuFormLoad(program_.platform, program_.records);
}

void FrmMain::OnClick(int id) {
    if (id == kInstall) cmdインストール_Click();
    if (id == kExit) cmd終了_Click();
}

void FrmMain::cmdインストール_Click() { SwitchTo(program_.windows.frmKyodaku()); }

void FrmMain::cmd終了_Click() { Unload(); }

}  // namespace setup
