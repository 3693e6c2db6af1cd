// Fixed texts and paths shared by the windows and the install steps. Each is defined once, here.
#pragma once

#include <string>
#include <string_view>

namespace setup {

inline constexpr std::wstring_view kProductName = L"≪ホルンデ≫サンプル版";
// A text of its own, not built from kProductName at run time.
inline constexpr std::wstring_view kMessageTitle = L"≪ホルンデ≫サンプル版のセットアップ";
inline constexpr std::wstring_view kShortProductName = L"ホルンデ";
inline constexpr std::wstring_view kInstallRoot = L"C:\\DAZov";
// Appended to the setup program's own folder to find everything that is copied.
inline constexpr std::wstring_view kSourceFolder = L"Package\\";

// What Windows shows about the program when log-off or shutdown comes while the install runs.
inline constexpr std::wstring_view kSetupRunningReason = L"≪ホルンデ≫サンプル版のセットアップ中です。";

// Every window carries the menu's caption: the product name and this.
inline constexpr std::wstring_view kCaptionSuffix = L"のセットアップメニュー";
inline std::wstring MenuCaption() { return std::wstring(kProductName) + std::wstring(kCaptionSuffix); }

}  // namespace setup
