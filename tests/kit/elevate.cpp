// Runs its command line elevated and exits with its exit code: elevate.exe cmd /c run.cmd. It asks for
// administrator rights in its manifest, so Windows asks the user (UAC) and Wine gives it its full token; what
// it starts inherits that token. It is the "Run as administrator" of a prompt, for scripts.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
    // The command line after this program's own name.
    const wchar_t* rest = ::GetCommandLineW();
    bool quoted = false;
    for (; *rest && (quoted || (*rest != L' ' && *rest != L'\t')); ++rest) {
        if (*rest == L'"') quoted = !quoted;
    }
    while (*rest == L' ' || *rest == L'\t') ++rest;
    if (!*rest) {
        std::fprintf(stderr, "usage: elevate.exe PROGRAM [ARGUMENTS]\n");
        return 2;
    }
    std::wstring command_line = rest;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        std::fprintf(stderr, "elevate: cannot start it (error %lu)\n", ::GetLastError());
        return 2;
    }
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
