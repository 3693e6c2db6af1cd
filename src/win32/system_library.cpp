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

HRESULT ShellFolderPath(HWND owner, int folder, DWORD flags, wchar_t* path) noexcept {
    static const auto fn = Function<SHGetFolderPathWFn>(L"shell32.dll", "SHGetFolderPathW");
    return fn ? fn(owner, folder, nullptr, flags, path) : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
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

void PreloadShell() noexcept {
    // Not uninitialised: COM stays up on the user-interface thread until the program ends.
    ComInitialize(COINIT_APARTMENTTHREADED);
    SystemLibrary(L"shell32.dll");
}

}  // namespace setup::win32
