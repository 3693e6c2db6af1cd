// The texts of the terms agreement window, built once when it loads.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// "－ " + product display name + "の使用許諾契約書 －"
std::wstring TermsTitleLine();

// The terms of use: 35 lines joined by CR LF, none after the last.
std::wstring TermsText();

}  // namespace setup
