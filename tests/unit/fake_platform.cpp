#include "fake_platform.h"

#include <algorithm>
#include <cwctype>

#include "support/utf8.h"

namespace setup {

FakePlatform::FakePlatform() {
    shell_folders[kFolderDesktop] = L"C:\\Users\\user\\Desktop";
    shell_folders[kFolderPrograms] = L"C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    AddFolder(L"C:\\");
    AddFolder(L"D:\\");
    AddFolder(L"C:\\WINDOWS");
    AddFolder(L"C:\\WINDOWS\\system32");
    // A shell folder that the lookup names exists, as it does on a real profile.
    for (const auto& entry : shell_folders) AddFolder(*entry.second);
}

// Windows paths compare without regard to case, and "C:\X\" names the same folder as "C:\X".
std::wstring FakePlatform::Key(const std::wstring& path) {
    std::wstring key = path;
    std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return std::towlower(c); });
    if (key.size() > 3 && key.back() == L'\\') key.pop_back();
    return key;
}

std::wstring FakePlatform::Parent(const std::wstring& path) {
    std::wstring key = Key(path);
    auto slash = key.rfind(L'\\');
    if (slash == std::wstring::npos) return L"";
    if (slash == 2) return key.substr(0, 3);  // "c:\"
    return key.substr(0, slash);
}

void FakePlatform::AddFolder(const std::wstring& path) {
    std::wstring key = Key(path);
    while (!key.empty() && !folders_.count(key)) {
        folders_.insert(key);
        if (key.size() <= 3) break;
        key = Parent(key);
    }
}

void FakePlatform::AddLink(const std::wstring& path) {
    AddFolder(path);
    links_.insert(Key(path));
}

void FakePlatform::AddFile(const std::wstring& path, std::uint32_t attributes, const std::string& content) {
    AddFolder(Parent(path));
    files_[Key(path)] = File{attributes, content};
}

void FakePlatform::LockAttributes(const std::wstring& path) { files_.at(Key(path)).locked_attributes = true; }

void FakePlatform::Fail(const std::string& op, const std::wstring& argument, const std::wstring& description) {
    failures_.push_back(Failure{op, Key(argument), description});
}

bool FakePlatform::HasFolder(const std::wstring& path) const { return folders_.count(Key(path)) != 0; }
bool FakePlatform::HasFile(const std::wstring& path) const { return files_.count(Key(path)) != 0; }
std::uint32_t FakePlatform::Attributes(const std::wstring& path) const { return files_.at(Key(path)).attributes; }
std::string FakePlatform::Content(const std::wstring& path) const { return files_.at(Key(path)).content; }

void FakePlatform::Record(const std::string& op, const std::wstring& argument) {
    calls.push_back(op + "(" + ToUtf8(argument) + ")");
}

std::optional<PlatformError> FakePlatform::Arranged(const std::string& op, const std::wstring& argument) const {
    const std::wstring key = Key(argument);
    for (const Failure& f : failures_) {
        if (f.op == op && (f.argument.empty() || key.find(f.argument) != std::wstring::npos)) {
            return PlatformError{f.description};
        }
    }
    return std::nullopt;
}

Result<std::wstring> FakePlatform::SystemFolder() {
    Record("SystemFolder", L"");
    if (auto failure = Arranged("SystemFolder", L"")) return *failure;
    return system_folder;
}

Result<std::wstring> FakePlatform::ProgramFolder() {
    Record("ProgramFolder", L"");
    if (auto failure = Arranged("ProgramFolder", L"")) return *failure;
    return program_folder;
}

Result<bool> FakePlatform::FolderExists(const std::wstring& path) {
    Record("FolderExists", path);
    if (auto failure = Arranged("FolderExists", path)) return *failure;
    return HasFolder(path);
}

Result<bool> FakePlatform::IsLink(const std::wstring& path) {
    Record("IsLink", path);
    if (auto failure = Arranged("IsLink", path)) return *failure;
    return links_.count(Key(path)) != 0;
}

Status FakePlatform::CreateFolder(const std::wstring& path) {
    Record("CreateFolder", path);
    if (auto failure = Arranged("CreateFolder", path)) return *failure;
    if (HasFolder(path) || HasFile(path)) return PlatformError{L"既に存在するファイルを作成することはできません。"};
    if (!HasFolder(Parent(path))) return PlatformError{L"指定されたパスが見つかりません。"};
    folders_.insert(Key(path));
    return Done{};
}

Result<bool> FakePlatform::FileExists(const std::wstring& path) {
    Record("FileExists", path);
    if (auto failure = Arranged("FileExists", path)) return *failure;
    return HasFile(path);
}

Result<std::uint32_t> FakePlatform::GetAttributes(const std::wstring& path) {
    Record("GetAttributes", path);
    if (auto failure = Arranged("GetAttributes", path)) return *failure;
    auto it = files_.find(Key(path));
    if (it == files_.end()) return PlatformError{L"指定されたファイルが見つかりません。"};
    return it->second.attributes;
}

Status FakePlatform::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    Record("SetAttributes", path + L"=" + std::to_wstring(attributes));
    if (auto failure = Arranged("SetAttributes", path)) return *failure;
    auto it = files_.find(Key(path));
    if (it == files_.end()) return PlatformError{L"指定されたファイルが見つかりません。"};
    if (it->second.locked_attributes) return PlatformError{L"アクセスが拒否されました。"};
    it->second.attributes = attributes;
    return Done{};
}

Result<FakePlatform::File> FakePlatform::Verified(const std::wstring& source,
                                                  const std::optional<Sha256Digest>& expected) const {
    // Refused before the source is even opened.
    if (!expected) return PlatformError{kNoRecord, true};
    auto from = files_.find(Key(source));
    if (from == files_.end()) return PlatformError{L"指定されたファイルが見つかりません。"};
    if (Sha256Of(from->second.content) != *expected) return PlatformError{kCorrupt, true};
    return from->second;
}

Status FakePlatform::CopyFileOverwrite(const std::wstring& source, const std::wstring& destination,
                                       const std::optional<Sha256Digest>& expected) {
    Record("CopyFileOverwrite", source + L" -> " + destination);
    if (auto failure = Arranged("CopyFileOverwrite", source)) return *failure;
    const Result<File> from = Verified(source, expected);
    if (!from.ok()) return from.failure();
    std::wstring target = destination;
    if (!target.empty() && target.back() == L'\\') target += source.substr(source.rfind(L'\\') + 1);
    if (!HasFolder(Parent(target))) return PlatformError{L"指定されたパスが見つかりません。"};
    auto to = files_.find(Key(target));
    if (to != files_.end() && (to->second.attributes & kAttrReadOnly)) {
        return PlatformError{L"アクセスが拒否されました。"};
    }
    // A copy keeps the source's attributes, as CopyFile does, and is marked for backup.
    files_[Key(target)] = File{from.value().attributes | kAttrArchive, from.value().content};
    return Done{};
}

Status FakePlatform::DeleteFileForce(const std::wstring& path) {
    Record("DeleteFileForce", path);
    if (auto failure = Arranged("DeleteFileForce", path)) return *failure;
    if (files_.erase(Key(path)) == 0) return PlatformError{L"指定されたファイルが見つかりません。"};
    return Done{};
}

Status FakePlatform::StartProgram(const std::wstring& command_line, const std::wstring& current_folder) {
    Record("StartProgram", command_line);
    if (auto failure = Arranged("StartProgram", command_line)) return *failure;
    started.push_back(command_line);
    started_in.push_back(current_folder);
    return Done{};
}

Result<WaitResult> FakePlatform::RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
                                                const std::optional<Sha256Digest>& expected, std::uint32_t timeout_ms) {
    Record("RunCopyAndWait", source + L" -> " + copy + L" " + std::to_wstring(timeout_ms));
    if (auto failure = Arranged("RunCopyAndWait", source)) return *failure;
    const Result<File> from = Verified(source, expected);
    if (!from.ok()) return from.failure();
    // The copy is a new file: one that is there already is never written into.
    if (HasFile(copy) || HasFolder(copy)) return PlatformError{L"既に存在するファイルを作成することはできません。"};
    if (!HasFolder(Parent(copy))) return PlatformError{L"指定されたパスが見つかりません。"};
    files_[Key(copy)] = File{kAttrArchive, from.value().content};
    waited.push_back(copy);
    return wait_result;
}

std::optional<std::wstring> FakePlatform::ShellFolder(int folder_id) {
    Record("ShellFolder", std::to_wstring(folder_id));
    auto it = shell_folders.find(folder_id);
    if (it == shell_folders.end()) return std::nullopt;
    return it->second;
}

Status FakePlatform::SaveShortcut(const std::wstring& path, const ShortcutDefinition& shortcut) {
    Record("SaveShortcut", path);
    if (auto failure = Arranged("SaveShortcut", path)) return *failure;
    if (!HasFolder(Parent(path))) return PlatformError{L"指定されたパスが見つかりません。"};
    files_[Key(path)] = File{kAttrArchive, ToUtf8(shortcut.target_path)};
    shortcuts.push_back(Shortcut{path, shortcut});
    return Done{};
}

Result<int> FakePlatform::ShowMessage(const std::wstring& text, int code, const std::wstring& title) {
    Record("ShowMessage", text);
    // A box that could not be shown is not in `messages`.
    if (auto failure = Arranged("ShowMessage", text)) return *failure;
    messages.push_back(Message{text, code, title});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return code == kMbQuestion ? kAnswerYes : kAnswerOk;
}

}  // namespace setup
