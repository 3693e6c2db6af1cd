#include "core/install/steps.h"

#include "core/constants.h"
#include "core/error_report.h"
#include "core/install/components.h"

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
    return Join({L"既に", kProductName, L"がセットアップされています。\r\n", L"セットアップを継続すると、既存の",
                 kProductName, L"と入力したデータは全て削除されます。\r\n", L"セットアップを継続しますか？"});
}

std::wstring InstallerNotRunText() {
    return Join({kProductName, L"のセットアップファイルを実行することができません。"});
}

std::wstring InstallRootIsLinkText() {
    return Join({L"セットアップ先 ", kInstallRoot,
                 L" は別の場所を指すリンク（ジャンクションまたはシンボリック リンク）のため、使用できません。"});
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
    Trap trap(platform_, kLocSetProgram);
    const std::wstring root{kInstallRoot};
    // A root that leads elsewhere (planted by someone before setup ran, say) would have this elevated program
    // write and delete wherever it points: refused before anything is asked, written or deleted through it.
    const Result<bool> link = platform_.IsLink(root);
    if (!trap.Check(link)) return false;
    if (link.value()) {
        trap.Check(Status(PlatformError{InstallRootIsLinkText()}));
        return false;
    }
    const Result<bool> installed = platform_.FolderExists(root);
    if (!trap.Check(installed)) return false;
    if (installed.value()) {
        // Going on keeps everything in the existing folder; the package installer decides what it replaces.
        const Result<int> answer = platform_.ShowMessage(ExistingInstallationQuestion(), kMbQuestion, kTitle);
        if (!trap.Check(answer) || answer.value() == kAnswerNo) return false;
    } else if (!trap.Check(platform_.CreateFolder(root))) {
        return false;
    }
    const Result<std::wstring> folder = platform_.ProgramFolder();
    if (!trap.Check(folder)) return false;
    const std::wstring source =
        WithTrailingBackslash(folder.value()) + std::wstring(kSourceFolder) + std::wstring(kPackageInstaller);
    const std::wstring copy{kInstallerCopy};
    // A copy left by an earlier run (read-only, perhaps) makes room for the new one, which is always a new file.
    const Result<bool> left_over = platform_.FileExists(copy);
    if (!trap.Check(left_over)) return false;
    if (left_over.value() && !trap.Check(platform_.DeleteFileForce(copy))) return false;

    // The copy is checked against the medium's record and cannot be changed before it runs; a copy that cannot
    // be made is reported here, and nothing is started. The installer's exit code is not looked at: installers
    // of this kind return non-zero on success. Only ending within the time limit counts.
    const Result<WaitResult> run =
        platform_.RunCopyAndWait(source, copy, records_.Find(kPackageInstaller), kInstallerWaitMs);
    if (!trap.Check(run)) return false;
    if (run.value() != WaitResult::Finished) {
        trap.Check(platform_.ShowMessage(InstallerNotRunText(), kMbInformation, kTitle));
        return false;
    }
    return true;
}

bool RudIzeSteps::SetDllFile() {
    Trap trap(platform_, kLocSetDllFile);
    const Result<ComponentFolders> folders = ReadComponentFolders(platform_);
    if (!trap.Check(folders)) return false;
    for (const ComponentRow& row : kComponents) {
        // A reported failure, or a registrar that could not be started: the rows after this one are left alone.
        if (!PlaceComponent(platform_, folders.value(), row, records_, trap)) return false;
    }
    return true;
}

bool RudIzeSteps::MakeIcon() {
    // Nothing here stops the installation: a shortcut that cannot be made is skipped.
    // A folder that cannot be looked up gets no shortcut at all, rather than one at the root of the drive.
    for (int folder_id : {kFolderDesktop, kFolderPrograms}) {
        const std::optional<std::wstring> folder = platform_.ShellFolder(folder_id);
        if (!folder || folder->empty()) continue;
        Ignored(platform_.SaveShortcut(ShortcutFileName(*folder), ApplicationShortcut()));
    }
    return true;
}

bool RudIzeSteps::ExecuteRuvok() {
    Trap trap(platform_, kLocExecuteRuvok);
    // Either the tool is started, or the start fails and is reported with the system's reason: a started
    // process always has an id, so there is no start that yields none.
    // In the setup program's current folder, as the tool has always been started.
    return trap.Check(platform_.StartProgram(std::wstring(kServiceToolCommand), L""));
}

bool RudIzeSteps::DeleteSetupExe() {
    Trap trap(platform_, kLocDeleteSetupExe);
    const std::wstring copy{kInstallerCopy};
    const Result<bool> present = platform_.FileExists(copy);
    if (!trap.Check(present)) return false;
    // Already gone (the second call, normally) is success.
    return !present.value() || trap.Check(platform_.DeleteFileForce(copy));
}

}  // namespace setup
