#include "win32/win32_platform.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>
#include <vector>

#include "win32/attributes.h"
#include "win32/errors.h"
#include "win32/folder_lock.h"
#include "win32/handles.h"
#include "win32/process_start.h"
#include "win32/responsiveness.h"
#include "win32/system_library.h"
#include "win32/verified_copy.h"

namespace setup {

using win32::ComPtr;
using win32::ProcessInformation;
using win32::UniqueFileHandle;

namespace {

// The file service counts attributes as Windows does: the two bits the steps touch pass through unchanged.
static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrArchive == FILE_ATTRIBUTE_ARCHIVE);

PlatformError HresultError(HRESULT hr) { return PlatformError{DescribeError(static_cast<DWORD>(hr))}; }

}  // namespace

Result<std::wstring> Win32Platform::SystemFolder() {
    std::optional<std::wstring> folder = win32::SystemDirectory();
    if (!folder) return LastError();
    return std::move(*folder);
}

Result<std::wstring> Win32Platform::ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = 0;
    for (;;) {
        length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return LastError();
        // A full buffer means the path was cut short.
        if (length < buffer.size()) break;
        buffer.resize(buffer.size() * 2);
    }
    std::wstring folder(buffer.data(), length);
    const auto slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos) folder.erase(slash);
    // A drive root keeps its backslash: "D:" alone would mean the drive's current folder.
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
    return folder;
}

Result<bool> Win32Platform::FolderExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Result<std::unique_ptr<FolderLock>> Win32Platform::LockFolder(const std::wstring& path) {
    return win32::LockFolder(path);
}

Result<std::unique_ptr<FolderLock>> Win32Platform::CreateHeldFolder(const std::wstring& path) {
    return win32::CreateHeldFolder(path);
}

Result<bool> Win32Platform::FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Result<std::uint32_t> Win32Platform::GetAttributes(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    // FILE_ATTRIBUTE_NORMAL stands for "no bits set"; callers see that as 0.
    return static_cast<std::uint32_t>(attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
}

Status Win32Platform::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    if (!::SetFileAttributesW(path.c_str(), win32::SettableAttributes(attributes))) return LastError();
    return Done{};
}

Result<std::unique_ptr<StagedCopy>> Win32Platform::StageCopy(const std::wstring& source,
                                                             const std::wstring& destination,
                                                             const std::optional<Sha256Digest>& expected) {
    return win32::StageCheckedCopy(*this, source, destination, expected);
}

Status Win32Platform::DeleteFileForce(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !::SetFileAttributesW(path.c_str(), win32::SettableAttributes(attributes & ~FILE_ATTRIBUTE_READONLY))) {
        return LastError();
    }
    if (!::DeleteFileW(path.c_str())) return LastError();
    return Done{};
}

Result<TaskId> Win32Platform::StartProgram(const std::wstring& command_line, const std::wstring& current_folder) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;  // a normal window that leaves the focus with us

    ProcessInformation process;
    if (!win32::CreateProcessPreferringSystem32(*this, nullptr, writable.data(), 0,
                                                current_folder.empty() ? nullptr : current_folder.c_str(), startup,
                                                process.put())) {
        return LastError();
    }
    // Started and let go: nobody waits for it, so its handles are closed at once.
    return TaskId{process.id()};
}

namespace {

// A program still running after its time, by its process handle.
class StartedProgram : public RunningProgram {
public:
    explicit StartedProgram(ProcessInformation process) : process_(std::move(process)) {}
    bool Ended() const { return ::WaitForSingleObject(process_.process(), 0) != WAIT_TIMEOUT; }

private:
    ProcessInformation process_;
};

struct Awaited {
    std::unique_ptr<StartedProgram> program;
    std::function<void()> ended;
};

// What WhenEnded waits for. One thread uses it: the windows', which runs the timer.
std::vector<Awaited>& AwaitedPrograms() {
    static std::vector<Awaited> awaited;
    return awaited;
}

void CALLBACK LookForEndedPrograms(HWND, UINT, UINT_PTR timer, DWORD) {
    std::vector<Awaited>& awaited = AwaitedPrograms();
    std::vector<std::function<void()>> ended;
    for (auto it = awaited.begin(); it != awaited.end();) {
        if (it->program->Ended()) {
            ended.push_back(std::move(it->ended));
            it = awaited.erase(it);
        } else {
            ++it;
        }
    }
    if (awaited.empty()) ::KillTimer(nullptr, timer);
    for (auto& call : ended) call();
}

}  // namespace

Result<CopyRun> Win32Platform::RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                              const std::optional<Sha256Digest>& expected, std::uint32_t timeout_ms) {
    UniqueFileHandle held;
    const Status written = win32::WriteHeldCopy(*this, source, copy, expected, held);
    if (!written.ok()) return written.failure();

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ProcessInformation process;
    const BOOL started =
        win32::CreateProcessPreferringSystem32(*this, copy.c_str(), nullptr, 0, nullptr, startup, process.put());
    // Running, the program is the file held until now; from here on the installer may open itself as it likes.
    held.reset();
    CopyRun run;
    if (!started) return run;  // WaitResult::NotStarted

    // Our windows keep painting and answering while we wait, so Windows never marks them as hung.
    switch (WaitAnswering(process.process(), timeout_ms)) {
        case WAIT_OBJECT_0:
            run.result = WaitResult::Finished;
            break;
        case WAIT_TIMEOUT:
            run.result = WaitResult::TimedOut;
            run.still_running = std::make_unique<StartedProgram>(std::move(process));
            break;
        default:
            run.result = WaitResult::Failed;
            break;
    }
    return run;
}

void Win32Platform::WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) {
    if (!program) return;
    std::vector<Awaited>& awaited = AwaitedPrograms();
    if (awaited.empty() && !::SetTimer(nullptr, 0, 250, LookForEndedPrograms)) {
        NoteFailure(L"SetTimer WhenEnded", LastError().description);
        return;
    }
    awaited.push_back(Awaited{std::unique_ptr<StartedProgram>(static_cast<StartedProgram*>(program.release())),
                              std::move(ended)});
}

Result<std::wstring> Win32Platform::SetupAccount() {
    win32::UniqueHandle token;
    if (!win32::ProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return LastError();
    std::optional<std::wstring> user = win32::TokenUserSid(token.get());
    if (!user) return LastError();
    return std::move(*user);
}

namespace {

// The desk user by an impersonation token of the shell's process.
class ShellUser : public DeskUser {
public:
    explicit ShellUser(win32::UniqueHandle token) : token_(std::move(token)) {}
    HANDLE token() const { return token_.get(); }

private:
    win32::UniqueHandle token_;
};

HANDLE TokenOf(const DeskUser* as) { return as ? static_cast<const ShellUser*>(as)->token() : nullptr; }

}  // namespace

Result<std::unique_ptr<DeskUser>> Win32Platform::FindDeskUser() {
    // No shell (a service's session, or a shell that is not Explorer): setup does the user's work as itself.
    const HWND shell = ::GetShellWindow();
    DWORD id = 0;
    if (!shell || !::GetWindowThreadProcessId(shell, &id) || id == 0) return std::unique_ptr<DeskUser>();
    const win32::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) return LastError();
    win32::UniqueHandle token, impersonation;
    if (!win32::ProcessToken(process.get(), TOKEN_DUPLICATE | TOKEN_QUERY, token.put()) ||
        !win32::ImpersonationToken(token.get(), impersonation.put())) {
        return LastError();
    }
    return std::unique_ptr<DeskUser>(std::make_unique<ShellUser>(std::move(impersonation)));
}

std::optional<std::wstring> Win32Platform::ShellFolder(ShellFolderId folder, const DeskUser* as) {
    const int csidl = folder == ShellFolderId::Desktop ? CSIDL_DESKTOP : CSIDL_PROGRAMS;
    wchar_t buffer[MAX_PATH] = {};
    const HRESULT hr = win32::ShellFolderPath(Owner(), csidl, TokenOf(as), SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr) || buffer[0] == L'\0') return std::nullopt;
    return std::wstring(buffer);
}

namespace {

// The shell's own shortcut object. COM stays initialised for as long as the object lives, and is the last to go.
class ShellShortcut : public ShortcutFile {
public:
    Status Create() {
        if (!com_.usable()) return HresultError(com_.result());
        // The identifiers are spelled out here: the uuid library would bring every identifier Windows has.
        static constexpr CLSID kShellLink = {
            0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
        return Checked(win32::ComCreateInstance(kShellLink, __uuidof(IShellLinkW), link_.put_void()));
    }

    Status SetTargetPath(const std::wstring& path) override { return Checked(link_->SetPath(path.c_str())); }
    Status SetWindowStyle(int style) override { return Checked(link_->SetShowCmd(style)); }
    Status SetIconLocation(const std::wstring& path, int index) override {
        return Checked(link_->SetIconLocation(path.c_str(), index));
    }
    Status SetDescription(const std::wstring& text) override { return Checked(link_->SetDescription(text.c_str())); }
    Status SetWorkingDirectory(const std::wstring& path) override {
        return Checked(link_->SetWorkingDirectory(path.c_str()));
    }
    // As the desk user, the file is written with their rights: a link planted under its name leads only where
    // they could write anyway.
    Status Save(const std::wstring& path, const DeskUser* as) override {
        ComPtr<IPersistFile> file;
        HRESULT hr = link_.query(file);
        if (FAILED(hr)) return Checked(hr);
        if (as && !win32::Impersonate(TokenOf(as))) return LastError();
        hr = file->Save(path.c_str(), TRUE);
        // Back to setup's own rights before anything else runs; a thread that stays the user would be worse
        // than a program that stops.
        if (as && !win32::StopImpersonating()) ::ExitProcess(ERROR_CANNOT_IMPERSONATE);
        return Checked(hr);
    }

private:
    static Status Checked(HRESULT hr) {
        if (FAILED(hr)) return HresultError(hr);
        return Done{};
    }

    win32::ComInitGuard com_;
    ComPtr<IShellLinkW> link_;
};

UINT MessageBoxStyle(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning:
            return MB_OK | MB_ICONWARNING;
        case MessageKind::Information:
            return MB_OK | MB_ICONINFORMATION;
        case MessageKind::Question:
            return MB_YESNO | MB_ICONQUESTION;  // Yes is the default, the first button
    }
    return MB_OK;
}

}  // namespace

Result<std::unique_ptr<ShortcutFile>> Win32Platform::CreateShortcut() {
    auto shortcut = std::make_unique<ShellShortcut>();
    const Status created = shortcut->Create();
    if (!created.ok()) return created.failure();
    return shortcut;
}

Result<Answer> Win32Platform::ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) {
    const HWND owner_window = Owner();
    // Owned by the window on screen, the box is modal for the program. Without an owner (before the menu
    // first shows) it still has to block every window of the program.
    UINT style = MessageBoxStyle(kind);
    if (owner_window == nullptr) style |= MB_TASKMODAL;
    // Only what the user does once the box is there answers it: an Enter typed during the copies would
    // otherwise take the default button of the question, or close an outcome before it is read.
    DiscardUserInput();
    switch (::MessageBoxW(owner_window, text.c_str(), title.c_str(), style)) {
        case 0:
            return LastError();
        case IDYES:
            return Answer::Yes;
        case IDOK:
            return Answer::Ok;
        default:
            // Only No is left on these boxes; anything else declines as well rather than going on.
            return Answer::No;
    }
}

void Win32Platform::NoteFailure(std::wstring_view what, std::wstring_view description) {
    std::wstring line = L"setup: ";
    line += what;
    line += L": ";
    line += description;
    line += L"\n";
    ::OutputDebugStringW(line.c_str());
}

}  // namespace setup
