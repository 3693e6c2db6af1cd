#include "install/steps.h"

#include "app/constants.h"
#include "app/error_report.h"
#include "install/components.h"

namespace setup {

namespace {

const std::wstring kTitle{kMessageTitle};

std::wstring Join(std::initializer_list<std::wstring_view> parts) {
    std::wstring text;
    for (std::wstring_view part : parts) text += part;
    return text;
}

}  // namespace

std::wstring ExistingInstallationQuestion() {
    return Join({L"既に", kProductName, L"がセットアップされています。\r\n",
                 L"セットアップを継続すると、既存の", kProductName, L"と入力したデータは全て削除されます。\r\n",
                 L"セットアップを継続しますか？"});
}

std::wstring InstallerNotRunText() {
    return Join({kProductName, L"のセットアップファイルを実行することができません。"});
}

ShortcutDefinition ApplicationShortcut() {
    ShortcutDefinition shortcut;
    shortcut.target_path = Join({kInstallRoot, L"\\", L"DAZov.mde"});
    shortcut.window_style = 1;
    shortcut.icon_location = Join({L"C:\\DAZov\\Work", L"\\", L"ZEL.ico"});
    shortcut.icon_index = 0;
    shortcut.description = std::wstring(kShortProductName);
    shortcut.working_directory = std::wstring(kInstallRoot);
    return shortcut;
}

std::wstring ShortcutFileName(const std::wstring& folder) {
    return Join({WithTrailingBackslash(folder), kShortProductName, L".lnk"});
}

bool RudIzeSteps::SetProgram() {
    bool ok = true;
    const bool no_error = Trapped(platform_, kLocSetProgram, [&] {
        const std::wstring root{kInstallRoot};
        if (platform_.FolderExists(root)) {
            // Going on keeps everything in the existing folder; the package installer decides what it replaces.
            if (platform_.ShowMessage(ExistingInstallationQuestion(), kMbQuestion, kTitle) == kAnswerNo) {
                ok = false;
                return;
            }
        } else {
            platform_.CreateFolder(root);
        }
        const std::wstring source =
            WithTrailingBackslash(platform_.ProgramFolder()) + std::wstring(kSourceFolder) + std::wstring(kPackageInstaller);
        const std::wstring copy{kInstallerCopy};
        // A copy left by an earlier run may be read-only, which would refuse the overwrite.
        if (platform_.FileExists(copy)) platform_.DeleteFileForce(copy);
        platform_.CopyFileOverwrite(source, copy);

        // The installer's exit code is not looked at: installers of this kind return non-zero on success.
        // Only ending within the time limit counts.
        if (platform_.RunAndWait(copy, kInstallerWaitMs) != WaitResult::Finished) {
            platform_.ShowMessage(InstallerNotRunText(), kMbInformation, kTitle);
            ok = false;
        }
    });
    return ok && no_error;
}

bool RudIzeSteps::SetDllFile() {
    bool ok = true;
    const bool no_error = Trapped(platform_, kLocSetDllFile, [&] {
        const ComponentFolders folders = ReadComponentFolders(platform_);
        for (const ComponentRow& row : kComponents) {
            if (!PlaceComponent(platform_, folders, row)) {
                ok = false;  // the registrar could not be started: the rows after this one are left alone
                return;
            }
        }
    });
    return ok && no_error;
}

bool RudIzeSteps::MakeIcon() {
    // Nothing here stops the installation: a shortcut that cannot be made is skipped.
    // A folder that cannot be looked up gets no shortcut at all, rather than one at the root of the drive.
    for (int folder_id : {kFolderDesktop, kFolderPrograms}) {
        std::optional<std::wstring> folder;
        Ignored([&] { folder = platform_.ShellFolder(folder_id); });
        if (!folder || folder->empty()) continue;
        Ignored([&] { platform_.SaveShortcut(ShortcutFileName(*folder), ApplicationShortcut()); });
    }
    return true;
}

bool RudIzeSteps::ExecuteRuvok() {
    bool ok = true;
    const bool no_error = Trapped(platform_, kLocExecuteRuvok, [&] {
        if (platform_.StartProgram(std::wstring(kServiceToolCommand)) == 0) {
            platform_.ShowMessage(std::wstring(kServiceToolFailedText), kMbInformation, kTitle);
            ok = false;
        }
    });
    return ok && no_error;
}

bool RudIzeSteps::DeleteSetupExe() {
    return Trapped(platform_, kLocDeleteSetupExe, [&] {
        const std::wstring copy{kInstallerCopy};
        // Already gone (the second call, normally) is success.
        if (platform_.FileExists(copy)) platform_.DeleteFileForce(copy);
    });
}

}  // namespace setup
