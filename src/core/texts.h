// Every text the program shows, in one place: the product's names and captions, the install root, the message
// boxes' texts, the error reports' locations and labels, and the terms of use. The window designs (core/design/)
// hold the fixed captions of their controls.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// ---- Names and captions.

inline constexpr std::wstring_view kProductName = L"≪ホルンデ≫サンプル版";
// A text of its own, not built from kProductName at run time.
inline constexpr std::wstring_view kMessageTitle = L"≪ホルンデ≫サンプル版のセットアップ";
inline constexpr std::wstring_view kShortProductName = L"ホルンデ";
inline constexpr std::wstring_view kInstallRoot = L"C:\\DAZov";
// Appended to the setup program's own folder to find everything that is copied.
inline constexpr std::wstring_view kSourceFolder = L"Package\\";
// What Windows shows about the program when log-off or shutdown comes while the install runs.
inline constexpr std::wstring_view kSetupRunningReason = L"≪ホルンデ≫サンプル版のセットアップ中です。";
// Every window carries the menu's caption: the product name and "のセットアップメニュー".
std::wstring MenuCaption();
// The progress window's title line: "○" + product name + "をセットアップします。"
std::wstring ProgressTitleText();

// ---- Error reports.

// Location texts, one per trapping routine, shown exactly as they stand.
inline constexpr std::wstring_view kLocMenuLoad = L"frmMain Form_Initialize()";
inline constexpr std::wstring_view kLocSetProgram = L"frmRudIze Function SetProgram()";
inline constexpr std::wstring_view kLocSetDllFile = L"frmRudIze Function SetDllFile()";
inline constexpr std::wstring_view kLocExecuteRuvok = L"frmRudIze ExecuteRuvok()";
inline constexpr std::wstring_view kLocDeleteSetupExe = L"frmRudIze DeleteSetupExe()";
inline constexpr std::wstring_view kLocSequence = L"frmRudIze cmdOK_Click";

// Where a window that cannot be created is reported: its module name and " Form_Initialize()", the routine
// that comes before the window's load (the menu's own load reports under the same text).
std::wstring WindowCreationLocation(std::wstring_view window);

// "エラー  " + location + CR LF + "情報   " + description.
std::wstring ErrorMessageText(std::wstring_view location, std::wstring_view description);

// ---- The install.

std::wstring ExistingInstallationQuestion();
std::wstring InstallerNotRunText();
// Shown when the service tool's start reports that nothing was started.
std::wstring ServiceToolNotRunText();
// The description of the report when the install root is a link to elsewhere.
std::wstring InstallRootIsLinkText();
// The descriptions of the reports when something in the install tree cannot be trusted: `path` is a link to
// elsewhere, or is owned by `owner`, who is not an administrator.
std::wstring InstallTreeLinkText(const std::wstring& path);
std::wstring InstallTreeOwnerText(const std::wstring& path, const std::wstring& owner);
// "必要ファイル（" + name + "）を登録できません。"
std::wstring RegistrationFailedText(std::wstring_view file_name);
std::wstring CompletionText();
std::wstring FailureText();

// ---- The terms agreement window, built once when it loads.

// "－ " + product display name + "の使用許諾契約書 －"
std::wstring TermsTitleLine();

// The terms of use: 35 lines joined by CR LF, none after the last.
std::wstring TermsText();

}  // namespace setup
