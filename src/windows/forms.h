// The program's three windows, one instance each for the whole run, and what they share: the platform, the
// medium's records, whether the install runs, and how the program ends.
#pragma once

#include <windows.h>

#include "core/install/payload_records.h"
#include "core/platform.h"
#include "win32/form.h"
#include "windows/install_run.h"

namespace setup {

class ProgramWindow;

struct Forms {
    ProgramWindow* frmMain = nullptr;     // the setup menu, the start-up window
    ProgramWindow* frmKyodaku = nullptr;  // the terms agreement
    ProgramWindow* frmRudIze = nullptr;   // the setup progress window
    Platform* platform = nullptr;
    // The digests of the medium's files, as setup.exe records them.
    const PayloadRecords* records = nullptr;
    InstallRun* run = nullptr;
};

// Stops the whole program at once: no further handler of any window runs.
[[noreturn]] void EndProgram(UINT exit_code = 0);

// A window of this program: closing it ends the program.
class ProgramWindow : public Form {
public:
    ProgramWindow(const WindowDesign& design, Forms& forms) : Form(design, *forms.run), forms_(forms) {}

    // Shows the window. One the system cannot create ends the program, after an error report that says why:
    // an elevated program without a window to show would otherwise wait, invisible, for ever.
    void ShowOrEnd();
    // Shows `next`, then hides this window, so that one window is always on screen.
    void SwitchTo(ProgramWindow& next);

protected:
    void Form_Unload() override { EndProgram(); }

    Forms& forms_;
};

}  // namespace setup
