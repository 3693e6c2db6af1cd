#include "fake_platform.h"

#include <algorithm>
#include <cwctype>

#include "support/utf8.h"

namespace setup {

FakePlatform::FakePlatform() {
    shell_folders[ShellFolderId::Desktop] = L"C:\\Users\\user\\Desktop";
    shell_folders[ShellFolderId::Programs] =
        L"C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
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
    std::wstring name = path;
    while (!name.empty() && !folders_.count(Key(name))) {
        folders_.insert(Key(name));
        names_.emplace(Key(name), name);
        if (Key(name).size() <= 3) break;
        name = name.substr(0, Parent(name).size());
    }
}

void FakePlatform::AddLink(const std::wstring& path) {
    AddFolder(path);
    links_.insert(Key(path));
}

void FakePlatform::AddFile(const std::wstring& path, std::uint32_t attributes, const std::string& content) {
    AddFolder(path.substr(0, Parent(path).size()));
    files_[Key(path)] = File{attributes, content};
    names_.emplace(Key(path), path);
}

void FakePlatform::LockAttributes(const std::wstring& path) { files_.at(Key(path)).locked_attributes = true; }

void FakePlatform::SetOwner(const std::wstring& path, const std::wstring& owner) { owners_[Key(path)] = owner; }

std::string FakePlatform::Access(const std::wstring& path) const {
    auto it = access_.find(Key(path));
    return it == access_.end() ? "own" : it->second;
}

void FakePlatform::EndPrograms() {
    std::vector<std::function<void()>> ends = std::move(ends_);
    ends_.clear();
    for (auto& ended : ends) ended();
}

TreeEntry FakePlatform::Entry(const std::wstring& key, bool folder) const {
    TreeEntry entry;
    auto named = names_.find(key);
    const std::wstring& name = named == names_.end() ? key : named->second;
    entry.name = name.substr(name.rfind(L'\\') + 1);
    entry.folder = folder;
    entry.link = links_.count(key) != 0;
    auto owner = owners_.find(key);
    entry.owner = owner == owners_.end() ? kAdministrators : owner->second;
    entry.owner_name = entry.owner == kAdministrators ? L"BUILTIN\\Administrators" : L"PC\\" + entry.owner;
    return entry;
}

void FakePlatform::Fail(const std::string& op, const std::wstring& argument, const std::wstring& description) {
    failures_.push_back(Failure{op, Key(argument), description});
}

void FakePlatform::StartNothing(const std::wstring& argument) { start_nothing_.push_back(Key(argument)); }

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

// Records "HoldFolder(path)", "ListFolder(path)" and "ReleaseFolder(path back_to keep)". Released once, by
// Release or at its end.
class FakePlatform::FakeLock : public FolderLock {
public:
    FakeLock(FakePlatform& machine, std::wstring path)
        : machine_(machine), path_(std::move(path)), self_(machine.Entry(Key(path_), true)) {
        self_.name.clear();
        found_ = machine_.Access(path_);
    }
    ~FakeLock() override {
        if (!released_) (void)Release(GiveBack::Earlier, L"");
    }
    const TreeEntry& Self() const override { return self_; }
    bool FoundHeld() const override { return found_ == "held"; }
    Status Hold() override {
        machine_.Record("HoldFolder", path_);
        if (auto failure = machine_.Arranged("HoldFolder", path_)) return *failure;
        machine_.access_[Key(path_)] = "held";
        held_ = true;
        return Done{};
    }
    Result<std::vector<TreeEntry>> List(const std::wstring& folder) override {
        const std::wstring path = folder.empty() ? path_ : path_ + L"\\" + folder;
        machine_.Record("ListFolder", path);
        if (auto failure = machine_.Arranged("ListFolder", path)) return *failure;
        const std::wstring key = Key(path);
        std::vector<TreeEntry> entries;
        for (const std::wstring& sub : machine_.folders_) {
            if (Parent(sub) == key && sub != key) entries.push_back(machine_.Entry(sub, true));
        }
        for (const auto& file : machine_.files_) {
            if (Parent(file.first) == key) entries.push_back(machine_.Entry(file.first, false));
        }
        return entries;
    }
    Status Release(GiveBack back_to, std::wstring_view keep) override {
        released_ = true;
        machine_.Record("ReleaseFolder", path_ + (back_to == GiveBack::Earlier ? L" earlier" : L" from parent") +
                                             (keep.empty() ? L"" : L" keep " + std::wstring(keep)));
        if (auto failure = machine_.Arranged("ReleaseFolder", path_)) return *failure;
        if (!held_) return Done{};
        const std::wstring kept = path_ + L"\\" + std::wstring(keep);
        if (!keep.empty() && machine_.HasFolder(kept)) machine_.access_[Key(kept)] = "kept";
        machine_.access_[Key(path_)] = back_to == GiveBack::Earlier ? found_ : "parent";
        return Done{};
    }

private:
    FakePlatform& machine_;
    std::wstring path_;
    TreeEntry self_;
    std::string found_;  // the access it had when it was taken
    bool held_ = false;
    bool released_ = false;
};

Result<std::unique_ptr<FolderLock>> FakePlatform::LockFolder(const std::wstring& path) {
    Record("LockFolder", path);
    if (auto failure = Arranged("LockFolder", path)) return *failure;
    if (links_.count(Key(path))) return PlatformError{L"リンクです。", Refusal::Link};
    if (!HasFolder(path)) return PlatformError{L"指定されたパスが見つかりません。"};
    return std::make_unique<FakeLock>(*this, path);
}

Result<std::unique_ptr<FolderLock>> FakePlatform::CreateHeldFolder(const std::wstring& path) {
    Record("CreateHeldFolder", path);
    if (auto failure = Arranged("CreateHeldFolder", path)) return *failure;
    if (HasFolder(path) || HasFile(path)) return PlatformError{L"既に存在するファイルを作成することはできません。"};
    if (!HasFolder(Parent(path))) return PlatformError{L"指定されたパスが見つかりません。"};
    folders_.insert(Key(path));
    access_[Key(path)] = "held";
    return std::make_unique<FakeLock>(*this, path);
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
    if (!expected) return PlatformError{kNoRecord, Refusal::Unverified};
    auto from = files_.find(Key(source));
    if (from == files_.end()) return PlatformError{L"指定されたファイルが見つかりません。"};
    if (Sha256Of(from->second.content) != *expected) return PlatformError{kCorrupt, Refusal::Unverified};
    return from->second;
}

// Put in place, records "PutInPlace(target)" and writes the checked contents over the target.
class FakePlatform::FakeStaged : public StagedCopy {
public:
    FakeStaged(FakePlatform& machine, std::wstring target, File contents)
        : machine_(machine), target_(std::move(target)), contents_(std::move(contents)) {}

    Status PutInPlace() override {
        machine_.Record("PutInPlace", target_);
        if (auto failure = machine_.Arranged("PutInPlace", target_)) return *failure;
        auto to = machine_.files_.find(Key(target_));
        if (to != machine_.files_.end() && (to->second.attributes & kAttrReadOnly)) {
            return PlatformError{L"アクセスが拒否されました。"};
        }
        // A copy keeps the source's attributes, as CopyFile does, and is marked for backup.
        machine_.files_[Key(target_)] = File{contents_.attributes | kAttrArchive, contents_.content};
        return Done{};
    }

private:
    FakePlatform& machine_;
    std::wstring target_;
    File contents_;
};

Result<std::unique_ptr<StagedCopy>> FakePlatform::StageCopy(const std::wstring& source, const std::wstring& destination,
                                                            const std::optional<Sha256Digest>& expected) {
    Record("StageCopy", source + L" -> " + destination);
    if (auto failure = Arranged("StageCopy", source)) return *failure;
    const Result<File> from = Verified(source, expected);
    if (!from.ok()) return from.failure();
    std::wstring target = destination;
    if (!target.empty() && target.back() == L'\\') target += source.substr(source.rfind(L'\\') + 1);
    if (!HasFolder(Parent(target))) return PlatformError{L"指定されたパスが見つかりません。"};
    return std::make_unique<FakeStaged>(*this, target, from.value());
}

Status FakePlatform::DeleteFileForce(const std::wstring& path) {
    Record("DeleteFileForce", path);
    if (auto failure = Arranged("DeleteFileForce", path)) return *failure;
    if (files_.erase(Key(path)) == 0) return PlatformError{L"指定されたファイルが見つかりません。"};
    return Done{};
}

Result<TaskId> FakePlatform::StartProgram(const std::wstring& command_line, const std::wstring& current_folder) {
    Record("StartProgram", command_line);
    if (auto failure = Arranged("StartProgram", command_line)) return *failure;
    for (const std::wstring& nothing : start_nothing_) {
        if (Key(command_line).find(nothing) != std::wstring::npos) return TaskId{0};
    }
    started.push_back(command_line);
    started_in.push_back(current_folder);
    return next_task_++;
}

Result<CopyRun> FakePlatform::RunCopyAndWait(const std::wstring& source, const std::wstring& copy,
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
    CopyRun run;
    run.result = wait_result;
    if (wait_result == WaitResult::TimedOut) run.still_running = std::make_unique<RunningProgram>();
    return run;
}

void FakePlatform::WhenEnded(std::unique_ptr<RunningProgram> program, std::function<void()> ended) {
    Record("WhenEnded", L"");
    if (program) ends_.push_back(std::move(ended));
}

Result<std::wstring> FakePlatform::SetupAccount() {
    if (auto failure = Arranged("SetupAccount", L"")) return *failure;
    return setup_account;
}

class FakePlatform::FakeDeskUser : public DeskUser {
public:
    explicit FakeDeskUser(std::wstring name) : name(std::move(name)) {}
    std::wstring name;
};

Result<std::unique_ptr<DeskUser>> FakePlatform::FindDeskUser() {
    Record("FindDeskUser", L"");
    if (auto failure = Arranged("FindDeskUser", L"")) return *failure;
    if (!desk_user) return std::unique_ptr<DeskUser>();
    return std::unique_ptr<DeskUser>(std::make_unique<FakeDeskUser>(*desk_user));
}

namespace {

std::wstring FolderName(ShellFolderId folder) { return folder == ShellFolderId::Desktop ? L"Desktop" : L"Programs"; }

}  // namespace

// " as NAME" for a desk user, nothing for setup itself.
std::wstring AsWhom(const DeskUser* as) {
    return as ? L" as " + static_cast<const FakePlatform::FakeDeskUser*>(as)->name : L"";
}

std::wstring AsWhom(const DeskUser* as);

std::optional<std::wstring> FakePlatform::ShellFolder(ShellFolderId folder, const DeskUser* as) {
    Record("ShellFolder", FolderName(folder) + AsWhom(as));
    auto it = shell_folders.find(folder);
    if (it == shell_folders.end()) return std::nullopt;
    return it->second;
}

// Each property set is recorded as a call of its own ("SetIconLocation(C:\...)"), and may be made to fail.
class FakePlatform::FakeShortcut : public ShortcutFile {
public:
    explicit FakeShortcut(FakePlatform& machine) : machine_(machine) {}

    Status SetTargetPath(const std::wstring& path) override {
        return Set("TargetPath", path, [&] { saved_.definition.target_path = path; });
    }
    Status SetWindowStyle(int style) override {
        return Set("WindowStyle", std::to_wstring(style), [&] { saved_.definition.window_style = style; });
    }
    Status SetIconLocation(const std::wstring& path, int index) override {
        return Set("IconLocation", path + L"," + std::to_wstring(index), [&] {
            saved_.definition.icon_location = path;
            saved_.definition.icon_index = index;
        });
    }
    Status SetDescription(const std::wstring& text) override {
        return Set("Description", text, [&] { saved_.definition.description = text; });
    }
    Status SetWorkingDirectory(const std::wstring& path) override {
        return Set("WorkingDirectory", path, [&] { saved_.definition.working_directory = path; });
    }
    Status Save(const std::wstring& path, const DeskUser* as) override {
        machine_.Record("SaveShortcut", path + AsWhom(as));
        saved_.saved_as = as ? static_cast<const FakeDeskUser*>(as)->name : L"";
        if (auto failure = machine_.Arranged("SaveShortcut", path)) return *failure;
        if (!machine_.HasFolder(Parent(path))) return PlatformError{L"指定されたパスが見つかりません。"};
        machine_.files_[Key(path)] = File{kAttrArchive, ToUtf8(saved_.definition.target_path)};
        saved_.path = path;
        machine_.shortcuts.push_back(saved_);
        return Done{};
    }

private:
    template <class Apply>
    Status Set(const std::string& property, const std::wstring& value, Apply apply) {
        machine_.Record("Set" + property, value);
        if (auto failure = machine_.Arranged("Set" + property, value)) return *failure;
        apply();
        saved_.properties.push_back(property);
        return Done{};
    }

    FakePlatform& machine_;
    // Nothing set yet: a property that is never set keeps the definition's default.
    Shortcut saved_{L"", NothingSet(), {}, L""};

    static ShortcutDefinition NothingSet() {
        ShortcutDefinition none;
        none.window_style = 0;
        return none;
    }
};

Result<std::unique_ptr<ShortcutFile>> FakePlatform::CreateShortcut() {
    Record("CreateShortcut", L"");
    if (auto failure = Arranged("CreateShortcut", L"")) return *failure;
    return std::make_unique<FakeShortcut>(*this);
}

Result<Answer> FakePlatform::ShowMessage(const std::wstring& text, MessageKind kind, const std::wstring& title) {
    Record("ShowMessage", text);
    // A box that could not be shown is not in `messages`.
    if (auto failure = Arranged("ShowMessage", text)) return *failure;
    messages.push_back(Message{text, kind, title});
    if (while_message_open) while_message_open(text);
    if (!answers.empty()) {
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return kind == MessageKind::Question ? Answer::Yes : Answer::Ok;
}

void FakePlatform::NoteFailure(std::wstring_view what, std::wstring_view description) {
    noted.push_back(ToUtf8(std::wstring(what)) + ": " + ToUtf8(std::wstring(description)));
}

}  // namespace setup
