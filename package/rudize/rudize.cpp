// Sample package installer. The setup program copies it to C:\DAZov\setup.exe and runs it from there, so
// everything it lays down travels inside it as RCDATA:
//   C:\DAZov\DAZov.mde          placeholder for the application database
//   C:\DAZov\Work\ZEL.ico       icon of the desktop shortcut
//   C:\DAZov\Info\Ruvok.exe     the service tool
// It shows no window. For tests it reads:
//   RUDIZE_SAMPLE_DELAY_MS      sleep this long before doing anything
//   RUDIZE_SAMPLE_EXIT_CODE     exit with this code once the work is done
//   RUDIZE_SAMPLE_SKIP_TOOL=1   leave Info\Ruvok.exe out
//   RUDIZE_SAMPLE_LOAD=NAME     first load the library NAME by its bare name, as installers load the system
//                               libraries they use
//   SAMPLE_SEEN_FILE            what it sees of itself and of the root while setup waits for it (sample_seen.h)
// Each run appends to C:\DAZov\Info\rudize.log its command line, current folder and own path (TAB
// separated), so a test can see how the setup program started it.

#include <windows.h>

#include <cwchar>
#include <string>

#include "rudize_res.h"
#include "sample_seen.h"
#include "sample_win.h"

namespace {

constexpr wchar_t kRoot[] = L"C:\\DAZov";
constexpr wchar_t kWorkFolder[] = L"C:\\DAZov\\Work";
constexpr wchar_t kInfoFolder[] = L"C:\\DAZov\\Info";
constexpr wchar_t kRunLog[] = L"C:\\DAZov\\Info\\rudize.log";

struct Payload {
    int resource;
    const wchar_t* target;
    bool isServiceTool;
};

constexpr Payload kPayloads[] = {
    {IDR_APP_DATABASE, L"C:\\DAZov\\DAZov.mde", false},
    {IDR_SHORTCUT_ICON, L"C:\\DAZov\\Work\\ZEL.ico", false},
    {IDR_SERVICE_TOOL, L"C:\\DAZov\\Info\\Ruvok.exe", true},
};

bool Env(const wchar_t* name, std::wstring& value) {
    wchar_t buf[64];
    DWORD n = GetEnvironmentVariableW(name, buf, ARRAYSIZE(buf));
    if (n == 0 || n >= ARRAYSIZE(buf)) return false;
    value.assign(buf, n);
    return true;
}

bool EnvNumber(const wchar_t* name, unsigned long& number) {
    std::wstring text;
    if (!Env(name, text)) return false;
    wchar_t* end = nullptr;
    // Base 0 takes decimal and 0x-prefixed hexadecimal (e.g. an NTSTATUS-like exit code); a leading
    // minus wraps, so "-1" gives exit code 0xFFFFFFFF as on Windows.
    number = std::wcstoul(text.c_str(), &end, 0);
    return end != text.c_str();
}

bool WriteResource(int id, const wchar_t* target) {
    HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return false;
    HGLOBAL loaded = LoadResource(nullptr, info);  // module resources need no freeing
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(nullptr, info);
    if (!data) return false;

    // A read-only copy from an earlier install would make CREATE_ALWAYS fail.
    SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
    sample::File f(CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return false;
    DWORD written = 0;
    return WriteFile(f.get(), data, size, &written, nullptr) && written == size;
}

void RecordRun() {
    wchar_t cwd[MAX_PATH * 2] = L"";
    DWORD n = GetCurrentDirectoryW(ARRAYSIZE(cwd), cwd);
    if (n >= ARRAYSIZE(cwd)) cwd[0] = L'\0';
    wchar_t self[MAX_PATH * 2] = L"";
    n = GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
    if (n >= ARRAYSIZE(self)) self[0] = L'\0';
    std::wstring line = GetCommandLineW();
    line += L'\t';
    line += cwd;
    line += L'\t';
    line += self;
    sample::AppendLine(kRunLog, line);  // a missing record must not fail the install
}

bool Install() {
    if (!sample::EnsureFolder(kRoot) || !sample::EnsureFolder(kWorkFolder) || !sample::EnsureFolder(kInfoFolder)) {
        return false;
    }
    RecordRun();
    std::wstring skip;
    bool skipTool = Env(L"RUDIZE_SAMPLE_SKIP_TOOL", skip) && skip == L"1";
    bool ok = true;
    for (const Payload& p : kPayloads) {
        if (p.isServiceTool && skipTool) continue;
        ok = WriteResource(p.resource, p.target) && ok;
    }
    return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring library;
    if (Env(L"RUDIZE_SAMPLE_LOAD", library)) LoadLibraryW(library.c_str());  // kept loaded until the end
    unsigned long delay = 0;
    if (EnvNumber(L"RUDIZE_SAMPLE_DELAY_MS", delay) && delay > 0) Sleep(static_cast<DWORD>(delay));

    sample::RecordSeen(L"rudize");
    bool ok = Install();

    unsigned long code = 0;
    if (EnvNumber(L"RUDIZE_SAMPLE_EXIT_CODE", code)) return static_cast<int>(code);
    return ok ? 0 : 1;
}
