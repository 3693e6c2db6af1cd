// The negative control of the planted-DLL test: a program that does not restrict its DLL search, placed in
// the same folder as the planted copies, loads each name given on its command line by bare name.
// Each line of its output: the name, a tab, "planted" or "system", a tab, the module's path (or "error N").
// Wine may load its own built-in library for a name and still report the path of the file it found beside
// the program, so the planted copy is told by its export, not by its path. Exit code: how many were planted.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/utf8.h"

int wmain(int argc, wchar_t** argv) {
    int planted = 0;
    for (int i = 1; i < argc; ++i) {
        SetLastError(0xdeadbeef);
        HMODULE module = LoadLibraryW(argv[i]);
        std::wstring line = argv[i];
        line += L'\t';
        if (module) {
            wchar_t path[MAX_PATH] = {};
            GetModuleFileNameW(module, path, MAX_PATH);
            const bool ours = GetProcAddress(module, "PlantedMarker") != nullptr;
            if (ours) ++planted;
            line += ours ? L"planted\t" : L"system\t";
            line += path;
        } else {
            line += L"error " + std::to_wstring(GetLastError());
        }
        std::fputs(ToUtf8(line + L"\n").c_str(), stdout);
    }
    std::fflush(stdout);
    return planted;
}
