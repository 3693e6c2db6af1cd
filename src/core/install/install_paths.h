// Where the install puts things and what it starts, as paths and command lines.
#pragma once

#include <string>
#include <string_view>

#include "core/texts.h"

namespace setup {

// Appends "\" unless the path already ends with one.
inline std::wstring WithTrailingBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

// Where the package installer is copied to and run from: the install root + "\setup.exe". Removed again by
// DeleteSetupExe.
inline std::wstring InstallerCopyPath() { return std::wstring(kInstallRoot) + L"\\setup.exe"; }

// The folder of the install tree the service tool runs from, relative to the install root. It stays the
// administrators' after the install (the tool runs elevated and goes on running).
inline constexpr std::wstring_view kServiceToolFolder = L"Info";

// The service tool the package installer leaves in the install tree (the install root + "\Info\Ruvok.exe"),
// quoted, with "/i"; started and not waited for.
inline std::wstring ServiceToolCommand() {
    return L"\"" + std::wstring(kInstallRoot) + L"\\" + std::wstring(kServiceToolFolder) + L"\\Ruvok.exe\" /i";
}

// "ホルンデ.lnk" in the given folder.
inline std::wstring ShortcutFileName(const std::wstring& folder) {
    return WithTrailingBackslash(folder) + std::wstring(kShortProductName) + L".lnk";
}

// The registrar's command line for a file in the system folder. The registrar's own path is quoted: the system
// folder may contain blanks, and an unquoted path would let CreateProcess start another program. The registrar
// still receives "/s" and the bare file name.
inline std::wstring RegistrarCommandLine(const std::wstring& system_folder, std::wstring_view file_name) {
    return L"\"" + WithTrailingBackslash(system_folder) + L"REGSVR32.exe\" /s " + std::wstring(file_name);
}

}  // namespace setup
