// A DLL that must never be loaded by setup.exe: copies of it lie beside setup.exe on a test medium under the
// names of system libraries. When a process loads it, it says so in C:\planted\loaded.txt (one UTF-8 line:
// its own path, a tab, the path of the process's program) and otherwise does nothing.
#include <windows.h>

namespace {

void AppendUtf8(HANDLE file, const wchar_t* text) {
    char buf[4 * MAX_PATH];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    DWORD written = 0;
    if (n > 1) WriteFile(file, buf, static_cast<DWORD>(n - 1), &written, nullptr);
}

void Record(HMODULE self) {
    wchar_t module[MAX_PATH] = L"?";
    wchar_t program[MAX_PATH] = L"?";
    GetModuleFileNameW(self, module, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    CreateDirectoryW(L"C:\\planted", nullptr);
    // Several processes may load it at once: append, and let the others wait their turn.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 200 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileW(L"C:\\planted\\loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE) return;
    AppendUtf8(file, module);
    AppendUtf8(file, L"\t");
    AppendUtf8(file, program);
    AppendUtf8(file, L"\r\n");
    CloseHandle(file);
}

}  // namespace

// Lets a program that loaded some module by name tell this one from the library it stands in for.
extern "C" __declspec(dllexport) int PlantedMarker() { return 1; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Record(instance);
    return TRUE;
}
