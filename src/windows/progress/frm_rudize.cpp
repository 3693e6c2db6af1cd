#include "windows/progress/frm_rudize.h"

#include <commctrl.h>

#include "core/texts.h"
#include "core/design/progress_design.h"
#include "win32/errors.h"

namespace setup {

using namespace progress_design;

namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1IntervalMs = 100;

}  // namespace

FrmRudIze::FrmRudIze(const Program& program)
    : ProgramWindow(kDesign, program), steps_(program.platform, program.records) {}

void FrmRudIze::Form_Load() {
    SetCaption(MenuCaption());
    SetText(kTitle, ProgressTitleText());
    SetText(kDestination, std::wstring(kInstallRoot));
    // The bar is made with its range of 0 to 100; it starts at 0. The timer is not armed until the click.
    SendMessageW(Child(kProgressBar1), PBM_SETPOS, 0, 0);
}

void FrmRudIze::OnClick(int id) {
    if (id == kOK) cmdOK_Click();
    if (id == kCancel) cmdキャンセル_Click();
}

void FrmRudIze::cmdOK_Click() {
    SetText(kDestination, std::wstring(kInstallRoot));
    // Only arm the timer: the sequence starts on its first tick, once the window has repainted.
    // A second click before the tick just restarts the interval.
    if (SetTimer(hwnd(), kTimer1, kTimer1IntervalMs, nullptr)) return;
    program_.platform.NoteFailure(L"SetTimer Timer1", LastError().description);
}

void FrmRudIze::cmdキャンセル_Click() {
    // Cancelled between the click on "セットアップ" and its tick: the armed timer stops, so no step runs.
    KillTimer(hwnd(), kTimer1);
    SwitchTo(program_.windows.frmKyodaku());
}

void FrmRudIze::Timer1_Timer() {
    // Until the menu is back, the session waits, and no window of the program closes or acts on a click.
    const InstallRun::Running running(program_.run, hwnd());
    RunInstallSequence(*this, steps_, program_.platform);
}

bool FrmRudIze::OnMessage(UINT message, WPARAM wparam, LPARAM, LRESULT& result) {
    if (message == WM_TIMER && wparam == kTimer1) {
        // A tick already waiting when the sequence turned the timer off does not start it a second time.
        if (!program_.run.Busy()) Timer1_Timer();
        result = 0;
        return true;
    }
    return false;
}

void FrmRudIze::DisableTimer() { KillTimer(hwnd(), kTimer1); }

void FrmRudIze::SetProgress(int value) { SendMessageW(Child(kProgressBar1), PBM_SETPOS, value, 0); }

void FrmRudIze::ReturnToMenu() { SwitchTo(program_.windows.frmMain()); }

}  // namespace setup
