#include "app/error_report.h"

#include "app/constants.h"

namespace setup {

std::wstring ErrorMessageText(std::wstring_view location, std::wstring_view description) {
    std::wstring text = L"エラー  ";
    text += location;
    text += L"\r\n情報   ";
    text += description;
    return text;
}

void ShowErrorMessage(Platform& platform, std::wstring_view location, std::wstring_view description) {
    // The answer is always OK and is not looked at.
    platform.ShowMessage(ErrorMessageText(location, description), kMbWarning, std::wstring(kMessageTitle));
}

}  // namespace setup
