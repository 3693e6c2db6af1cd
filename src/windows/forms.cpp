#include "windows/forms.h"

#include "core/constants.h"
#include "core/error_report.h"

namespace setup {

InstallRun::Running::Running(InstallRun& run, HWND window)
    : run_(run),
      window_(window),
      reason_shown_(ShutdownBlockReasonCreate(window, std::wstring(kSetupRunningReason).c_str()) != FALSE) {
    run_.running_ = true;
}

InstallRun::Running::~Running() {
    run_.running_ = false;
    if (reason_shown_) ShutdownBlockReasonDestroy(window_);
}

void EndProgram(UINT exit_code) { ExitProcess(exit_code); }

void ProgramWindow::ShowOrEnd() {
    const Status shown = Show();
    if (shown.ok()) return;
    ShowErrorMessage(program_.platform, WindowCreationLocation(design().name), shown.error());
    EndProgram(1);
}

void ProgramWindow::SwitchTo(ProgramWindow& next) {
    next.ShowOrEnd();
    Hide();
}

}  // namespace setup
