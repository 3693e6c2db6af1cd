// A program the Wine tests start to see what a started program receives.
//
// With SETUP_HELPER_RECORD set, it writes a record file (UTF-8, one item a line):
//   command line (GetCommandLineW)
//   current folder
//   program folder (Win32Platform::ProgramFolder)
//   show=<wShowWindow> flags=<dwFlags> of its start-up information
//   pid=<process id>
//   prefer_system32=<the PreferSystem32Images bit of its image-load policy, or "unknown">
// The record is written to a temporary name and then renamed, so a reader never sees half of it.
// With SETUP_HELPER_SLEEP_MS set, it then stays alive that long: the tests need a program that runs for a
// known time. Its exit code is SETUP_HELPER_EXIT_CODE, or 0.
// With SETUP_HELPER_FORM=uncreatable it instead shows the terms window as a window that cannot be created,
// which reports the failure and ends the program.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/design/agreement_design.h"
#include "support/utf8.h"
#include "win32/handles.h"
#include "win32/system_library.h"
#include "win32/win32_platform.h"
#include "windows/forms.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[2048];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 2048);
    if (length == 0 || length >= 2048) return {};
    return std::wstring(buffer, length);
}

// Whether this program takes DLLs named without a path from the system folder first (Windows 10 and later).
std::string PreferSystem32() {
    using GetPolicyFn = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto get =
        setup::win32::ProcAddress<GetPolicyFn>(::GetModuleHandleW(L"kernel32.dll"), "GetProcessMitigationPolicy");
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
    if (!get || !get(::GetCurrentProcess(), ProcessImageLoadPolicy, &policy, sizeof policy)) return "unknown";
    return std::to_string(policy.PreferSystem32Images);
}

bool WriteRecord(const std::wstring& path) {
    wchar_t folder[MAX_PATH * 4];
    ::GetCurrentDirectoryW(MAX_PATH * 4, folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);

    const setup::Result<std::wstring> own_folder = setup::Win32Platform().ProgramFolder();
    const std::wstring program_folder = own_folder.ok() ? own_folder.value() : L"error: " + own_folder.error();

    std::string text = ToUtf8(::GetCommandLineW()) + "\n" + ToUtf8(folder) + "\n" + ToUtf8(program_folder) + "\n" +
                       "show=" + std::to_string(startup.wShowWindow) + " flags=" + std::to_string(startup.dwFlags) +
                       "\n" + "pid=" + std::to_string(::GetCurrentProcessId()) + "\n" +
                       "prefer_system32=" + PreferSystem32() + "\n";

    const std::wstring temporary = path + L".part";
    {
        setup::win32::UniqueFileHandle file(
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return false;
    }
    return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// Reaches no other window: it is never created.
class NoOtherWindows : public setup::ProgramWindows {
    setup::ProgramWindow& frmMain() override { std::abort(); }
    setup::ProgramWindow& frmKyodaku() override { std::abort(); }
    setup::ProgramWindow& frmRudIze() override { std::abort(); }
};

// Refuses to be created, as a window the system cannot create.
class UncreatableForm : public setup::ProgramWindow {
public:
    using ProgramWindow::ProgramWindow;

protected:
    bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message != WM_CREATE) return false;
        result = -1;
        return true;
    }
};

}  // namespace

int wmain() {
    if (Env(L"SETUP_HELPER_FORM") == L"uncreatable") {
        setup::Win32Platform platform;
        const setup::PayloadRecords records;
        setup::InstallRun run;
        NoOtherWindows windows;
        UncreatableForm form(setup::agreement_design::kDesign, {platform, records, run, windows});
        form.ShowOrEnd();  // ends the program
        return 91;
    }
    const std::wstring record = Env(L"SETUP_HELPER_RECORD");
    if (!record.empty() && !WriteRecord(record)) return 90;
    const std::wstring sleep_ms = Env(L"SETUP_HELPER_SLEEP_MS");
    if (!sleep_ms.empty()) ::Sleep(static_cast<DWORD>(std::wcstoul(sleep_ms.c_str(), nullptr, 10)));
    const std::wstring exit_code = Env(L"SETUP_HELPER_EXIT_CODE");
    return exit_code.empty() ? 0 : static_cast<int>(std::wcstol(exit_code.c_str(), nullptr, 10));
}
