// The install sequence: the steps in their fixed order, the progress bar set to each step's milestone before
// the step runs, a stop at the first step that fails, and one outcome message.
#pragma once

#include <string>

#include "core/install/steps.h"
#include "core/platform.h"

namespace setup {

struct Milestone {
    int value;
    bool (InstallSteps::*step)();
};

// clang-format off
inline constexpr Milestone kMilestones[] = {
    {10, &InstallSteps::SetProgram},
    {50, &InstallSteps::DeleteSetupExe},
    {60, &InstallSteps::MakeIcon},
    {80, &InstallSteps::SetDllFile},
    {90, &InstallSteps::ExecuteRuvok},
    {95, &InstallSteps::DeleteSetupExe},
};
// clang-format on
inline constexpr int kProgressComplete = 100;

// What the sequence needs of the progress window.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void DisableTimer() = 0;
    virtual void SetProgress(int value) = 0;
    // Shows the menu, then hides the progress window.
    virtual void ReturnToMenu() = 0;
};

// The whole of one timer tick of the progress window: the steps, one outcome message, and back to the menu.
void RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform);

}  // namespace setup
