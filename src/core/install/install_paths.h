// Where the install puts things and what it starts, as paths and command lines.
#pragma once

#include <string>
#include <string_view>

namespace setup {

// Appends "\" unless the path already ends with one.
std::wstring WithTrailingBackslash(std::wstring path);

// Where the package installer is copied to and run from: the install root + "\setup.exe". Removed again by
// DeleteSetupExe.
std::wstring InstallerCopyPath();

// The folder of the install tree the service tool runs from, relative to the install root. It stays the
// administrators' after the install (the tool runs elevated and goes on running).
inline constexpr std::wstring_view kServiceToolFolder = L"Info";

// The service tool the package installer leaves in the install tree (the install root + "\Info\Ruvok.exe"),
// quoted, with "/i"; started and not waited for.
std::wstring ServiceToolCommand();

// "ホルンデ.lnk" in the given folder.
std::wstring ShortcutFileName(const std::wstring& folder);

// The registrar's command line for a file in the system folder. The registrar's own path is quoted: the system
// folder may contain blanks, and an unquoted path would let CreateProcess start another program. The registrar
// still receives "/s" and the bare file name.
std::wstring RegistrarCommandLine(const std::wstring& system_folder, std::wstring_view file_name);

}  // namespace setup
