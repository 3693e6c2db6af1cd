// Keeping the windows answering while the install runs on their thread.
//
// The install sequence runs on the user-interface thread, so while it works nobody answers the window
// system: a window that leaves messages unanswered for long is marked as not responding. This platform lets
// the windows answer what is waiting before each operation that touches the file system, starts a program or
// calls the shell, then hands the operation on to the machine's platform; the package installer's copy too,
// whose wait then answers the windows by itself. The two folder lookups take no time, the message box answers
// the windows by itself, and a noted failure goes nowhere slow, so those are handed on directly. A held folder
// answers before each folder of its tree it reads, which may be large; the other objects some operations give
// back (a shortcut, a staged copy) do quick work and answer nothing.
#pragma once

#include <functional>

#include "core/platform.h"

namespace setup {

class ResponsivePlatform : public Platform {
public:
    // `answer_pending` answers what the windows have waiting, and returns at once when that is nothing.
    ResponsivePlatform(Platform& machine, std::function<void()> answer_pending)
        : machine_(machine), answer_pending_(std::move(answer_pending)) {}

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
    void WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) override;
    Result<std::wstring> SetupAccount() override;
    Result<std::unique_ptr<DeskUser>> FindDeskUser() override;
    std::optional<std::wstring> ShellFolder(ShellFolderId folder, const DeskUser* as) override;
    Result<std::unique_ptr<ShortcutFile>> CreateShortcut() override;
    Result<Answer> ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) override;
    void NoteFailure(std::wstring_view what, std::wstring_view description) override;

private:
    class AnsweringLock;
    Result<std::unique_ptr<FolderLock>> Answering(Result<std::unique_ptr<FolderLock>> lock);

    // The machine's platform, after the windows have answered.
    Platform& Answered() {
        answer_pending_();
        return machine_;
    }

    Platform& machine_;
    std::function<void()> answer_pending_;
};

}  // namespace setup
