// The whole program: the platform, the medium's records, whether the install runs, the three windows, whose
// window owns a message box, and the message loop. The setup menu is the start-up window; the program ends when
// any window is closed.
#pragma once

#include "core/responsive_platform.h"
#include "win32/win32_platform.h"
#include "windows/agreement/frm_kyodaku.h"
#include "windows/forms.h"
#include "windows/menu/frm_main.h"
#include "windows/progress/frm_rudize.h"

namespace setup {

class App : private ProgramWindows {
public:
    App();
    // Shows the menu and answers messages until the program ends; the exit code.
    int Run();

private:
    ProgramWindow& frmMain() override { return menu_; }
    ProgramWindow& frmKyodaku() override { return terms_; }
    ProgramWindow& frmRudIze() override { return progress_; }

    // Before anything else is loaded (see RestrictDllSearch); noted once the platform is there.
    const Status dll_search_;
    Win32Platform platform_;
    // The install runs on the windows' thread: they answer between its operations.
    ResponsivePlatform responsive_;
    // Every file copied from the medium is checked against these.
    const PayloadRecords records_;
    InstallRun run_;
    const Program program_{responsive_, records_, run_, *this};
    FrmMain menu_{program_};
    FrmKyodaku terms_{program_};
    FrmRudIze progress_{program_};
    Form* const windows_[3] = {&menu_, &terms_, &progress_};
};

}  // namespace setup
