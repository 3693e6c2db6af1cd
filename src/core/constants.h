// Fixed paths shared by the windows and the install steps. Each is defined once, here; the texts the program
// shows are in core/texts.h.
#pragma once

#include <string_view>

namespace setup {

inline constexpr std::wstring_view kInstallRoot = L"C:\\DAZov";
// Appended to the setup program's own folder to find everything that is copied.
inline constexpr std::wstring_view kSourceFolder = L"Package\\";

}  // namespace setup
