// Starting the programs setup.exe runs, elevated as it is.
#pragma once

#include <windows.h>

#include "core/platform.h"

namespace setup::win32 {

// CreateProcessW as a type, so that a test can stand in for it.
using CreateProcessFn = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                      LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// Starts a program as CreateProcessW(application, command_line, no security attributes, no inherited handles,
// `flags`, the inherited environment, current_folder, startup, process) does, with the image-load policy that
// makes it take a DLL named without a path from the system folder before its own folder
// (PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_PREFER_SYSTEM32_ALWAYS_ON, Windows 10 and later): a DLL that
// someone put beside it under the name of a system DLL is not loaded. Where the system refuses the policy
// (Windows 7 and 8 fail the start with ERROR_INVALID_PARAMETER, Vista refuses the attribute), it is started as
// before, and the refusal is noted with `notes`.
BOOL CreateProcessPreferringSystem32(Platform& notes, const wchar_t* application, wchar_t* command_line, DWORD flags,
                                     const wchar_t* current_folder, STARTUPINFOW& startup, PROCESS_INFORMATION* process,
                                     CreateProcessFn create = ::CreateProcessW);

}  // namespace setup::win32
