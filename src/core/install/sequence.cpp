#include "core/install/sequence.h"

#include "core/constants.h"
#include "core/error_report.h"

namespace setup {

std::wstring CompletionText() { return std::wstring(kProductName) + L"のセットアップが完了しました。"; }
std::wstring FailureText() { return std::wstring(kProductName) + L"のセットアップができませんでした。"; }

namespace {

// The sequence up to its completion message. False when a step failed or the message could not be shown,
// which the tick's own trapped region has reported.
bool RunToCompletion(ProgressView& view, InstallSteps& steps, Platform& platform, Trap& trap) {
    // First, so that a message box shown by a step cannot let a second tick start the sequence again.
    view.DisableTimer();
    for (const Milestone& milestone : kMilestones) {
        view.SetProgress(milestone.value);
        // A step that fails has told the user why; the bar keeps its milestone.
        if (!(steps.*milestone.step)()) return false;
    }
    view.SetProgress(kProgressComplete);
    return trap.Check(platform.ShowMessage(CompletionText(), MessageKind::Information, std::wstring(kMessageTitle)));
}

}  // namespace

void RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform) {
    // Nothing is above this tick to take a failure: from here on the way back to the menu is all that counts.
    Trap trap(platform, kLocSequence);
    if (!RunToCompletion(view, steps, platform, trap)) {
        if (trap.reported()) view.SetProgress(0);
        Ignored(platform, platform.ShowMessage(FailureText(), MessageKind::Information, std::wstring(kMessageTitle)),
                L"failure message");
    }
    view.ReturnToMenu();
}

}  // namespace setup
