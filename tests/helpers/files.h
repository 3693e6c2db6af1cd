// Files and shortcuts as the Windows-side tests set them up and read them back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// The whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// The lines of a UTF-8 text file, ended by LF or CR LF; none when it cannot be read.
std::vector<std::wstring> ReadLines(const std::wstring& path);
// Replaces the file with `bytes`; false when it cannot be written.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Deletes a file, read-only or not.
void DeleteFileForce(const std::wstring& path);
// Deletes a folder and everything in it; a link is left alone, and what it leads to.
void DeleteTree(const std::wstring& folder);
// Makes `owner` (a security identifier in text) the owner of a file or folder, as an administrator may
// (SeRestorePrivilege); false when that is refused.
bool GiveAway(const std::wstring& path, const wchar_t* owner);

// What a shell shortcut (.lnk) holds, read back through the shell's own shortcut object. A property the
// object does not give back reads "junk" (texts) or stays at its initial value (numbers).
struct ShortcutProps {
    bool loaded = false;
    std::wstring target, icon, description, workdir, arguments;
    int iconIndex = -1, showCmd = -1;
    WORD hotkey = 0xFFFF;
};
ShortcutProps ReadShortcut(const std::wstring& path);
