#include "core/install/install_paths.h"

#include "core/texts.h"

namespace setup {

std::wstring WithTrailingBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring InstallerCopyPath() { return std::wstring(kInstallRoot) + L"\\setup.exe"; }

std::wstring ServiceToolCommand() {
    return L"\"" + std::wstring(kInstallRoot) + L"\\" + std::wstring(kServiceToolFolder) + L"\\Ruvok.exe\" /i";
}

std::wstring ShortcutFileName(const std::wstring& folder) {
    return WithTrailingBackslash(folder) + std::wstring(kShortProductName) + L".lnk";
}

std::wstring RegistrarCommandLine(const std::wstring& system_folder, std::wstring_view file_name) {
    std::wstring line = L"\"";
    line += WithTrailingBackslash(system_folder);
    line += L"REGSVR32.exe\" /s ";
    line += file_name;
    return line;
}

}  // namespace setup
