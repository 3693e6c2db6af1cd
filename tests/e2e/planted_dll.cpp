// A DLL that must never be loaded by setup.exe: copies of it lie beside setup.exe on a test medium under the
// names of system libraries. When a process loads it, it says so in C:\planted\loaded.txt (one UTF-8 line:
// its own path, a tab, the path of the process's program) and otherwise does nothing.
#include <windows.h>

#include <string>

#include "support/utf8.h"
#include "win32/handles.h"

namespace {

void Record(HMODULE self) {
    wchar_t module[MAX_PATH] = L"?";
    wchar_t program[MAX_PATH] = L"?";
    GetModuleFileNameW(self, module, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    CreateDirectoryW(L"C:\\planted", nullptr);
    // Several processes may load it at once: append, and let the others wait their turn.
    setup::win32::UniqueFileHandle file;
    for (int attempt = 0; attempt < 200 && !file; ++attempt) {
        file.reset(CreateFileW(L"C:\\planted\\loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) Sleep(10);
    }
    if (!file) return;
    const std::string line = ToUtf8(module) + "\t" + ToUtf8(program) + "\r\n";
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

// Lets a program that loaded some module by name tell this one from the library it stands in for.
extern "C" __declspec(dllexport) int PlantedMarker() { return 1; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Record(instance);
    return TRUE;
}
