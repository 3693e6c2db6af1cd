#include "install/sequence.h"

#include "app/constants.h"
#include "app/error_report.h"

namespace setup {

std::wstring CompletionText() { return std::wstring(kProductName) + L"のセットアップが完了しました。"; }
std::wstring FailureText() { return std::wstring(kProductName) + L"のセットアップができませんでした。"; }

SequenceOutcome RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform) {
    const std::wstring title{kMessageTitle};
    try {
        // First, so that a message box shown by a step cannot let a second tick start the sequence again.
        view.DisableTimer();
        bool all_succeeded = true;
        for (const Milestone& milestone : kMilestones) {
            view.SetProgress(milestone.value);
            if (!(steps.*milestone.step)()) {
                all_succeeded = false;  // the bar keeps the milestone of the step that failed
                break;
            }
        }
        if (all_succeeded) {
            view.SetProgress(kProgressComplete);
            platform.ShowMessage(CompletionText(), kMbInformation, title);
            view.ShowMenu();
            view.HideSelf();
            return SequenceOutcome::Completed;
        }
    } catch (const PlatformError& error) {
        // Nothing is above this tick to catch a failure: from here on the way back to the menu is all that counts.
        Ignored([&] { ShowErrorMessage(platform, kLocSequence, error.description); });
        Ignored([&] { view.SetProgress(0); });
    }
    // Failure section: nothing here may stop the way back to the menu.
    Ignored([&] { platform.ShowMessage(FailureText(), kMbInformation, title); });
    Ignored([&] { view.ShowMenu(); });
    Ignored([&] { view.HideSelf(); });
    return SequenceOutcome::Failed;
}

}  // namespace setup
