// An in-memory stand-in for the machine, for the native tests of the install logic.
//
// It keeps folders, files and their attributes, records every call in order (command lines included), answers
// message boxes from a script, and can be told to make a given call fail with a given description.
#pragma once

#include <cstdint>
#include <deque>
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
        int code;
        std::wstring title;
    };
    struct Shortcut {
        std::wstring path;
        ShortcutDefinition definition;
    };

    FakePlatform();

    // ---- Arranging the machine.
    std::wstring system_folder = L"C:\\WINDOWS\\system32";
    std::wstring program_folder = L"D:\\Media";
    std::map<int, std::optional<std::wstring>> shell_folders;
    void AddFolder(const std::wstring& path);
    void AddFile(const std::wstring& path, std::uint32_t attributes = kAttrArchive, const std::string& content = "x");
    // Attributes that stick: SetAttributes on this file fails (like a file the user may not change).
    void LockAttributes(const std::wstring& path);

    // Makes the named operation fail with `description`. `op` is the method name ("CopyFileOverwrite",
    // "StartProgram", ...); `argument`, when not empty, restricts it to calls whose first argument contains it.
    void Fail(const std::string& op, const std::wstring& argument = L"", const std::wstring& description = L"失敗");
    // What RunAndWait reports; Finished by default.
    WaitResult wait_result = WaitResult::Finished;
    // Answers of the next message boxes, in order; when empty every box is answered with OK (Yes for questions).
    std::deque<int> answers;

    // ---- Observing.
    bool HasFolder(const std::wstring& path) const;
    bool HasFile(const std::wstring& path) const;
    std::uint32_t Attributes(const std::wstring& path) const;
    std::string Content(const std::wstring& path) const;
    std::vector<std::string> calls;     // "Op(argument)" in call order, UTF-8
    std::vector<std::wstring> started;  // command lines given to StartProgram
    std::vector<std::wstring> waited;   // applications given to RunAndWait
    std::vector<Message> messages;
    std::vector<Shortcut> shortcuts;  // every successful SaveShortcut, in order

    // ---- Platform.
    Result<std::wstring> SystemFolder() override;
    Result<std::wstring> ProgramFolder() override;
    Result<bool> FolderExists(const std::wstring& path) override;
    Status CreateFolder(const std::wstring& path) override;
    Result<bool> FileExists(const std::wstring& path) override;
    Result<std::uint32_t> GetAttributes(const std::wstring& path) override;
    Status SetAttributes(const std::wstring& path, std::uint32_t attributes) override;
    Status CopyFileOverwrite(const std::wstring& source, const std::wstring& destination) override;
    Status DeleteFileForce(const std::wstring& path) override;
    Status StartProgram(const std::wstring& command_line) override;
    Result<WaitResult> RunAndWait(const std::wstring& application, std::uint32_t timeout_ms) override;
    std::optional<std::wstring> ShellFolder(int folder_id) override;
    Status SaveShortcut(const std::wstring& path, const ShortcutDefinition& shortcut) override;
    Result<int> ShowMessage(const std::wstring& text, int code, const std::wstring& title) override;

private:
    struct File {
        std::uint32_t attributes;
        std::string content;
        bool locked_attributes = false;
    };
    struct Failure {
        std::string op;
        std::wstring argument;
        std::wstring description;
    };
    void Record(const std::string& op, const std::wstring& argument);
    // The failure arranged for this call, if any.
    std::optional<PlatformError> Arranged(const std::string& op, const std::wstring& argument) const;
    static std::wstring Key(const std::wstring& path);
    static std::wstring Parent(const std::wstring& path);

    std::map<std::wstring, File> files_;
    std::set<std::wstring> folders_;
    std::vector<Failure> failures_;
};

}  // namespace setup
