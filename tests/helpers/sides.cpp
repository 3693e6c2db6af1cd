#include "tests/helpers/sides.h"

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstdlib>
#include <vector>

#include "support/utf8.h"
#include "win32/handles.h"
#include "win32/system_library.h"

using setup::win32::ProcAddress;
using setup::win32::UniqueFileHandle;
using setup::win32::UniqueHandle;
using setup::win32::UniqueLocalMemory;

namespace sides {

namespace {

// A mount point's reparse data (ntifs.h, which MinGW's Windows headers do not include).
struct MountPointReparseBuffer {
    DWORD ReparseTag;
    WORD ReparseDataLength;
    WORD Reserved;
    WORD SubstituteNameOffset;
    WORD SubstituteNameLength;
    WORD PrintNameOffset;
    WORD PrintNameLength;
    wchar_t PathBuffer[1];
};

HMODULE Ntdll() { return ::GetModuleHandleW(L"ntdll.dll"); }
HMODULE Kernel32() { return ::GetModuleHandleW(L"kernel32.dll"); }

// A bound for the host's work, stretched as the end-to-end waits are (SETUP_WAIT_SCALE, under emulation).
DWORD HostBoundMs() {
    wchar_t scale[16] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"SETUP_WAIT_SCALE", scale, 16);
    const unsigned long factor = n > 0 && n < 16 ? std::wcstoul(scale, nullptr, 10) : 1;
    return 10000 * static_cast<DWORD>(factor > 0 ? factor : 1);
}

bool IsLink(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool WaitFor(bool (*done)(const std::wstring&, bool), const std::wstring& path, bool want) {
    const ULONGLONG deadline = ::GetTickCount64() + HostBoundMs();
    while (!done(path, want)) {
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(20);
    }
    return true;
}

// Under Wine: the Unix path of a Windows one, and back.
std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    const auto to_unix = ProcAddress<ToUnix>(Kernel32(), "wine_get_unix_file_name");
    char* unix_path = to_unix ? to_unix(path.c_str()) : nullptr;
    if (!unix_path) return {};
    std::string result(unix_path);
    ::HeapFree(::GetProcessHeap(), 0, unix_path);
    return result;
}

std::wstring DosPath(const char* unix_path) {
    using ToDos = wchar_t*(CDECL*)(const char*);
    const auto to_dos = ProcAddress<ToDos>(Kernel32(), "wine_get_dos_file_name");
    wchar_t* dos = to_dos ? to_dos(unix_path) : nullptr;
    if (!dos) return {};
    std::wstring result(dos);
    ::HeapFree(::GetProcessHeap(), 0, dos);
    return result;
}

// Under Wine only: starts the host's `program` (/usr/bin/ln, /usr/bin/rm) with `arguments`. Wine starts a
// Unix program that it is asked to start, but gives no handle to wait on: the caller waits for what it does.
bool StartOnTheHost(const char* program, const std::vector<std::string>& arguments) {
    const std::wstring exe = DosPath(program);
    if (exe.empty()) return false;
    std::wstring command_line = L"\"" + exe + L"\"";
    for (const std::string& argument : arguments) command_line += L" \"" + FromUtf8(argument) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    if (process.hProcess) ::CloseHandle(process.hProcess);
    if (process.hThread) ::CloseHandle(process.hThread);
    return true;
}

// The Unix path a Windows path will have once it exists: its folder's, and its own name.
std::string FutureUnixPath(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    std::string folder = UnixPath(path.substr(0, slash + 1));
    if (folder.empty()) return {};
    if (folder.back() != '/') folder += '/';
    return folder + ToUtf8(path.substr(slash + 1));
}

std::wstring Describe(DWORD code) { return L"error " + std::to_wstring(code); }

}  // namespace

bool UnderWine() {
    static const bool wine = ::GetProcAddress(Ntdll(), "wine_get_version") != nullptr;
    return wine;
}

bool WindowsAtLeast(DWORD major, DWORD minor) {
    using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    static const OSVERSIONINFOW version = [] {
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        if (const auto get = ProcAddress<GetVersionFn>(Ntdll(), "RtlGetVersion")) get(&v);
        return v;
    }();
    return version.dwMajorVersion > major || (version.dwMajorVersion == major && version.dwMinorVersion >= minor);
}

std::wstring DaclText(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"(none)";
    }
    UniqueLocalMemory owner(descriptor);
    wchar_t* text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                &text, nullptr)) {
        return L"(unreadable)";
    }
    UniqueLocalMemory text_owner(text);
    return text;
}

std::wstring ExpectedPreferSystem32Record() {
    if (UnderWine()) return L"prefer_system32=0";
    return WindowsAtLeast(10) ? L"prefer_system32=1" : L"prefer_system32=unknown";
}

std::wstring PreferSystem32Record() {
    using GetPolicyFn = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto get = ProcAddress<GetPolicyFn>(Kernel32(), "GetProcessMitigationPolicy");
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
    if (!get || !get(::GetCurrentProcess(), ProcessImageLoadPolicy, &policy, sizeof policy)) {
        return L"prefer_system32=unknown";
    }
    return L"prefer_system32=" + std::to_wstring(policy.PreferSystem32Images);
}

namespace {

bool UnprivilegedMayAddFileBy(PSECURITY_DESCRIPTOR descriptor, DWORD* error) {
    auto fail = [error](DWORD code) {
        if (error) *error = code;
        return false;
    };
    if (error) *error = ERROR_SUCCESS;
    HANDLE own_raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &own_raw))
        return fail(::GetLastError());
    UniqueHandle own(own_raw);
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
        return fail(::GetLastError());
    SID_AND_ATTRIBUTES deny_only{administrators, 0};
    HANDLE restricted_raw = nullptr;
    if (!::CreateRestrictedToken(own.get(), DISABLE_MAX_PRIVILEGE, 1, &deny_only, 0, nullptr, 0, nullptr,
                                 &restricted_raw)) {
        return fail(::GetLastError());
    }
    UniqueHandle restricted(restricted_raw);
    HANDLE impersonation_raw = nullptr;
    if (!::DuplicateToken(restricted.get(), SecurityImpersonation, &impersonation_raw)) return fail(::GetLastError());
    UniqueHandle impersonation(impersonation_raw);

    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD wanted = FILE_ADD_FILE;
    ::MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD privileges_size = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!::AccessCheck(descriptor, impersonation.get(), wanted, &mapping, &privileges, &privileges_size, &granted,
                       &allowed)) {
        return fail(::GetLastError());
    }
    return allowed != FALSE;
}

}  // namespace

bool UnprivilegedMayAddFile(const std::wstring& folder, DWORD* error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read =
        ::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (read != ERROR_SUCCESS) {
        if (error) *error = read;
        return false;
    }
    UniqueLocalMemory owner(descriptor);
    return UnprivilegedMayAddFileBy(descriptor, error);
}

bool UnprivilegedMayAddFileUnder(const std::wstring& sddl, DWORD* error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        if (error) *error = ::GetLastError();
        return false;
    }
    UniqueLocalMemory owner(descriptor);
    return UnprivilegedMayAddFileBy(descriptor, error);
}

bool MakeJunction(const std::wstring& link, const std::wstring& target, std::wstring* why) {
    auto fail = [why](const std::wstring& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!::CreateDirectoryW(link.c_str(), nullptr))
        return fail(L"cannot make the folder: " + Describe(::GetLastError()));
    const std::wstring substitute = L"\\??\\" + target;
    const std::size_t names = (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t);
    std::vector<BYTE> buffer(offsetof(MountPointReparseBuffer, PathBuffer) + names);
    auto* data = reinterpret_cast<MountPointReparseBuffer*>(buffer.data());
    data->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    data->ReparseDataLength =
        static_cast<WORD>(buffer.size() - offsetof(MountPointReparseBuffer, SubstituteNameOffset));
    data->SubstituteNameOffset = 0;
    data->SubstituteNameLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    data->PrintNameOffset = static_cast<WORD>((substitute.size() + 1) * sizeof(wchar_t));
    data->PrintNameLength = static_cast<WORD>(target.size() * sizeof(wchar_t));
    wmemcpy(data->PathBuffer, substitute.c_str(), substitute.size() + 1);
    wmemcpy(data->PathBuffer + substitute.size() + 1, target.c_str(), target.size() + 1);

    DWORD error = ERROR_SUCCESS;
    {
        UniqueFileHandle folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        DWORD returned = 0;
        if (!folder) {
            error = ::GetLastError();
        } else if (!::DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
            error = ::GetLastError();
        }
    }
    if (error == ERROR_SUCCESS) return IsLink(link) || fail(L"made, but it shows no reparse point");
    ::RemoveDirectoryW(link.c_str());
    if (!UnderWine()) return fail(L"FSCTL_SET_REPARSE_POINT: " + Describe(error));

    // Wine: the host makes the link.
    const std::string unix_link = FutureUnixPath(link), unix_target = UnixPath(target);
    if (unix_link.empty() || unix_target.empty()) return fail(L"no Unix path for the link or its target");
    if (!StartOnTheHost("/usr/bin/ln", {"-s", "--", unix_target, unix_link})) {
        return fail(L"the host's ln could not be started: " + Describe(::GetLastError()));
    }
    if (!WaitFor([](const std::wstring& p, bool) { return IsLink(p); }, link, true)) {
        return fail(L"the host made no link within its time");
    }
    return true;
}

bool RemoveJunction(const std::wstring& link) {
    if (!IsLink(link)) return true;
    if (!UnderWine()) return ::RemoveDirectoryW(link.c_str()) && !IsLink(link);
    const std::string unix_link = UnixPath(link);
    if (unix_link.empty() || !StartOnTheHost("/usr/bin/rm", {"-f", "--", unix_link})) return false;
    return WaitFor([](const std::wstring& p, bool) { return !IsLink(p); }, link, false);
}

bool MapDrive(const std::wstring& letter, const std::wstring& folder) {
    const std::wstring root = letter + L"\\";
    if (!UnderWine()) {
        if (folder.empty()) return ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter.c_str(), nullptr) != 0;
        return ::DefineDosDeviceW(0, letter.c_str(), folder.c_str()) &&
               ::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // A drive of Wine is a link in the prefix's dosdevices folder, beside c:.
    // C: is the prefix's dosdevices/c: (Wine names it so) or what it leads to, drive_c.
    std::string devices = UnixPath(L"C:\\");
    while (!devices.empty() && devices.back() == '/') devices.pop_back();
    devices = devices.substr(0, devices.find_last_of('/'));
    if (devices.size() < 11 || devices.compare(devices.size() - 11, 11, "/dosdevices") != 0) devices += "/dosdevices";
    devices += "/";
    std::wstring lower = letter;
    for (auto& c : lower) c = static_cast<wchar_t>(::towlower(c));
    const std::string device = devices + ToUtf8(lower);
    if (folder.empty()) {
        if (!StartOnTheHost("/usr/bin/rm", {"-f", "--", device})) return false;
        return WaitFor(
            [](const std::wstring& p, bool) { return ::GetFileAttributesW(p.c_str()) == INVALID_FILE_ATTRIBUTES; },
            root, false);
    }
    const std::string unix_folder = UnixPath(folder);
    if (unix_folder.empty() || !StartOnTheHost("/usr/bin/ln", {"-sfn", "--", unix_folder, device})) return false;
    return WaitFor(
        [](const std::wstring& p, bool) { return ::GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }, root,
        true);
}

}  // namespace sides
