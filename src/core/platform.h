// The narrow interface between the setup logic and the machine it runs on.
//
// Everything here is in the program's own terms: paths are std::wstring, kinds of message box, answers and
// shell folders are the program's own enumerations, and no Windows type or number appears. The Win32
// implementation lives in win32/, the in-memory double used by the native tests in tests/unit/.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "core/sha256.h"

namespace setup {


// File attribute bits the setup steps read and change, as the file service counts them. No other bit is ever
// touched: the steps add and take away these two and write back everything else as they read it.
inline constexpr std::uint32_t kAttrReadOnly = 1;
inline constexpr std::uint32_t kAttrArchive = 32;

// The three message boxes the program shows.
enum class MessageKind {
    Warning,      // exclamation icon, OK: error reports
    Information,  // information icon, OK: notices and outcomes
    Question,     // question icon, Yes and No, Yes the default
};

// The button that closed a message box.
enum class Answer { Ok, Yes, No };

// What a started program is known by. 0 means that nothing was started.
using TaskId = std::uint32_t;

// How a waited-for program ended.
enum class WaitResult {
    Finished,    // ended within the time limit (its exit code is not looked at)
    TimedOut,    // still running when the limit was reached; it is left running
    NotStarted,  // could not be started
    Failed,      // started, but the wait itself failed
};

// The person at the desk: the user of the desktop's shell, which may not be the account setup runs as (an
// administrator may have typed their password for the user). What setup does for that user alone (their
// shortcuts) it does with their rights.
class DeskUser {
public:
    virtual ~DeskUser() = default;
};

// A program setup started and waited for, that had not ended when its time was up. It is not waited for any
// more, but its end can be awaited (Platform::WhenEnded).
class RunningProgram {
public:
    virtual ~RunningProgram() = default;
};

// How the package installer's run came out.
struct CopyRun {
    WaitResult result = WaitResult::NotStarted;
    // Set when the result is WaitResult::TimedOut: the installer, still running.
    std::unique_ptr<RunningProgram> still_running;
};

// The shell folders the shortcut step looks up.
enum class ShellFolderId {
    Desktop,   // the user's desktop
    Programs,  // the Programs folder of the user's start menu
};

// What a shell shortcut (.lnk) holds, written through the shell's own shortcut object.
struct ShortcutDefinition {
    std::wstring target_path;
    int window_style = 1;
    std::wstring icon_location;
    int icon_index = 0;
    std::wstring description;
    std::wstring working_directory;
};

// A shortcut being made through the shell: its properties set one at a time, then written to a file.
class ShortcutFile {
public:
    virtual ~ShortcutFile() = default;
    virtual Status SetTargetPath(const std::wstring& path) = 0;
    // How the target's window opens (1: a normal window).
    virtual Status SetWindowStyle(int style) = 0;
    virtual Status SetIconLocation(const std::wstring& path, int index) = 0;
    virtual Status SetDescription(const std::wstring& text) = 0;
    virtual Status SetWorkingDirectory(const std::wstring& path) = 0;
    // Writes the shortcut with the properties set so far, replacing a file of the same name: with the rights of
    // `as`, or as setup itself when that is null.
    virtual Status Save(const std::wstring& path, const DeskUser* as) = 0;
};

// One thing in a held folder's tree, as read through a handle that was opened from its folder's handle without
// following a link.
struct TreeEntry {
    std::wstring name;  // its name in its folder; empty for the held folder itself
    bool folder = false;
    // A junction, a symbolic link, a mount point or another reparse point; or a file with more than one name (a
    // hard link). Whatever is written to it lands somewhere else.
    bool link = false;
    std::wstring owner;       // the owner's security identifier, as text ("S-1-5-32-544")
    std::wstring owner_name;  // the owner's account name ("PC\user"), or the identifier when it has none
};

// How a held folder's access is given back.
enum class GiveBack {
    Earlier,     // the access it had when it was taken
    FromParent,  // only what its parent folder passes on (a folder setup made, or one a cut-off run left held)
};

// A folder held by the setup program (Platform::LockFolder, Platform::CreateHeldFolder). While the lock lives,
// the folder cannot be renamed, deleted or replaced. Once held (Hold), only administrators and the system may
// change anything in it (users may read and run what is there): so nothing that runs elevated from it can be
// swapped meanwhile.
class FolderLock {
public:
    virtual ~FolderLock() = default;
    // The folder itself, as its handle shows it.
    virtual const TreeEntry& Self() const = 0;
    // True when the folder carried the held access already when it was taken: a run before was cut off while it
    // held it, or setup has just made it.
    virtual bool FoundHeld() const = 0;
    // Gives the folder the held access, which what is inside takes on.
    virtual Status Hold() = 0;
    // What is directly inside `folder`, a path below the held folder ("Info", "Work\Data"; empty: the held
    // folder itself), each opened from its folder's handle without following a link.
    virtual Result<std::vector<TreeEntry>> List(const std::wstring& folder) = 0;
    // Lets the folder go. When it was held: its subfolder `keep` (empty: none) first gets an access of its own,
    // protected from what the folder passes on, that only administrators and the system may change (users
    // may read and run); then the folder gets `back_to`, and what is inside takes it on.
    virtual Status Release(GiveBack back_to, std::wstring_view keep) = 0;
};

// A file of the medium read and checked, waiting beside its destination (Platform::StageCopy). Put in place, it
// replaces the destination; a staged copy never put in place is thrown away with the object.
class StagedCopy {
public:
    virtual ~StagedCopy() = default;
    // Replaces the destination with the checked copy, keeping the source's attributes, marked for backup. A
    // read-only destination is not replaced, as CopyFile does not replace one.
    virtual Status PutInPlace() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // ---- File system.

    // The Windows system folder, as the platform gives it (with or without a trailing backslash).
    virtual Result<std::wstring> SystemFolder() = 0;
    // The folder of the running setup program: no trailing backslash except at a drive root ("D:\").
    virtual Result<std::wstring> ProgramFolder() = 0;
    virtual Result<bool> FolderExists(const std::wstring& path) = 0;
    // Takes hold of the folder `path` for as long as the lock lives (see FolderLock); its access is left as it is
    // until Hold. A folder that leads elsewhere (a junction, a symbolic link) is refused (Refusal::Link) and is
    // not touched.
    virtual Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path) = 0;
    // Makes one folder (its parent must exist) with the held access from the moment it exists, and takes hold
    // of it as LockFolder does.
    virtual Result<std::unique_ptr<FolderLock>> CreateHeldFolder(const std::wstring& path) = 0;
    virtual Result<bool> FileExists(const std::wstring& path) = 0;
    virtual Result<std::uint32_t> GetAttributes(const std::wstring& path) = 0;
    virtual Status SetAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
    // Reads `source` once into a new file beside its destination, checked against `expected` (its digest as
    // recorded in setup.exe) as it is read. A destination ending in a backslash is a folder: the file keeps its
    // name there; any other destination is the full path. Without a record, or when the digest differs, the copy
    // fails as unverified, and nothing is left of it: the destination is not touched before the copy is checked.
    virtual Result<std::unique_ptr<StagedCopy>> StageCopy(const std::wstring& source, const std::wstring& destination,
                                                          const std::optional<Sha256Digest>& expected) = 0;
    // Deletes a file, read-only or not.
    virtual Status DeleteFileForce(const std::wstring& path) = 0;

    // ---- Processes.

    // Starts a command line (quoted program path, then arguments) in a normal window that does not take the
    // focus, with `current_folder` as its current folder (empty: the setup program's own), and returns at
    // once with the started program's task id. A start that fails is the failure; a start mechanism that
    // reports success without starting anything gives 0. The started program is not waited for.
    virtual Result<TaskId> StartProgram(const std::wstring& command_line, const std::wstring& current_folder) = 0;
    // Copies `source` to `copy`, a file that must not exist yet, checked against `expected` as StageCopy
    // checks, as a file that no one but administrators and the system may change. It is held
    // open, shared for reading only, until it has been started: with no arguments, the inherited environment
    // and current folder. Then waits for it to end for at most `timeout_ms`; the program's windows stay painted
    // meanwhile. A copy that cannot be made is the failure, and nothing is started; a start that fails is
    // WaitResult::NotStarted.
    virtual Result<CopyRun> RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                           const std::optional<Sha256Digest>& expected, std::uint32_t timeout_ms) = 0;
    // Calls `ended` once `program` has ended, from the program's message loop: the windows go on as usual
    // meanwhile. If setup ends first, it is never called.
    virtual void WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) = 0;

    // ---- Accounts.

    // The security identifier of the account setup runs as, as text.
    virtual Result<std::wstring> SetupAccount() = 0;
    // The person at the desk (see DeskUser), or null when there is no shell to tell (setup then does their work
    // as itself).
    virtual Result<std::unique_ptr<DeskUser>> FindDeskUser() = 0;

    // ---- Shell.

    // The path of a shell folder of `as` (null: of the account setup runs as), or nothing when the lookup fails
    // or gives no path.
    virtual std::optional<std::wstring> ShellFolder(ShellFolderId folder, const DeskUser* as) = 0;
    // A new shortcut object of the shell, with no property set yet.
    virtual Result<std::unique_ptr<ShortcutFile>> CreateShortcut() = 0;

    // ---- User interface.

    // A standard message box, modal for the whole program; returns the button that closed it.
    virtual Result<Answer> ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) = 0;

    // ---- Failures nobody is shown.

    // Every failure the program skips, and every one it reports, ends up here once: `what` names the
    // operation. The user sees nothing of it (there is no log file); on Windows a debugger does.
    virtual void NoteFailure(std::wstring_view what, std::wstring_view description) = 0;
};

}  // namespace setup
