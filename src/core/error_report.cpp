#include "core/error_report.h"


namespace setup {

void ShowErrorMessage(Platform& platform, std::wstring_view location, std::wstring_view description) {
    // The answer is always OK and is not looked at.
    Ignored(platform,
            platform.ShowMessage(ErrorMessageText(location, description), MessageKind::Warning,
                                 std::wstring(kMessageTitle)),
            L"ShowErrorMessage");
}

void Trap::Report(const std::wstring& description) {
    if (reported_) return;
    reported_ = true;
    platform_.NoteFailure(location_, description);
    ShowErrorMessage(platform_, location_, description);
}

}  // namespace setup
