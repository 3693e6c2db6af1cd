// The baseline for the install figure: the same install job as setup.exe's, done straight through with
// plain Win32 calls and no checks beyond what the job needs. Like setup.exe it places and registers
// mscomctl.ocx before its window shows, then waits for a click on "セットアップ"; the click runs the job on
// the window's thread and ends in the same completion message, so the benchmark times both the same way.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace {

const wchar_t kTitle[] = L"≪ホルンデ≫サンプル版のセットアップ";
const wchar_t kDone[] = L"≪ホルンデ≫サンプル版のセットアップが完了しました。";
const wchar_t kRoot[] = L"C:\\DAZov";
const wchar_t kInstallerCopy[] = L"C:\\DAZov\\setup.exe";
constexpr int kSetupButton = 1;

std::wstring g_package;  // "<our folder>\Package\"
std::wstring g_system;   // "<system folder>\"

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    std::wstring folder(path, n);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

// Starts a command line; waits for it only when asked.
void Run(std::wstring command, bool wait) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return;
    }
    if (wait) WaitForSingleObject(process.hProcess, 50000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void PlaceComponent(const wchar_t* name, bool do_register) {
    CopyFileW((g_package + name).c_str(), (g_system + name).c_str(), FALSE);
    if (do_register) Run(L"\"" + g_system + L"REGSVR32.exe\" /s " + name, false);
}

void SaveShortcut(int folder_id) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, folder_id, nullptr, SHGFP_TYPE_CURRENT, folder))) return;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return;
    }
    link->SetPath(L"C:\\DAZov\\DAZov.mde");
    link->SetShowCmd(SW_SHOWNORMAL);
    link->SetIconLocation(L"C:\\DAZov\\Work\\ZEL.ico", 0);
    link->SetDescription(L"ホルンデ");
    link->SetWorkingDirectory(kRoot);
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        file->Save((std::wstring(folder) + L"\\ホルンデ.lnk").c_str(), TRUE);
        file->Release();
    }
    link->Release();
}

void InstallJob() {
    CreateDirectoryW(kRoot, nullptr);
    CopyFileW((g_package + L"rudize.exe").c_str(), kInstallerCopy, FALSE);
    Run(std::wstring(L"\"") + kInstallerCopy + L"\"", true);
    DeleteFileW(kInstallerCopy);
    SaveShortcut(CSIDL_DESKTOPDIRECTORY);
    SaveShortcut(CSIDL_PROGRAMS);
    static const struct {
        const wchar_t* name;
        bool do_register;
    } kComponents[] = {
        {L"comdlg32.ocx", true}, {L"mscomct2.ocx", true}, {L"MSCC2JP.DLL", false},  {L"TransLh6.ocx", true},
        {L"MSMAPI32.OCX", true}, {L"MSMPIJP.DLL", false}, {L"UNLHA32.DLL", false},  {L"vb6jp.DLL", false},
        {L"RoVur.dll", false},   {L"ZozuvOvero.dll", true},
    };
    for (const auto& component : kComponents) PlaceComponent(component.name, component.do_register);
    Run(L"\"C:\\DAZov\\Info\\Ruvok.exe\" /i", false);
    DeleteFileW(kInstallerCopy);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wparam) == kSetupButton && HIWORD(wparam) == BN_CLICKED) {
            InstallJob();
            MessageBoxW(hwnd, kDone, kTitle, MB_OK | MB_ICONINFORMATION);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    g_package = ModuleFolder() + L"Package\\";
    g_system = SystemFolder();
    PlaceComponent(L"mscomctl.ocx", true);

    WNDCLASSW window_class{};
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = L"BenchDirectInstall";
    RegisterClassW(&window_class);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, 460, 222};
    AdjustWindowRect(&frame, style, FALSE);
    HWND hwnd = CreateWindowExW(0, window_class.lpszClassName, L"direct install", style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                instance, nullptr);
    if (!hwnd) return 1;
    CreateWindowExW(0, L"BUTTON", L"セットアップ", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 110, 186, 113, 29, hwnd,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSetupButton)), instance, nullptr);
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoUninitialize();
    return 0;
}
