#include "core/install/steps.h"

#include <cwctype>

#include "core/texts.h"
#include "core/error_report.h"
#include "core/install/components.h"

namespace setup {

namespace {

const std::wstring kTitle{kMessageTitle};

}  // namespace

bool TrustedOwner(std::wstring_view owner, std::wstring_view setup_account) {
    static constexpr std::wstring_view kTrusted[] = {
        L"S-1-5-32-544",  // Administrators
        L"S-1-5-18",      // SYSTEM
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    };
    for (std::wstring_view trusted : kTrusted) {
        if (owner == trusted) return true;
    }
    return !owner.empty() && owner == setup_account;
}

namespace {

bool InsideFolder(const std::wstring& path, std::wstring_view folder) {
    if (path.size() <= folder.size() || path[folder.size()] != L'\\') return false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (std::towlower(path[i]) != std::towlower(folder[i])) return false;
    }
    return true;
}

}  // namespace

Result<std::optional<TreeFinding>> CheckInstallTree(FolderLock& root, const std::wstring& root_path,
                                                    std::wstring_view setup_account) {
    // Folder by folder, each read through the handle of the one it is in; the folders found go on the list.
    std::vector<std::wstring> folders{L""};
    while (!folders.empty()) {
        const std::wstring folder = std::move(folders.back());
        folders.pop_back();
        const Result<std::vector<TreeEntry>> entries = root.List(folder);
        if (!entries.ok()) return entries.failure();
        for (const TreeEntry& entry : entries.value()) {
            const std::wstring relative = folder.empty() ? entry.name : folder + L"\\" + entry.name;
            const std::wstring path = root_path + L"\\" + relative;
            // Whatever goes through a link lands elsewhere.
            if (entry.link) return std::optional<TreeFinding>(TreeFinding{path, true, entry.owner_name});
            // The owner of a folder may let anyone add a link to it at any time; the owner of a file the service
            // tool loads may change it, also after the package installer has written it.
            const bool owner_counts = entry.folder || InsideFolder(relative, kServiceToolFolder);
            if (owner_counts && !TrustedOwner(entry.owner, setup_account)) {
                return std::optional<TreeFinding>(TreeFinding{path, false, entry.owner_name});
            }
            if (entry.folder) folders.push_back(relative);
        }
    }
    return std::optional<TreeFinding>();
}

ShortcutDefinition ApplicationShortcut() {
    ShortcutDefinition shortcut;
    shortcut.target_path = std::wstring(kInstallRoot) + L"\\DAZov.mde";
    shortcut.window_style = 1;
    shortcut.icon_location = std::wstring(kInstallRoot) + L"\\Work\\ZEL.ico";
    shortcut.icon_index = 0;
    shortcut.description = std::wstring(kShortProductName);
    shortcut.working_directory = std::wstring(kInstallRoot);
    return shortcut;
}

bool RudIzeSteps::TakeInstallRoot(Trap& trap, bool exists) {
    const std::wstring root{kInstallRoot};
    // A run whose package installer is still at work holds the root already.
    if (!root_lock_) {
        // A root setup makes is the administrators' from the moment it exists. Any user may make one before setup
        // runs, or swap it while the question is open: an existing root is held from here on, so it stays the
        // folder it is now. One that leads elsewhere (a junction, say) would have this elevated program write,
        // start and delete wherever it points: it is refused, and nothing goes through it.
        Result<std::unique_ptr<FolderLock>> lock = exists ? platform_.LockFolder(root) : platform_.CreateHeldFolder(root);
        if (lock.refusal() == Refusal::Link) {
            trap.Check(Status(PlatformError{InstallRootIsLinkText()}));
            return false;
        }
        if (!trap.Check(lock)) return false;
        root_lock_ = lock.take();
        made_root_ = !exists;
        tree_checked_ = false;
    }
    const Result<std::wstring> account = platform_.SetupAccount();
    if (!trap.Check(account)) return false;
    // Its owner may give it any access at any time, whatever setup gives it: only a root of the administrators'
    // is used, and it is refused before anything in it changes.
    const TreeEntry& self = root_lock_->Self();
    if (!TrustedOwner(self.owner, account.value())) {
        trap.Check(Status(PlatformError{InstallTreeOwnerText(root, self.owner_name)}));
        return false;
    }
    // Only administrators may change anything in it now; then the whole tree is checked, so that what the check
    // finds stays true until the end: no one else can add a link to a folder that an administrator owns.
    if (!trap.Check(root_lock_->Hold())) return false;
    const Result<std::optional<TreeFinding>> finding = CheckInstallTree(*root_lock_, root, account.value());
    if (!trap.Check(finding)) return false;
    if (const std::optional<TreeFinding>& found = finding.value()) {
        trap.Check(Status(PlatformError{found->link ? InstallTreeLinkText(found->path)
                                                    : InstallTreeOwnerText(found->path, found->owner_name)}));
        return false;
    }
    tree_checked_ = true;
    return true;
}

bool RudIzeSteps::SetProgram() {
    Trap trap(platform_, kLocSetProgram);
    in_sequence_ = true;
    const std::wstring root{kInstallRoot};
    const Result<bool> installed = platform_.FolderExists(root);
    if (!trap.Check(installed)) return false;
    if (installed.value()) {
        // Going on keeps everything in the existing folder; the package installer decides what it replaces.
        const Result<Answer> answer =
            platform_.ShowMessage(ExistingInstallationQuestion(), MessageKind::Question, kTitle);
        if (!trap.Check(answer) || answer.value() != Answer::Yes) return false;
    }
    if (!TakeInstallRoot(trap, installed.value())) return false;

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
    Result<CopyRun> run = platform_.RunCopyAndWait(source, copy, records_.Find(kPackageInstaller), kInstallerWaitMs);
    if (!trap.Check(run)) return false;
    // An installer that runs on after its time runs elevated from the root: the root stays held until it ends.
    const WaitResult ran = run.value().result;
    if (ran == WaitResult::TimedOut) installer_ = run.take().still_running;
    if (ran != WaitResult::Finished) {
        trap.Check(platform_.ShowMessage(InstallerNotRunText(), MessageKind::Information, kTitle));
        return false;
    }
    return true;
}

void RudIzeSteps::ReleaseInstallRoot() {
    in_sequence_ = false;
    if (installer_ && !release_waits_) {
        release_waits_ = true;
        platform_.WhenEnded(std::move(installer_), [this] {
            release_waits_ = false;
            // An install started again meanwhile gives the root back at its own end.
            if (!in_sequence_) GiveBackInstallRoot();
        });
    }
    if (!release_waits_) GiveBackInstallRoot();
}

void RudIzeSteps::GiveBackInstallRoot() {
    if (!root_lock_) return;
    // Users get back what they may do in the root: the application keeps its data there. A root setup made, or
    // one a cut-off run left held, gets what its parent passes on: the held access is not what it had before.
    // The service tool's folder stays the administrators': the tool runs on elevated from it.
    const GiveBack back_to = made_root_ || root_lock_->FoundHeld() ? GiveBack::FromParent : GiveBack::Earlier;
    Ignored(platform_, root_lock_->Release(back_to, tree_checked_ ? kServiceToolFolder : std::wstring_view()),
            L"ReleaseInstallRoot");
    root_lock_.reset();
    tree_checked_ = false;
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
    // They are the desk user's: looked up and written with that user's rights, so that they land on the desktop
    // of the person installing (also when an administrator elevated setup for them), and a link planted under
    // the shortcut's name leads only where that user could write anyway. Without a shell, as setup itself.
    const Result<std::unique_ptr<DeskUser>> desk = platform_.FindDeskUser();
    const DeskUser* as = Ignored(platform_, desk, L"FindDeskUser") ? desk.value().get() : nullptr;
    for (ShellFolderId folder_id : {ShellFolderId::Desktop, ShellFolderId::Programs}) {
        const std::optional<std::wstring> folder = platform_.ShellFolder(folder_id, as);
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
        Ignored(platform_, shortcut.Save(ShortcutFileName(*folder), as), L"Shortcut Save");
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
