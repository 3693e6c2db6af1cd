#include "core/responsive_platform.h"

namespace setup {

Result<std::wstring> ResponsivePlatform::SystemFolder() { return machine_.SystemFolder(); }
Result<std::wstring> ResponsivePlatform::ProgramFolder() { return machine_.ProgramFolder(); }
Result<bool> ResponsivePlatform::FolderExists(const std::wstring& path) { return Answered().FolderExists(path); }
Result<std::unique_ptr<FolderLock>> ResponsivePlatform::LockFolder(const std::wstring& path) {
    return Answered().LockFolder(path);
}
Status ResponsivePlatform::CreateFolder(const std::wstring& path) { return Answered().CreateFolder(path); }
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

Result<WaitResult> ResponsivePlatform::RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                                      const std::optional<Sha256Digest>& expected,
                                                      std::uint32_t timeout_ms) {
    return Answered().RunCopyAndWait(source, copy, expected, timeout_ms);
}

std::optional<std::wstring> ResponsivePlatform::ShellFolder(ShellFolderId folder) {
    return Answered().ShellFolder(folder);
}

Result<std::unique_ptr<ShortcutFile>> ResponsivePlatform::CreateShortcut() { return Answered().CreateShortcut(); }

Result<Answer> ResponsivePlatform::ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) {
    return machine_.ShowMessage(text, kind, title);
}

void ResponsivePlatform::NoteFailure(std::wstring_view what, std::wstring_view description) {
    machine_.NoteFailure(what, description);
}

}  // namespace setup
