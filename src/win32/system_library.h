// The few functions of the COM, shell and security libraries that the program calls, loaded from the system
// folder when first needed instead of imported. setup.exe then imports only DLLs that Windows always takes from the
// system folder, and its start does not pay for libraries the menu does not use.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace setup::win32 {

HRESULT ComInitialize(DWORD model) noexcept;
void ComUninitialize() noexcept;
HRESULT ComCreateInstance(REFCLSID clsid, REFIID iid, void** object) noexcept;
HRESULT ShellFolderPath(HWND owner, int folder, DWORD flags, wchar_t* path) noexcept;
// A security descriptor from its SDDL text (advapi32's ConvertStringSecurityDescriptorToSecurityDescriptorW),
// to be freed with LocalFree. FALSE with the last error set when it cannot be made.
BOOL SecurityDescriptorFromText(const wchar_t* sddl, PSECURITY_DESCRIPTOR* descriptor) noexcept;

// Loads both libraries and initialises COM on this thread for the rest of the run, so that the install's
// first shortcut does not pay for it. Meant for a moment when the program is idle.
void PreloadShell() noexcept;

}  // namespace setup::win32
