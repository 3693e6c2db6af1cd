// The platform interface on Windows, through the Unicode Win32 API.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/platform.h"
#include "win32/errors.h"

namespace setup {

class Win32Platform : public Platform {
public:
    // The window that owns message boxes and shell-folder lookups: the GUI points this at its visible
    // window. Unset or returning null means no owner.
    std::function<HWND()> owner;

    Result<std::wstring> SystemFolder() override;
    Result<std::wstring> ProgramFolder() override;
    Result<bool> FolderExists(const std::wstring& path) override;
    Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path) override;
    Result<std::unique_ptr<FolderLock>> CreateHeldFolder(const std::wstring& path) override;
    Result<bool> FileExists(const std::wstring& path) override;
    Result<std::uint32_t> GetAttributes(const std::wstring& path) override;
    Status SetAttributes(const std::wstring& path, std::uint32_t attributes) override;
    Result<std::unique_ptr<StagedCopy>> StageCopy(const std::wstring& source, const std::wstring& destination,
                                                  const std::optional<Sha256Digest>& expected) override;
    Status DeleteFileForce(const std::wstring& path) override;

    Result<TaskId> StartProgram(const std::wstring& command_line, const std::wstring& current_folder) override;
    Result<CopyRun> RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                   const std::optional<Sha256Digest>& expected, std::uint32_t timeout_ms) override;
    // Looks every quarter of a second, from a timer of the thread's message loop.
    void WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) override;

    Result<std::wstring> SetupAccount() override;
    // The user of the process that owns the shell's window (GetShellWindow), with a token to act as them.
    Result<std::unique_ptr<DeskUser>> FindDeskUser() override;

    std::optional<std::wstring> ShellFolder(ShellFolderId folder, const DeskUser* as) override;
    Result<std::unique_ptr<ShortcutFile>> CreateShortcut() override;

    Result<Answer> ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) override;
    // One line to the debugger (OutputDebugStringW), which Wine shows with WINEDEBUG=+debugstr: the one place
    // every failure nobody is shown ends up. The program keeps no log file.
    void NoteFailure(std::wstring_view what, std::wstring_view description) override;

private:
    HWND Owner() const { return owner ? owner() : nullptr; }
};

}  // namespace setup
