// The few functions of the COM, shell and security libraries that the program calls, loaded from the system
// folder when first needed instead of imported. setup.exe then imports only DLLs that Windows always takes from the
// system folder, and its start does not pay for libraries the menu does not use.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <optional>
#include <string>

namespace setup::win32 {

// The Windows system folder, without a trailing backslash, or nothing when the system does not say.
std::optional<std::wstring> SystemDirectory();

// A function of a loaded module by name, as the type it is used as; null when the module lacks it (an
// older Windows, say).
template <class Fn>
Fn ProcAddress(HMODULE module, const char* name) noexcept {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

HRESULT ComInitialize(DWORD model) noexcept;
void ComUninitialize() noexcept;
HRESULT ComCreateInstance(REFCLSID clsid, REFIID iid, void** object) noexcept;
// SHGetFolderPathW: `token` names the user whose folder it is (null: the caller's).
HRESULT ShellFolderPath(HWND owner, int folder, HANDLE token, DWORD flags, wchar_t* path) noexcept;
// A security descriptor from its SDDL text (advapi32's ConvertStringSecurityDescriptorToSecurityDescriptorW),
// to be freed with LocalFree. FALSE with the last error set when it cannot be made.
BOOL SecurityDescriptorFromText(const wchar_t* sddl, PSECURITY_DESCRIPTOR* descriptor) noexcept;
// The DACL of a descriptor, and whether it is protected from inheriting (GetSecurityDescriptorDacl and
// GetSecurityDescriptorControl). FALSE with the last error set when it cannot be read.
BOOL DaclOfDescriptor(PSECURITY_DESCRIPTOR descriptor, PACL* dacl, bool* protected_dacl) noexcept;
// The security descriptor of an open file or folder, holding its DACL, to be freed with LocalFree
// (GetSecurityInfo). The Win32 error, or ERROR_SUCCESS.
DWORD FileDaclDescriptor(HANDLE file, PSECURITY_DESCRIPTOR* descriptor) noexcept;
// The owner of an open file or folder, as its security identifier in text ("S-1-5-32-544"), and its account
// name ("PC\\user"; the identifier again when it has none). The Win32 error, or ERROR_SUCCESS.
DWORD FileOwner(HANDLE file, std::wstring* sid, std::wstring* account) noexcept;
// The user of a token as a security identifier in text, or nothing when it cannot be read.
std::optional<std::wstring> TokenUserSid(HANDLE token) noexcept;
// OpenProcessToken, DuplicateTokenEx (an impersonation token), ImpersonateLoggedOnUser and RevertToSelf.
BOOL ProcessToken(HANDLE process, DWORD access, HANDLE* token) noexcept;
BOOL ImpersonationToken(HANDLE token, HANDLE* impersonation) noexcept;
BOOL Impersonate(HANDLE token) noexcept;
BOOL StopImpersonating() noexcept;
// Gives an open file or folder `dacl`, protected from inheriting or taking what its parent passes on; the
// inheritable entries go on to what is inside (SetSecurityInfo). The Win32 error, or ERROR_SUCCESS.
DWORD SetFileDacl(HANDLE file, PACL dacl, bool protected_dacl) noexcept;

// Loads both libraries and initialises COM on this thread for the rest of the run, so that the install's
// first shortcut does not pay for it. Meant for a moment when the program is idle.
void PreloadShell() noexcept;

// Initialises COM, apartment-threaded, on the current thread for the guard's lifetime. S_FALSE ("already
// initialised") is a success that needs its matching CoUninitialize too; RPC_E_CHANGED_MODE means COM is usable
// in the other model and must not be uninitialised by us.
class ComInitGuard {
public:
    ComInitGuard() noexcept : hr_(ComInitialize(COINIT_APARTMENTTHREADED)) {}
    ~ComInitGuard() {
        if (SUCCEEDED(hr_)) ComUninitialize();
    }
    ComInitGuard(const ComInitGuard&) = delete;
    ComInitGuard& operator=(const ComInitGuard&) = delete;

    HRESULT result() const noexcept { return hr_; }
    // True when COM can be used on this thread, whoever initialised it.
    bool usable() const noexcept { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

}  // namespace setup::win32
