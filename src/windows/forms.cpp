#include "windows/forms.h"

#include "core/error_report.h"

namespace setup {

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
