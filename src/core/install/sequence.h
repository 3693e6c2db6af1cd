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

inline constexpr Milestone kMilestones[] = {
    {10, &InstallSteps::SetProgram},
    {50, &InstallSteps::DeleteSetupExe},
    {60, &InstallSteps::MakeIcon},
    {80, &InstallSteps::SetDllFile},
    {90, &InstallSteps::ExecuteRuvok},
    {95, &InstallSteps::DeleteSetupExe},
};
inline constexpr int kProgressComplete = 100;

std::wstring CompletionText();
std::wstring FailureText();

// What the sequence needs of the progress window. A failure of any of these is reported as the sequence's
// own error.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual Status DisableTimer() = 0;
    virtual Status SetProgress(int value) = 0;
    virtual Status ShowMenu() = 0;
    virtual Status HideSelf() = 0;
};

enum class SequenceOutcome { Completed, Failed };

// The whole of one timer tick of the progress window.
SequenceOutcome RunInstallSequence(ProgressView& view, InstallSteps& steps, Platform& platform);

}  // namespace setup
