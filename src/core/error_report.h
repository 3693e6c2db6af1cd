// Reporting trapped errors, and the two failure modes every trapping routine switches between.
//
// A routine is either in a trapped region, where a failure stops the region, is reported once through
// ShowErrorMessage with the routine's fixed location and makes the routine's result false, or runs an
// operation ignored, where a failure is skipped and the next operation runs. Clean-up always runs ignored.
#pragma once

#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/texts.h"

namespace setup {

// Shows the two-line report in a warning box with the shared title and waits for OK. A box that cannot be
// shown is noted as a failure, and the caller goes on as after OK.
void ShowErrorMessage(Platform& platform, std::wstring_view location, std::wstring_view description);

// A routine's trapped region. Its operations go through Check: the first failure is reported once under the
// routine's location, and Check returns false so that the routine leaves the region at once.
class Trap {
public:
    Trap(Platform& platform, std::wstring_view location) : platform_(platform), location_(location) {}
    Trap(const Trap&) = delete;
    Trap& operator=(const Trap&) = delete;

    template <class T>
    bool Check(const Result<T>& result) {
        if (result.ok()) return true;
        Report(result.error());
        return false;
    }
    // True once a failure has been reported.
    bool reported() const { return reported_; }

private:
    // A report box that cannot be shown is skipped: the routine goes on to its clean-up either way.
    void Report(const std::wstring& description);

    Platform& platform_;
    std::wstring_view location_;
    bool reported_ = false;
};

// An operation whose failure is skipped and not shown: it is only noted, under `what`. Returns false when it
// failed, for the few callers that go on differently.
template <class T>
bool Ignored(Platform& platform, const Result<T>& result, std::wstring_view what) {
    if (result.ok()) return true;
    platform.NoteFailure(what, result.error());
    return false;
}

}  // namespace setup
