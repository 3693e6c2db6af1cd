#include "win32/system_library.h"

#include <vector>

namespace setup::win32 {

std::optional<std::wstring> SystemDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const UINT length = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);  // too small: length is the size needed
    }
}

namespace {

// By full path: a bare name could be found beside setup.exe first on systems without the newer search flags.
HMODULE SystemLibrary(const wchar_t* name) {
    const std::optional<std::wstring> folder = SystemDirectory();
    if (!folder) return nullptr;
    return ::LoadLibraryW((*folder + L'\\' + name).c_str());  // stays loaded for the run; Windows counts references
}

template <class Fn>
Fn Function(const wchar_t* library, const char* name) {
    return ProcAddress<Fn>(SystemLibrary(library), name);
}

using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
using SHGetFolderPathWFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, wchar_t*);
using ConvertSddlFn = BOOL(WINAPI*)(const wchar_t*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);
using GetDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL);
using GetControlFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR_CONTROL, LPDWORD);
// SE_OBJECT_TYPE is an enumeration of the access-control headers; SE_FILE_OBJECT is 1.
using GetSecurityInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                         PSECURITY_DESCRIPTOR*);
using SetSecurityInfoFn = DWORD(WINAPI*)(HANDLE, int, SECURITY_INFORMATION, PSID, PSID, PACL, PACL);
using SidToTextFn = BOOL(WINAPI*)(PSID, wchar_t**);
using LookupAccountSidWFn = BOOL(WINAPI*)(const wchar_t*, PSID, wchar_t*, DWORD*, wchar_t*, DWORD*, SID_NAME_USE*);
using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
using GetTokenInformationFn = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);
using DuplicateTokenExFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL,
                                         TOKEN_TYPE, HANDLE*);
using ImpersonateFn = BOOL(WINAPI*)(HANDLE);
using RevertToSelfFn = BOOL(WINAPI*)();
constexpr int kFileObject = 1;

}  // namespace

HRESULT ComInitialize(DWORD model) noexcept {
    static const auto fn = Function<CoInitializeExFn>(L"ole32.dll", "CoInitializeEx");
    return fn ? fn(nullptr, model) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

void ComUninitialize() noexcept {
    static const auto fn = Function<CoUninitializeFn>(L"ole32.dll", "CoUninitialize");
    if (fn) fn();
}

HRESULT ComCreateInstance(REFCLSID clsid, REFIID iid, void** object) noexcept {
    static const auto fn = Function<CoCreateInstanceFn>(L"ole32.dll", "CoCreateInstance");
    return fn ? fn(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

HRESULT ShellFolderPath(HWND owner, int folder, HANDLE token, DWORD flags, wchar_t* path) noexcept {
    static const auto fn = Function<SHGetFolderPathWFn>(L"shell32.dll", "SHGetFolderPathW");
    return fn ? fn(owner, folder, token, flags, path) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

BOOL SecurityDescriptorFromText(const wchar_t* sddl, PSECURITY_DESCRIPTOR* descriptor) noexcept {
    static const auto fn =
        Function<ConvertSddlFn>(L"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW");
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(sddl, 1 /* SDDL_REVISION_1 */, descriptor, nullptr);
}

BOOL DaclOfDescriptor(PSECURITY_DESCRIPTOR descriptor, PACL* dacl, bool* protected_dacl) noexcept {
    static const auto get_dacl = Function<GetDaclFn>(L"advapi32.dll", "GetSecurityDescriptorDacl");
    static const auto get_control = Function<GetControlFn>(L"advapi32.dll", "GetSecurityDescriptorControl");
    if (!get_dacl || !get_control) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    BOOL present = FALSE, defaulted = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!get_dacl(descriptor, &present, dacl, &defaulted) || !get_control(descriptor, &control, &revision)) {
        return FALSE;
    }
    if (!present) *dacl = nullptr;
    *protected_dacl = (control & SE_DACL_PROTECTED) != 0;
    return TRUE;
}

DWORD FileDaclDescriptor(HANDLE file, PSECURITY_DESCRIPTOR* descriptor) noexcept {
    static const auto get = Function<GetSecurityInfoFn>(L"advapi32.dll", "GetSecurityInfo");
    if (!get) return ERROR_PROC_NOT_FOUND;
    PACL dacl = nullptr;
    return get(file, kFileObject, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, descriptor);
}

DWORD SetFileDacl(HANDLE file, PACL dacl, bool protected_dacl) noexcept {
    static const auto set = Function<SetSecurityInfoFn>(L"advapi32.dll", "SetSecurityInfo");
    if (!set) return ERROR_PROC_NOT_FOUND;
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        (protected_dacl ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return set(file, kFileObject, what, nullptr, nullptr, dacl, nullptr);
}

namespace {

std::optional<std::wstring> SidText(PSID sid) noexcept {
    static const auto fn = Function<SidToTextFn>(L"advapi32.dll", "ConvertSidToStringSidW");
    wchar_t* text = nullptr;
    if (!fn || !fn(sid, &text)) return std::nullopt;
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

}  // namespace

DWORD FileOwner(HANDLE file, std::wstring* sid, std::wstring* account) noexcept {
    static const auto get = Function<GetSecurityInfoFn>(L"advapi32.dll", "GetSecurityInfo");
    static const auto lookup = Function<LookupAccountSidWFn>(L"advapi32.dll", "LookupAccountSidW");
    if (!get || !lookup) return ERROR_PROC_NOT_FOUND;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (const DWORD error = get(file, kFileObject, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                &descriptor)) {
        return error;
    }
    std::optional<std::wstring> text = owner ? SidText(owner) : std::nullopt;
    wchar_t name[256], domain[256];
    DWORD name_size = 256, domain_size = 256;
    SID_NAME_USE use;
    const bool named = owner && lookup(nullptr, owner, name, &name_size, domain, &domain_size, &use);
    ::LocalFree(descriptor);
    if (!text) return ERROR_INVALID_SID;
    *sid = *text;
    *account = named ? (domain_size ? std::wstring(domain) + L"\\" : std::wstring()) + name : *text;
    return ERROR_SUCCESS;
}

std::optional<std::wstring> TokenUserSid(HANDLE token) noexcept {
    static const auto fn = Function<GetTokenInformationFn>(L"advapi32.dll", "GetTokenInformation");
    if (!fn) return std::nullopt;
    DWORD size = 0;
    fn(token, ::TokenUser, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> buffer(size);
    if (!fn(token, ::TokenUser, buffer.data(), size, &size)) return std::nullopt;
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

BOOL ProcessToken(HANDLE process, DWORD access, HANDLE* token) noexcept {
    static const auto fn = Function<OpenProcessTokenFn>(L"advapi32.dll", "OpenProcessToken");
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(process, access, token);
}

BOOL ImpersonationToken(HANDLE token, HANDLE* impersonation) noexcept {
    static const auto fn = Function<DuplicateTokenExFn>(L"advapi32.dll", "DuplicateTokenEx");
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(token, TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE, nullptr, SecurityImpersonation,
              TokenImpersonation, impersonation);
}

BOOL Impersonate(HANDLE token) noexcept {
    static const auto fn = Function<ImpersonateFn>(L"advapi32.dll", "ImpersonateLoggedOnUser");
    if (!fn) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return fn(token);
}

BOOL StopImpersonating() noexcept {
    static const auto fn = Function<RevertToSelfFn>(L"advapi32.dll", "RevertToSelf");
    return fn && fn();
}

void PreloadShell() noexcept {
    // Not uninitialised: COM stays up on the user-interface thread until the program ends.
    ComInitialize(COINIT_APARTMENTTHREADED);
    SystemLibrary(L"shell32.dll");
}

}  // namespace setup::win32
