#include "tests/helpers/files.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "support/utf8.h"
#include "win32/handles.h"
#include "win32/system_library.h"

using setup::win32::ComInitGuard;
using setup::win32::ComPtr;
using setup::win32::UniqueFileHandle;

namespace {

struct FindTraits {
    using type = HANDLE;
    static type none() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};

}  // namespace

bool FileExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string out;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file) return out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    return out;
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    const std::wstring text = FromUtf8(ReadFileBytes(path));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == L'\r')));
        start = end + 1;
    }
    return lines;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void DeleteFileForce(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

void DeleteTree(const std::wstring& folder) {
    // A link (an install root planted as one) is left alone: what it leads to is not ours.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return;
    WIN32_FIND_DATAW found;
    const setup::win32::Owned<FindTraits> find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(path);
        } else {
            DeleteFileForce(path);
        }
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

bool GiveAway(const std::wstring& path, const wchar_t* owner) {
    setup::win32::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) return false;
    TOKEN_PRIVILEGES restore{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    if (!LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &restore.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token.get(), FALSE, &restore, 0, nullptr, nullptr) ||
        GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        return false;
    }
    setup::win32::UniqueLocalMemory sid;
    if (!ConvertStringSidToSidW(owner, reinterpret_cast<PSID*>(sid.put()))) return false;
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                 sid.get(), nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

ShortcutProps ReadShortcut(const std::wstring& path) {
    ShortcutProps p;
    const ComInitGuard com;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) ||
        FAILED(link.query(file)) || FAILED(file->Load(path.c_str(), STGM_READ))) {
        return p;
    }
    p.loaded = true;
    wchar_t buffer[MAX_PATH * 2];
    // Junk first, so that a property not written shows.
    auto read = [&](std::wstring& into, auto get) {
        wcscpy(buffer, L"junk");
        get();
        into = buffer;
    };
    read(p.target, [&] { link->GetPath(buffer, MAX_PATH * 2, nullptr, SLGP_RAWPATH); });
    read(p.icon, [&] { link->GetIconLocation(buffer, MAX_PATH * 2, &p.iconIndex); });
    read(p.description, [&] { link->GetDescription(buffer, MAX_PATH * 2); });
    read(p.workdir, [&] { link->GetWorkingDirectory(buffer, MAX_PATH * 2); });
    read(p.arguments, [&] { link->GetArguments(buffer, MAX_PATH * 2); });
    link->GetShowCmd(&p.showCmd);
    link->GetHotkey(&p.hotkey);
    return p;
}
