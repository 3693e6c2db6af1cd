#include "win32/system_library.h"

#include <string>

namespace setup::win32 {

namespace {

// By full path: a bare name could be found beside setup.exe first on systems without the newer search flags.
HMODULE SystemLibrary(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return ::LoadLibraryW(path.c_str());  // stays loaded for the run; Windows counts the references
}

template <class Fn>
Fn Function(const wchar_t* library, const char* name) {
    HMODULE module = SystemLibrary(library);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
using SHGetFolderPathWFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, wchar_t*);
using ConvertSddlFn = BOOL(WINAPI*)(const wchar_t*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);

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

void PreloadShell() noexcept {
    // Not uninitialised: COM stays up on the user-interface thread until the program ends.
    ComInitialize(COINIT_APARTMENTTHREADED);
    SystemLibrary(L"shell32.dll");
}

}  // namespace setup::win32
