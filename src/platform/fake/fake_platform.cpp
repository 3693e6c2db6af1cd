#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cwctype>

namespace setup {

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

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

void FakePlatform::AddFile(const std::wstring& path, std::uint32_t attributes, const std::string& content) {
    AddFolder(Parent(path));
    files_[Key(path)] = File{attributes, content};
}

void FakePlatform::LockAttributes(const std::wstring& path) { files_.at(Key(path)).locked_attributes = true; }

void FakePlatform::Fail(const std::string& op, const std::wstring& argument, const std::wstring& description) {
    failures_.push_back(Failure{op, Key(argument), description});
}

void FakePlatform::ReturnZeroTask(const std::wstring& argument) { zero_tasks_.push_back(argument); }

bool FakePlatform::HasFolder(const std::wstring& path) const { return folders_.count(Key(path)) != 0; }
bool FakePlatform::HasFile(const std::wstring& path) const { return files_.count(Key(path)) != 0; }
std::uint32_t FakePlatform::Attributes(const std::wstring& path) const { return files_.at(Key(path)).attributes; }
std::string FakePlatform::Content(const std::wstring& path) const { return files_.at(Key(path)).content; }

void FakePlatform::Record(const std::string& op, const std::wstring& argument) {
    calls.push_back(op + "(" + Utf8(argument) + ")");
}

void FakePlatform::MaybeFail(const std::string& op, const std::wstring& argument) const {
    const std::wstring key = Key(argument);
    for (const Failure& f : failures_) {
        if (f.op == op && (f.argument.empty() || key.find(f.argument) != std::wstring::npos)) {
            throw PlatformError{f.description};
        }
    }
}

std::wstring FakePlatform::SystemFolder() {
    Record("SystemFolder", L"");
    MaybeFail("SystemFolder", L"");
    return system_folder;
}

std::wstring FakePlatform::ProgramFolder() {
    Record("ProgramFolder", L"");
    MaybeFail("ProgramFolder", L"");
    return program_folder;
}

bool FakePlatform::FolderExists(const std::wstring& path) {
    Record("FolderExists", path);
    MaybeFail("FolderExists", path);
    return HasFolder(path);
}

void FakePlatform::CreateFolder(const std::wstring& path) {
    Record("CreateFolder", path);
    MaybeFail("CreateFolder", path);
    if (HasFolder(path) || HasFile(path)) throw PlatformError{L"既に存在するファイルを作成することはできません。"};
    if (!HasFolder(Parent(path))) throw PlatformError{L"指定されたパスが見つかりません。"};
    folders_.insert(Key(path));
}

bool FakePlatform::FileExists(const std::wstring& path) {
    Record("FileExists", path);
    MaybeFail("FileExists", path);
    return HasFile(path);
}

std::uint32_t FakePlatform::GetAttributes(const std::wstring& path) {
    Record("GetAttributes", path);
    MaybeFail("GetAttributes", path);
    auto it = files_.find(Key(path));
    if (it == files_.end()) throw PlatformError{L"指定されたファイルが見つかりません。"};
    return it->second.attributes;
}

void FakePlatform::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    Record("SetAttributes", path + L"=" + std::to_wstring(attributes));
    MaybeFail("SetAttributes", path);
    auto it = files_.find(Key(path));
    if (it == files_.end()) throw PlatformError{L"指定されたファイルが見つかりません。"};
    if (it->second.locked_attributes) throw PlatformError{L"アクセスが拒否されました。"};
    it->second.attributes = attributes;
}

void FakePlatform::CopyFileOverwrite(const std::wstring& source, const std::wstring& destination) {
    Record("CopyFileOverwrite", source + L" -> " + destination);
    MaybeFail("CopyFileOverwrite", source);
    auto from = files_.find(Key(source));
    if (from == files_.end()) throw PlatformError{L"指定されたファイルが見つかりません。"};
    std::wstring target = destination;
    if (!target.empty() && target.back() == L'\\') target += source.substr(source.rfind(L'\\') + 1);
    if (!HasFolder(Parent(target))) throw PlatformError{L"指定されたパスが見つかりません。"};
    auto to = files_.find(Key(target));
    if (to != files_.end() && (to->second.attributes & kAttrReadOnly)) {
        throw PlatformError{L"アクセスが拒否されました。"};
    }
    // A copy keeps the source's attributes, as CopyFile does, and is marked for backup.
    files_[Key(target)] = File{from->second.attributes | kAttrArchive, from->second.content};
}

void FakePlatform::DeleteFileForce(const std::wstring& path) {
    Record("DeleteFileForce", path);
    MaybeFail("DeleteFileForce", path);
    if (files_.erase(Key(path)) == 0) throw PlatformError{L"指定されたファイルが見つかりません。"};
}

std::uint32_t FakePlatform::StartProgram(const std::wstring& command_line) {
    Record("StartProgram", command_line);
    MaybeFail("StartProgram", command_line);
    started.push_back(command_line);
    for (const std::wstring& zero : zero_tasks_) {
        if (command_line.find(zero) != std::wstring::npos) return 0;
    }
    return next_pid_++;
}

WaitResult FakePlatform::RunAndWait(const std::wstring& application, std::uint32_t timeout_ms) {
    Record("RunAndWait", application + L" " + std::to_wstring(timeout_ms));
    MaybeFail("RunAndWait", application);
    waited.push_back(application);
    if (!HasFile(application)) return WaitResult::NotStarted;
    return wait_result;
}

std::optional<std::wstring> FakePlatform::ShellFolder(int folder_id) {
    Record("ShellFolder", std::to_wstring(folder_id));
    auto it = shell_folders.find(folder_id);
    if (it == shell_folders.end()) return std::nullopt;
    return it->second;
}

void FakePlatform::SaveShortcut(const std::wstring& path, const ShortcutDefinition& shortcut) {
    Record("SaveShortcut", path);
    MaybeFail("SaveShortcut", path);
    if (!HasFolder(Parent(path))) throw PlatformError{L"指定されたパスが見つかりません。"};
    files_[Key(path)] = File{kAttrArchive, Utf8(shortcut.target_path)};
    shortcuts.push_back(Shortcut{path, shortcut});
}

int FakePlatform::ShowMessage(const std::wstring& text, int code, const std::wstring& title) {
    Record("ShowMessage", text);
    MaybeFail("ShowMessage", text);  // a box that could not be shown is not in `messages`
    messages.push_back(Message{text, code, title});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return code == kMbQuestion ? kAnswerYes : kAnswerOk;
}

}  // namespace setup
