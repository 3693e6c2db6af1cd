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

std::wstring ServiceToolNotRunText() { return L"システム監視サービスを実行することができません"; }

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
    shortcut.icon_location = Join({kInstallRoot, L"\\Work", L"\\", L"ZEL.ico"});
    shortcut.icon_index = 0;
    shortcut.description = std::wstring(kShortProductName);
    shortcut.working_directory = std::wstring(kInstallRoot);
    return shortcut;
}

bool RudIzeSteps::SetProgram() {
    Trap trap(platform_, kLocSetProgram);
    const std::wstring root{kInstallRoot};
    const Result<bool> installed = platform_.FolderExists(root);
    if (!trap.Check(installed)) return false;
    if (installed.value()) {
        // Going on keeps everything in the existing folder; the package installer decides what it replaces.
        const Result<Answer> answer =
            platform_.ShowMessage(ExistingInstallationQuestion(), MessageKind::Question, kTitle);
        if (!trap.Check(answer) || answer.value() != Answer::Yes) return false;
    } else if (!trap.Check(platform_.CreateFolder(root))) {
        return false;
    }
    // Any user may make the root before setup runs, or swap it while the question is open: from here on it is
    // held, so it stays the folder it is now, and only administrators may change what is in it until the
    // sequence ends. A root that leads elsewhere (a junction, say) would have this elevated program write, start
    // and delete wherever it points: it is refused, and nothing goes through it.
    Result<std::unique_ptr<FolderLock>> lock = platform_.LockFolder(root);
    if (lock.refusal() == Refusal::Link) {
        trap.Check(Status(PlatformError{InstallRootIsLinkText()}));
        return false;
    }
    if (!trap.Check(lock)) return false;
    root_lock_ = lock.take();

    const Result<std::wstring> folder = platform_.ProgramFolder();
    if (!trap.Check(folder)) return false;
    const std::wstring source =
        WithTrailingBackslash(folder.value()) + std::wstring(kSourceFolder) + std::wstring(kPackageInstaller);
    const std::wstring copy = InstallerCopyPath();
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
        trap.Check(platform_.ShowMessage(InstallerNotRunText(), MessageKind::Information, kTitle));
        return false;
    }
    return true;
}

void RudIzeSteps::ReleaseInstallRoot() {
    if (!root_lock_) return;
    // Users get back what they may do in the root: the application keeps its data there.
    Ignored(platform_, root_lock_->Release(), L"ReleaseInstallRoot");
    root_lock_.reset();
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
    // Nothing here stops the installation or is shown: whatever fails is skipped, and the rest goes on. A
    // property that cannot be set is left out of a shortcut that is still saved. A folder that cannot be looked
    // up gets no shortcut at all, rather than one at the root of the drive.
    const ShortcutDefinition definition = ApplicationShortcut();
    for (ShellFolderId folder_id : {ShellFolderId::Desktop, ShellFolderId::Programs}) {
        const std::optional<std::wstring> folder = platform_.ShellFolder(folder_id);
        if (!folder || folder->empty()) continue;
        const Result<std::unique_ptr<ShortcutFile>> created = platform_.CreateShortcut();
        if (!Ignored(platform_, created, L"CreateShortcut")) continue;
        ShortcutFile& shortcut = *created.value();
        Ignored(platform_, shortcut.SetTargetPath(definition.target_path), L"Shortcut TargetPath");
        Ignored(platform_, shortcut.SetWindowStyle(definition.window_style), L"Shortcut WindowStyle");
        Ignored(platform_, shortcut.SetIconLocation(definition.icon_location, definition.icon_index),
                L"Shortcut IconLocation");
        Ignored(platform_, shortcut.SetDescription(definition.description), L"Shortcut Description");
        Ignored(platform_, shortcut.SetWorkingDirectory(definition.working_directory), L"Shortcut WorkingDirectory");
        Ignored(platform_, shortcut.Save(ShortcutFileName(*folder)), L"Shortcut Save");
    }
    return true;
}

bool RudIzeSteps::ExecuteRuvok() {
    Trap trap(platform_, kLocExecuteRuvok);
    // In the setup program's current folder, as the tool has always been started. A start that fails is
    // reported with the system's reason; one that reports success without a task has a message of its own.
    const Result<TaskId> started = platform_.StartProgram(ServiceToolCommand(), L"");
    if (!trap.Check(started)) return false;
    if (started.value() == 0) {
        trap.Check(platform_.ShowMessage(ServiceToolNotRunText(), MessageKind::Information, kTitle));
        return false;
    }
    return true;
}

bool RudIzeSteps::DeleteSetupExe() {
    Trap trap(platform_, kLocDeleteSetupExe);
    const std::wstring copy = InstallerCopyPath();
    const Result<bool> present = platform_.FileExists(copy);
    if (!trap.Check(present)) return false;
    // Already gone (the second call, normally) is success.
    return !present.value() || trap.Check(platform_.DeleteFileForce(copy));
}

}  // namespace setup
