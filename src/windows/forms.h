// The program's three windows, one instance each for the whole run, and what they share: the platform, the
// medium's records, whether the install runs, the way from one window to another, and how the program ends.
#pragma once

#include <windows.h>

#include "core/error_report.h"
#include "core/install/payload_records.h"
#include "core/platform.h"
#include "core/texts.h"
#include "win32/form.h"

namespace setup {

// Whether the install sequence is running: the one place the program keeps it. While the sequence runs, Windows
// is asked to wait with log-off and shutdown (showing why, where it can), and the program's windows neither close
// nor act on a click (see FormHost): a close or a click that came in the middle of a step would end the program
// there, or bring a window up over the install.
class InstallRun : public FormHost {
public:
    bool Busy() const override { return running_; }

    // Marks the sequence as running for as long as it lives. `window` is the window Windows names when it asks
    // the session to wait.
    class Running {
    public:
        Running(InstallRun& run, HWND window)
            : run_(run),
              window_(window),
              reason_shown_(ShutdownBlockReasonCreate(window, std::wstring(kSetupRunningReason).c_str()) != FALSE) {
            run_.running_ = true;
        }
        ~Running() {
            run_.running_ = false;
            if (reason_shown_) ShutdownBlockReasonDestroy(window_);
        }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        InstallRun& run_;
        HWND window_;
        bool reason_shown_;
    };

private:
    bool running_ = false;
};

class ProgramWindow;

// How a window reaches the others: the three are made together and live as long as the program.
class ProgramWindows {
public:
    virtual ProgramWindow& frmMain() = 0;     // the setup menu, the start-up window
    virtual ProgramWindow& frmKyodaku() = 0;  // the terms agreement
    virtual ProgramWindow& frmRudIze() = 0;   // the setup progress window

protected:
    ~ProgramWindows() = default;
};

// What the windows share, all of it made before them.
struct Program {
    Platform& platform;
    const PayloadRecords& records;  // the digests of the medium's files, as setup.exe records them
    InstallRun& run;
    ProgramWindows& windows;
};

// Stops the whole program at once: no further handler of any window runs.
[[noreturn]] inline void EndProgram(UINT exit_code = 0) { ExitProcess(exit_code); }

// A window of this program: closing it ends the program.
class ProgramWindow : public Form {
public:
    ProgramWindow(const WindowDesign& design, const Program& program)
        : Form(design, program.run, program.platform), program_(program) {}

    // Shows the window. One the system cannot create ends the program, after an error report that says why:
    // an elevated program without a window to show would otherwise wait, invisible, for ever.
    void ShowOrEnd() {
        const Status shown = Show();
        if (shown.ok()) return;
        ShowErrorMessage(program_.platform, WindowCreationLocation(design().name), shown.error());
        EndProgram(1);
    }
    // Shows `next`, then hides this window, so that one window is always on screen.
    void SwitchTo(ProgramWindow& next) {
        next.ShowOrEnd();
        Hide();
    }

protected:
    void Form_Unload() override { EndProgram(); }

    const Program program_;
};

}  // namespace setup
