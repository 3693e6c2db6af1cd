#include "core/error_report.h"

#include "core/constants.h"

namespace setup {

std::wstring WindowCreationLocation(std::wstring_view window) {
    std::wstring location(window);
    location += L" Form_Initialize()";
    return location;
}

std::wstring ErrorMessageText(std::wstring_view location, std::wstring_view description) {
    std::wstring text = L"エラー  ";
    text += location;
    text += L"\r\n情報   ";
    text += description;
    return text;
}

Status ShowErrorMessage(Platform& platform, std::wstring_view location, std::wstring_view description) {
    // The answer is always OK and is not looked at.
    const Result<int> shown =
        platform.ShowMessage(ErrorMessageText(location, description), kMbWarning, std::wstring(kMessageTitle));
    if (!shown.ok()) return shown.failure();
    return Done{};
}

void Trap::Report(const std::wstring& description) {
    if (reported_) return;
    reported_ = true;
    Ignored(ShowErrorMessage(platform_, location_, description));
}

}  // namespace setup
