#include "core/responsive_platform.h"

namespace setup {

Result<std::wstring> ResponsivePlatform::SystemFolder() { return machine_.SystemFolder(); }
Result<std::wstring> ResponsivePlatform::ProgramFolder() { return machine_.ProgramFolder(); }
Result<bool> ResponsivePlatform::FolderExists(const std::wstring& path) { return Answered().FolderExists(path); }
Status ResponsivePlatform::CreateFolder(const std::wstring& path) { return Answered().CreateFolder(path); }
Result<bool> ResponsivePlatform::FileExists(const std::wstring& path) { return Answered().FileExists(path); }

Result<std::uint32_t> ResponsivePlatform::GetAttributes(const std::wstring& path) {
    return Answered().GetAttributes(path);
}

Status ResponsivePlatform::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    return Answered().SetAttributes(path, attributes);
}

Status ResponsivePlatform::CopyFileOverwrite(const std::wstring& source, const std::wstring& destination) {
    return Answered().CopyFileOverwrite(source, destination);
}

Status ResponsivePlatform::DeleteFileForce(const std::wstring& path) { return Answered().DeleteFileForce(path); }

Status ResponsivePlatform::StartProgram(const std::wstring& command_line) {
    return Answered().StartProgram(command_line);
}

Result<WaitResult> ResponsivePlatform::RunAndWait(const std::wstring& application, std::uint32_t timeout_ms) {
    return machine_.RunAndWait(application, timeout_ms);
}

std::optional<std::wstring> ResponsivePlatform::ShellFolder(int folder_id) { return Answered().ShellFolder(folder_id); }

Status ResponsivePlatform::SaveShortcut(const std::wstring& path, const ShortcutDefinition& shortcut) {
    return Answered().SaveShortcut(path, shortcut);
}

Result<int> ResponsivePlatform::ShowMessage(const std::wstring& text, int code, const std::wstring& title) {
    return machine_.ShowMessage(text, code, title);
}

}  // namespace setup
