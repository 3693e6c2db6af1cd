// What a started stand-in sees of itself and of the install root, for the tests: with SAMPLE_SEEN_FILE set,
// one line is appended to that file (UTF-8):
//   <program>  TAB  prefer_system32=<1, 0, or unknown>  TAB  root=<C:\DAZov's owner, group and access list as
//   SDDL, or (none)>
// prefer_system32 is the program's own image-load policy, read with GetProcessMitigationPolicy: 1 when DLLs
// named without a path come from the system folder first (Windows 10 and later, as setup starts it); unknown
// where the system has no such policy (Windows 7 and 8.1).
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "sample_win.h"

namespace sample {

inline std::wstring PreferSystem32Seen() {
    using GetPolicyFn = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto get = reinterpret_cast<GetPolicyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessMitigationPolicy")));
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
    if (!get || !get(GetCurrentProcess(), ProcessImageLoadPolicy, &policy, sizeof policy)) return L"unknown";
    return std::to_wstring(policy.PreferSystem32Images);
}

inline std::wstring RootAccessSeen() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    constexpr SECURITY_INFORMATION kWhat =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(L"C:\\DAZov", SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS) {
        return L"(none)";
    }
    wchar_t* text = nullptr;
    std::wstring seen = L"(unreadable)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kWhat, &text, nullptr)) {
        seen = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return seen;
}

inline void RecordSeen(const wchar_t* program) {
    wchar_t file[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"SAMPLE_SEEN_FILE", file, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return;
    AppendLine(file,
               std::wstring(program) + L"\tprefer_system32=" + PreferSystem32Seen() + L"\troot=" + RootAccessSeen());
}

}  // namespace sample
