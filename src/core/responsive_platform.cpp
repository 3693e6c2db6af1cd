#include "core/responsive_platform.h"

namespace setup {

Result<std::wstring> ResponsivePlatform::SystemFolder() { return machine_.SystemFolder(); }
Result<std::wstring> ResponsivePlatform::ProgramFolder() { return machine_.ProgramFolder(); }
Result<bool> ResponsivePlatform::FolderExists(const std::wstring& path) { return Answered().FolderExists(path); }
// The machine's lock, answering the windows before each folder of the tree it reads.
class ResponsivePlatform::AnsweringLock : public FolderLock {
public:
    AnsweringLock(std::unique_ptr<FolderLock> machine, const std::function<void()>& answer_pending)
        : machine_(std::move(machine)), answer_pending_(answer_pending) {}
    const TreeEntry& Self() const override { return machine_->Self(); }
    bool FoundHeld() const override { return machine_->FoundHeld(); }
    Status Hold() override {
        answer_pending_();
        return machine_->Hold();
    }
    Result<std::vector<TreeEntry>> List(const std::wstring& folder) override {
        answer_pending_();
        return machine_->List(folder);
    }
    Status Release(GiveBack back_to, std::wstring_view keep) override {
        answer_pending_();
        return machine_->Release(back_to, keep);
    }

private:
    std::unique_ptr<FolderLock> machine_;
    const std::function<void()>& answer_pending_;
};

Result<std::unique_ptr<FolderLock>> ResponsivePlatform::Answering(Result<std::unique_ptr<FolderLock>> lock) {
    if (!lock.ok()) return lock;
    return std::unique_ptr<FolderLock>(std::make_unique<AnsweringLock>(lock.take(), answer_pending_));
}

Result<std::unique_ptr<FolderLock>> ResponsivePlatform::LockFolder(const std::wstring& path) {
    return Answering(Answered().LockFolder(path));
}
Result<std::unique_ptr<FolderLock>> ResponsivePlatform::CreateHeldFolder(const std::wstring& path) {
    return Answering(Answered().CreateHeldFolder(path));
}
Result<bool> ResponsivePlatform::FileExists(const std::wstring& path) { return Answered().FileExists(path); }

Result<std::uint32_t> ResponsivePlatform::GetAttributes(const std::wstring& path) {
    return Answered().GetAttributes(path);
}

Status ResponsivePlatform::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    return Answered().SetAttributes(path, attributes);
}

Result<std::unique_ptr<StagedCopy>> ResponsivePlatform::StageCopy(const std::wstring& source,
                                                                  const std::wstring& destination,
                                                                  const std::optional<Sha256Digest>& expected) {
    return Answered().StageCopy(source, destination, expected);
}

Status ResponsivePlatform::DeleteFileForce(const std::wstring& path) { return Answered().DeleteFileForce(path); }

Result<TaskId> ResponsivePlatform::StartProgram(const std::wstring& command_line, const std::wstring& current_folder) {
    return Answered().StartProgram(command_line, current_folder);
}

Result<CopyRun> ResponsivePlatform::RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                                   const std::optional<Sha256Digest>& expected,
                                                   std::uint32_t timeout_ms) {
    return Answered().RunCopyAndWait(source, copy, expected, timeout_ms);
}

void ResponsivePlatform::WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) {
    machine_.WhenEnded(std::move(program), std::move(ended));
}

Result<std::wstring> ResponsivePlatform::SetupAccount() { return machine_.SetupAccount(); }

Result<std::unique_ptr<DeskUser>> ResponsivePlatform::FindDeskUser() { return Answered().FindDeskUser(); }

std::optional<std::wstring> ResponsivePlatform::ShellFolder(ShellFolderId folder, const DeskUser* as) {
    return Answered().ShellFolder(folder, as);
}

Result<std::unique_ptr<ShortcutFile>> ResponsivePlatform::CreateShortcut() { return Answered().CreateShortcut(); }

Result<Answer> ResponsivePlatform::ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) {
    return machine_.ShowMessage(text, kind, title);
}

void ResponsivePlatform::NoteFailure(std::wstring_view what, std::wstring_view description) {
    machine_.NoteFailure(what, description);
}

}  // namespace setup
