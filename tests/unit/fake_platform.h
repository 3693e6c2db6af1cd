// An in-memory stand-in for the machine, for the native tests of the install logic.
//
// It keeps folders, files and their attributes, records every call in order (command lines included), answers
// message boxes from a script, notes every failure it is told of, and can be told to make a given call fail
// with a given description. Copies are checked against the digest they are given, as the Windows platform
// checks them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/platform.h"

namespace setup {

class FakePlatform : public Platform {
public:
    struct Message {
        std::wstring text;
        MessageKind kind;
        std::wstring title;
    };
    struct Shortcut {
        std::wstring path;
        ShortcutDefinition definition;
        std::vector<std::string> properties;  // the properties set before the save, in order ("TargetPath", ...)
        std::wstring saved_as;                // the desk user it was saved as; empty: as setup itself
    };
    static constexpr const wchar_t* kAdministrators = L"S-1-5-32-544";
    class FakeDeskUser;

    // What a refused copy says: without a record, and with a digest that differs.
    static constexpr const wchar_t* kNoRecord = L"このファイルのデジタル署名を検証できません。";
    static constexpr const wchar_t* kCorrupt = L"ファイルかディレクトリが破損しています。";

    FakePlatform();

    // ---- Arranging the machine.
    std::wstring system_folder = L"C:\\WINDOWS\\system32";
    std::wstring program_folder = L"D:\\Media";
    std::map<ShellFolderId, std::optional<std::wstring>> shell_folders;
    void AddFolder(const std::wstring& path);
    // A folder that is a link to elsewhere (a junction, say); a folder that is there already becomes one.
    void AddLink(const std::wstring& path);
    void AddFile(const std::wstring& path, std::uint32_t attributes = kAttrArchive, const std::string& content = "x");
    // Attributes that stick: SetAttributes on this file fails (like a file the user may not change).
    void LockAttributes(const std::wstring& path);
    // Who owns a file or folder (a security identifier); the administrators unless set.
    void SetOwner(const std::wstring& path, const std::wstring& owner);
    // A folder that carries the held access (left so by a run that was cut off).
    void MarkHeld(const std::wstring& path) { access_[Key(path)] = "held"; }
    std::wstring setup_account = L"S-1-5-21-7-7-7-500";
    // The user at the desk, by name; nothing: no shell to tell.
    std::optional<std::wstring> desk_user = L"desk";
    // Ends the programs that WhenEnded waits for, calling back in order.
    void EndPrograms();

    // Makes the named operation fail with `description`. `op` is the name it is recorded under ("StageCopy",
    // "PutInPlace", "StartProgram", "SetIconLocation", "ReleaseFolder", ...); `argument`, when not empty,
    // restricts it to calls whose first argument contains it.
    void Fail(const std::string& op, const std::wstring& argument = L"", const std::wstring& description = L"失敗");
    // Makes StartProgram of command lines containing `argument` report success with task id 0.
    void StartNothing(const std::wstring& argument);
    // What RunCopyAndWait reports once the copy is made; Finished by default.
    WaitResult wait_result = WaitResult::Finished;
    // Answers of the next message boxes, in order; when empty every box is answered with OK (Yes for questions).
    std::deque<Answer> answers;
    // Runs while a message box is open, as another user's program would: the machine may change meanwhile.
    std::function<void(const std::wstring& text)> while_message_open;

    // ---- Observing.
    bool HasFolder(const std::wstring& path) const;
    bool HasFile(const std::wstring& path) const;
    std::uint32_t Attributes(const std::wstring& path) const;
    std::string Content(const std::wstring& path) const;
    std::vector<std::string> calls;        // "Op(argument)" in call order, UTF-8
    std::vector<std::wstring> started;     // command lines given to StartProgram
    std::vector<std::wstring> started_in;  // and their current folders, in the same order
    std::vector<std::wstring> waited;      // copies RunCopyAndWait made and started
    std::vector<Message> messages;
    std::vector<Shortcut> shortcuts;  // every successful save of a shortcut, in order
    std::vector<std::string> noted;   // "what: description" of every failure noted, UTF-8
    // A folder's access: "own" (as it was), "held", "parent" (what its parent passes on) or "kept" (protected,
    // the administrators').
    std::string Access(const std::wstring& path) const;

    // ---- Platform.
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
    class FakeShortcut;
    class FakeLock;
    class FakeStaged;
    struct File {
        std::uint32_t attributes;
        std::string content;
        bool locked_attributes = false;
    };
    TreeEntry Entry(const std::wstring& key, bool folder) const;
    struct Failure {
        std::string op;
        std::wstring argument;
        std::wstring description;
    };
    void Record(const std::string& op, const std::wstring& argument);
    // The source file of a copy, once it is found and matches `expected`; else the failure.
    Result<File> Verified(const std::wstring& source, const std::optional<Sha256Digest>& expected) const;
    // The failure arranged for this call, if any.
    std::optional<PlatformError> Arranged(const std::string& op, const std::wstring& argument) const;
    static std::wstring Key(const std::wstring& path);
    static std::wstring Parent(const std::wstring& path);

    std::map<std::wstring, File> files_;
    std::set<std::wstring> folders_;
    std::set<std::wstring> links_;
    std::map<std::wstring, std::wstring> owners_;
    std::map<std::wstring, std::wstring> names_;  // the paths as they were given, by key
    std::map<std::wstring, std::string> access_;
    std::vector<std::function<void()>> ends_;
    std::vector<Failure> failures_;
    std::vector<std::wstring> start_nothing_;
    TaskId next_task_ = 1000;
};

}  // namespace setup
