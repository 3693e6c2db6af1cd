#include "core/install/sequence.h"

#include "core/constants.h"
#include "core/error_report.h"

namespace setup {

std::wstring CompletionText() { return std::wstring(kProductName) + L"のセットアップが完了しました。"; }
std::wstring FailureText() { return std::wstring(kProductName) + L"のセットアップができませんでした。"; }

namespace {

// The sequence up to its completion. False when a step failed or the tick's own trapped region reported one.
bool RunToCompletion(ProgressView& view, InstallSteps& steps, Platform& platform, Trap& trap) {
    // First, so that a message box shown by a step cannot let a second tick start the sequence again.
    if (!trap.Check(view.DisableTimer())) return false;
    for (const Milestone& milestone : kMilestones) {
        if (!trap.Check(view.SetProgress(milestone.value))) return false;
        // A step that fails has told the user why; the bar keeps its milestone.
        if (!(steps.*milestone.step)()) return false;
    }
    return trap.Check(view.SetProgress(kProgressComplete)) &&
           trap.Check(platform.ShowMessage(CompletionText(), kMbInformation, std::wstring(kMessageTitle))) &&
           trap.Check(view.ShowMenu()) && trap.Check(view.HideSelf());
}

}  // namespace

SequenceOutcome RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform) {
    // Nothing is above this tick to take a failure: from here on the way back to the menu is all that counts.
    Trap trap(platform, kLocSequence);
    if (RunToCompletion(view, steps, platform, trap)) return SequenceOutcome::Completed;
    if (trap.reported()) Ignored(view.SetProgress(0));

    // Failure section: nothing here may stop the way back to the menu.
    Ignored(platform.ShowMessage(FailureText(), kMbInformation, std::wstring(kMessageTitle)));
    Ignored(view.ShowMenu());
    Ignored(view.HideSelf());
    return SequenceOutcome::Failed;
}

}  // namespace setup
