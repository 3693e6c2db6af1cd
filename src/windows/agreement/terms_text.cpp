#include "windows/agreement/terms_text.h"

#include "app/constants.h"

namespace setup {

std::wstring TermsTitleLine() { return L"－ " + std::wstring(kProductName) + L"の使用許諾契約書 －"; }

std::wstring TermsText() { return L""; }

}  // namespace setup
