#include "core/install/sequence.h"

#include "core/texts.h"
#include "core/error_report.h"

namespace setup {

namespace {

// The steps in their order, the bar set to each one's milestone first. False at the first step that fails,
// which has told the user why; the bar keeps its milestone.
bool RunSteps(ProgressView& view, InstallSteps& steps) {
    for (const Milestone& milestone : kMilestones) {
        view.SetProgress(milestone.value);
        if (!(steps.*milestone.step)()) return false;
    }
    return true;
}

}  // namespace

void RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform) {
    // Nothing is above this tick to take a failure: from here on the way back to the menu is all that counts.
    Trap trap(platform, kLocSequence);
    // First, so that a message box shown by a step cannot let a second tick start the sequence again.
    view.DisableTimer();
    const bool installed = RunSteps(view, steps);
    // Whatever came of it, setup runs nothing more from the install root: users get it back before the outcome.
    steps.ReleaseInstallRoot();
    bool completed = false;
    if (installed) {
        view.SetProgress(kProgressComplete);
        completed =
            trap.Check(platform.ShowMessage(CompletionText(), MessageKind::Information, std::wstring(kMessageTitle)));
    }
    if (!completed) {
        if (trap.reported()) view.SetProgress(0);
        Ignored(platform, platform.ShowMessage(FailureText(), MessageKind::Information, std::wstring(kMessageTitle)),
                L"failure message");
    }
    view.ReturnToMenu();
}

}  // namespace setup
