#include "install/components.h"

#include "app/constants.h"
#include "app/error_report.h"

namespace setup {

std::wstring WithTrailingBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

ComponentFolders ReadComponentFolders(Platform& platform) {
    ComponentFolders folders;
    folders.system = WithTrailingBackslash(platform.SystemFolder());
    folders.setup = WithTrailingBackslash(platform.ProgramFolder());
    return folders;
}

std::uint32_t NormalisedAttributes(std::uint32_t attributes) {
    if (attributes & kAttrReadOnly) attributes -= kAttrReadOnly;
    if (!(attributes & kAttrArchive)) attributes += kAttrArchive;
    return attributes;
}

std::wstring RegistrarCommandLine(const std::wstring& system_folder, std::wstring_view file_name) {
    std::wstring line = L"\"";
    line += WithTrailingBackslash(system_folder);
    line += L"REGSVR32.exe\" /s ";
    line += file_name;
    return line;
}

std::wstring RegistrationFailedText(std::wstring_view file_name) {
    std::wstring text = L"必要ファイル（";
    text += file_name;
    text += L"）を登録できません。";
    return text;
}

namespace {

// Before the copy: an existing read-only file would refuse to be overwritten, so clear that bit first.
void ClearReadOnlyIfPresent(Platform& platform, const std::wstring& target) {
    if (!platform.FileExists(target)) return;  // nothing there yet: nothing to clear
    const std::uint32_t attributes = platform.GetAttributes(target);
    if (attributes & kAttrReadOnly) platform.SetAttributes(target, attributes - kAttrReadOnly);
}

// After the copy: each write stands alone, so that a refused one does not keep the other from being tried.
void NormaliseAttributes(Platform& platform, const std::wstring& target) {
    std::uint32_t attributes = 0;
    if (!Ignored([&] { attributes = platform.GetAttributes(target); })) return;  // no file to fix up
    if (attributes & kAttrReadOnly) {
        attributes -= kAttrReadOnly;
        Ignored([&] { platform.SetAttributes(target, attributes); });
    }
    if (!(attributes & kAttrArchive)) {
        attributes += kAttrArchive;
        Ignored([&] { platform.SetAttributes(target, attributes); });
    }
}

}  // namespace

bool PlaceComponent(Platform& platform, const ComponentFolders& folders, const ComponentRow& row) {
    const std::wstring target = folders.system + std::wstring(row.name);
    const std::wstring source = folders.setup + std::wstring(kSourceFolder) + std::wstring(row.name);

    if (row.check == CheckMode::Trapped) {
        ClearReadOnlyIfPresent(platform, target);
    } else {
        Ignored([&] { ClearReadOnlyIfPresent(platform, target); });
    }

    // From here on nothing is reported: a failed copy (source missing, target protected) leaves whatever file
    // is in the system folder, and that one is normalised and registered.
    Ignored([&] { platform.CopyFileOverwrite(source, folders.system); });
    NormaliseAttributes(platform, target);
    if (!row.registered) return true;

    // The registrar is not waited for: its outcome is never looked at, and "/s" keeps it silent.
    std::uint32_t task = 0;
    Ignored([&] { task = platform.StartProgram(RegistrarCommandLine(folders.system, row.name)); });
    if (task != 0) return true;
    // Still in the row's ignored part: a box that cannot be shown is skipped, and the row still fails.
    Ignored([&] {
        platform.ShowMessage(RegistrationFailedText(row.name), kMbInformation, std::wstring(kMessageTitle));
    });
    return false;
}

}  // namespace setup
