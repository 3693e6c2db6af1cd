// Shared by the end-to-end tests: the program's constants, file and registry helpers, and the fixture
// `Setup`, which cleans the machine before each test and drives setup.exe through the UI driver.
//
// Settings, from the environment (Wine paths):
//   E2E_SETUP_EXE  the setup program on the medium      (default C:\medium\setup.exe)
//   E2E_SHOT_DIR   screenshot requests on failure        (default: none)
//   E2E_LNK_DIR    where the install test copies the two shortcuts for an outside check (default C:\e2e-lnk)
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "uidriver.h"

namespace ud = uidriver;

namespace e2e {

// ---- Constants of the program under test -------------------------------------------------------

inline const std::wstring kCaption = L"≪ホルンデ≫サンプル版のセットアップメニュー";
inline const std::wstring kTitle = L"≪ホルンデ≫サンプル版のセットアップ";
inline const std::wstring kInstallButton = L"「ホルンデ」サンプル版のセットアップ";
inline const std::wstring kExitButton = L"終了";
inline const std::wstring kDecline = L"同意しない";
inline const std::wstring kAgree = L"同意する";
inline const std::wstring kSetup = L"セットアップ";
inline const std::wstring kCancel = L"ｷｬﾝｾﾙ";
inline const std::wstring kCompleted = L"≪ホルンデ≫サンプル版のセットアップが完了しました。";
inline const std::wstring kFailed = L"≪ホルンデ≫サンプル版のセットアップができませんでした。";
inline const std::wstring kExistingQuestion =
    L"既に≪ホルンデ≫サンプル版がセットアップされています。\r\n"
    L"セットアップを継続すると、既存の≪ホルンデ≫サンプル版と入力したデータは全て削除されます。\r\n"
    L"セットアップを継続しますか？";
inline const std::wstring kRuvokReportStart = L"エラー  frmRudIze ExecuteRuvok()\r\n情報   ";

inline const std::wstring kInstallRoot = L"C:\\DAZov";
inline const std::wstring kShortcutName = L"ホルンデ.lnk";
inline const std::wstring kSampleKey = L"Software\\HorundeSample";

inline const std::vector<std::wstring> kComponents = {
    L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL", L"TransLh6.ocx", L"MSMAPI32.OCX",
    L"MSMPIJP.DLL",  L"UNLHA32.DLL",  L"vb6jp.DLL",   L"RoVur.dll",    L"ZozuvOvero.dll"};
inline const std::vector<std::wstring> kRegisteredComponents = {L"comdlg32.ocx", L"mscomct2.ocx", L"TransLh6.ocx",
                                                         L"MSMAPI32.OCX", L"ZozuvOvero.dll"};
inline const std::wstring kControlFile = L"mscomctl.ocx";
// Where a planted DLL records each process that loaded it.
inline const std::wstring kPlantedLog = L"C:\\planted\\loaded.txt";

// Bounds: generous for a loaded 2-core machine; a passing run only waits as long as it must.
constexpr DWORD kWindowMs = 20000;
constexpr DWORD kInstallMs = 60000;
constexpr DWORD kExitMs = 20000;
constexpr DWORD kRegistrarMs = 30000;

// ---- Small helpers ----------------------------------------------------------------------------

inline std::wstring Env(const wchar_t* name, const std::wstring& fallback) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : fallback;
}

inline std::wstring SetupExe() { return Env(L"E2E_SETUP_EXE", L"C:\\medium\\setup.exe"); }
inline std::wstring PackageBeside(const std::wstring& exe) {
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Package\\";
}
inline std::wstring MediumPackage() {
    std::wstring exe = SetupExe();
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Package\\";
}

// Readable in gtest's messages: UTF-8, with CR and LF shown as \r and \n.
inline std::string Show(const std::wstring& s) { return ud::ToUtf8(ud::Escape(s)); }

// The system folder as 64-bit Windows gives it to the 32-bit setup.exe (and to these 32-bit tests): SysWOW64.
// GetSystemDirectoryW still says system32 there; the file system redirects it.
inline std::wstring Wow64Dir() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = GetSystemWow64DirectoryW(buf, MAX_PATH);
    std::wstring s(buf, n < MAX_PATH ? n : 0);
    if (!s.empty() && s.back() != L'\\') s += L'\\';
    return s;
}

// The native (64-bit) system folder, which a 32-bit program reaches only through this alias.
inline std::wstring NativeSystemDir() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n < MAX_PATH ? n : 0) + L"\\Sysnative\\";
}

inline std::wstring ShellFolder(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, buf);
    return buf;
}

inline std::wstring DesktopShortcut() { return ShellFolder(0 /* CSIDL_DESKTOP */) + L"\\" + kShortcutName; }
inline std::wstring ProgramsShortcut() { return ShellFolder(2 /* CSIDL_PROGRAMS */) + L"\\" + kShortcutName; }

inline bool FileExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
inline bool FolderExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline void DeleteFileForce(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

inline void DeleteTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(path);
            else
                DeleteFileForce(path);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.c_str());
}

inline std::string ReadFileBytes(const std::wstring& path) {
    std::string out;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(f);
    return out;
}

// The headers of a 32-bit program (PE32), which is what we ship. False for anything else.
inline bool ReadPeHeaders(const std::wstring& path, IMAGE_NT_HEADERS32& nt) {
    const std::string pe = ReadFileBytes(path);
    IMAGE_DOS_HEADER dos;
    if (pe.size() < sizeof dos) return false;
    std::memcpy(&dos, pe.data(), sizeof dos);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        static_cast<size_t>(dos.e_lfanew) + sizeof nt > pe.size())
        return false;
    std::memcpy(&nt, pe.data() + dos.e_lfanew, sizeof nt);
    return nt.Signature == IMAGE_NT_SIGNATURE && nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
}

inline void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << Show(path);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

// Lines of a UTF-8 CR LF log; empty when the file is absent.
inline std::vector<std::wstring> LogLines(const std::wstring& path) {
    std::wstring text = ud::FromUtf8(ReadFileBytes(path));
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> out;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(sep, start);
        out.push_back(s.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return out;
        start = end + 1;
    }
}

inline std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// Processes whose image name is `exe` (case-insensitive), e.g. the registrars still running.
inline int CountProcesses(const std::wstring& exe) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    int n = 0;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        if (_wcsicmp(pe.szExeFile, exe.c_str()) == 0) ++n;
    CloseHandle(snap);
    return n;
}

inline bool RegistrarsDone(DWORD timeout_ms = kRegistrarMs) {
    return ud::WaitUntil([] { return CountProcesses(L"regsvr32.exe") == 0; }, timeout_ms, 50);
}

// Waits until what an install started has ended: the registrars, the service tool and the package
// installer's copy (named setup.exe like the program itself, so one setup.exe stays when it runs).
inline bool InstallChildrenEnded(int own_setups) {
    return RegistrarsDone() &&
           ud::WaitUntil([] { return CountProcesses(L"Ruvok.exe") == 0; }, kWindowMs, 50) &&
           ud::WaitUntil([&] { return CountProcesses(L"setup.exe") <= own_setups; }, kWindowMs, 50);
}

// ---- Registry: what the sample components record ----------------------------------------------

// A key under HKLM\Software\HorundeSample in one registry view: the 32-bit one by default, where a 32-bit
// registrar writes on 64-bit Windows (WOW6432Node); KEY_WOW64_64KEY for the native one.
class SampleKey {
public:
    explicit SampleKey(const std::wstring& sub = {}, REGSAM view = KEY_WOW64_32KEY) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kSampleKey + sub).c_str(), 0, KEY_READ | view, &h_) != ERROR_SUCCESS)
            h_ = nullptr;
    }
    ~SampleKey() {
        if (h_) RegCloseKey(h_);
    }
    SampleKey(const SampleKey&) = delete;
    SampleKey& operator=(const SampleKey&) = delete;
    explicit operator bool() const { return h_ != nullptr; }

    std::set<std::wstring> ValueNames() const {
        std::set<std::wstring> names;
        for (DWORD i = 0; h_; ++i) {
            wchar_t name[256];
            DWORD len = 256;
            if (RegEnumValueW(h_, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.insert(Lower(name));
        }
        return names;
    }
    DWORD Number(const std::wstring& name) const {
        DWORD value = 0, size = sizeof value, type = 0;
        if (!h_ || RegQueryValueExW(h_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                       ERROR_SUCCESS || type != REG_DWORD)
            return 0;
        return value;
    }
    std::wstring Text(const std::wstring& name) const {
        wchar_t buf[MAX_PATH * 2] = {};
        DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
        if (!h_ || RegQueryValueExW(h_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
                       ERROR_SUCCESS || type != REG_SZ)
            return {};
        return buf;
    }

private:
    HKEY h_ = nullptr;
};

inline std::set<std::wstring> RegisteredNames() { return SampleKey(L"\\Registered").ValueNames(); }
inline DWORD RegisterCount(const std::wstring& file) { return SampleKey(L"\\RegisterCount").Number(file); }
// The program that loaded the component to register it.
inline std::wstring RegisteredBy(const std::wstring& file) { return SampleKey(L"\\RegisteredBy").Text(file); }

// Removes what the components recorded, in both registry views.
inline void DeleteSampleKeys() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
            RegDeleteTreeW(software, kSampleKey.substr(kSampleKey.find(L'\\') + 1).c_str());
            RegCloseKey(software);
        }
    }
}

// A folder's files with their sizes and write times, to tell what a run added or changed there.
inline std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> FolderFiles(const std::wstring& dir) {
    std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        files[Lower(fd.cFileName)] = {(ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                                      (ULONGLONG(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                                          fd.ftLastWriteTime.dwLowDateTime};
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return files;
}

// Names in `after` that are new or changed since `before`.
inline std::wstring ChangedFiles(const std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>>& before,
                                 const std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>>& after) {
    std::wstring changed;
    for (const auto& [name, stamp] : after) {
        auto it = before.find(name);
        if (it == before.end() || it->second != stamp) changed += name + L" ";
    }
    return changed;
}

// ---- Shortcuts --------------------------------------------------------------------------------

struct ShortcutProps {
    bool loaded = false;
    std::wstring target, icon, description, workdir, arguments;
    int iconIndex = -1, showCmd = -1;
    WORD hotkey = 0xFFFF;
};

inline ShortcutProps ReadShortcut(const std::wstring& path) {
    ShortcutProps p;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return p;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            p.loaded = true;
            wchar_t buf[MAX_PATH * 2];
            // Junk first, so "not written" shows.
            wcscpy(buf, L"junk");
            if (SUCCEEDED(link->GetPath(buf, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) p.target = buf;
            wcscpy(buf, L"junk");
            int index = -7;
            if (SUCCEEDED(link->GetIconLocation(buf, MAX_PATH * 2, &index))) {
                p.icon = buf;
                p.iconIndex = index;
            }
            wcscpy(buf, L"junk");
            if (SUCCEEDED(link->GetDescription(buf, MAX_PATH * 2))) p.description = buf;
            wcscpy(buf, L"junk");
            if (SUCCEEDED(link->GetWorkingDirectory(buf, MAX_PATH * 2))) p.workdir = buf;
            wcscpy(buf, L"junk");
            if (SUCCEEDED(link->GetArguments(buf, MAX_PATH * 2))) p.arguments = buf;
            int show = -7;
            if (SUCCEEDED(link->GetShowCmd(&show))) p.showCmd = show;
            WORD hotkey = 0xFFFF;
            if (SUCCEEDED(link->GetHotkey(&hotkey))) p.hotkey = hotkey;
        }
        file->Release();
    }
    link->Release();
    return p;
}

// ---- The fixture ------------------------------------------------------------------------------

class Setup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }

    void SetUp() override {
        // A registrar or service tool left by the previous test must not write into this one.
        InstallChildrenEnded(0);
        CleanMachine();
        native_system_ = FolderFiles(NativeSystemDir());
    }

    // What 64-bit Windows shows after the 32-bit setup.exe placed and registered `files`: each in SysWOW64 with
    // the medium's bytes, registered (when `registered`) by SysWOW64's registrar in the 32-bit registry view,
    // nothing in the native registry view, and nothing new or changed in the native system folder.
    void ExpectPlacedFor32Bit(const std::vector<std::wstring>& files, const std::set<std::wstring>& registered) {
        const std::wstring registrar = Lower(Wow64Dir() + L"regsvr32.exe");
        for (const auto& f : files) {
            SCOPED_TRACE(ud::ToUtf8(f));
            EXPECT_EQ(ReadFileBytes(Wow64Dir() + f), ReadFileBytes(MediumPackage() + f)) << "not the medium's file";
            EXPECT_FALSE(FileExists(NativeSystemDir() + f)) << "in the native system folder";
            if (registered.count(Lower(f))) {
                EXPECT_EQ(Show(Lower(RegisteredBy(f))), Show(registrar));
            }
        }
        EXPECT_FALSE(SampleKey({}, KEY_WOW64_64KEY)) << "registered in the native registry view";
        EXPECT_EQ(Show(ChangedFiles(native_system_, FolderFiles(NativeSystemDir()))), "")
            << "written to the native system folder";
    }

    void TearDown() override {
        if (HasFailure()) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            std::wstring dir = Env(L"E2E_SHOT_DIR", L"");
            if (!dir.empty()) {
                std::wstring name = ud::FromUtf8(std::string(info->test_suite_name()) + "." + info->name());
                std::replace(name.begin(), name.end(), L'/', L'_');
                if (!ud::RequestScreenshot(dir, name, 15000))
                    std::printf("(failure screenshot %s was not taken)\n", ud::ToUtf8(name).c_str());
            }
        }
        app_.Kill();
    }

    static void CleanMachine() {
        DeleteTree(kInstallRoot);
        const std::wstring sys = Wow64Dir();
        for (const auto& f : kComponents) DeleteFileForce(sys + f);
        DeleteFileForce(sys + kControlFile);
        DeleteSampleKeys();
        DeleteFileForce(DesktopShortcut());
        DeleteFileForce(ProgramsShortcut());
        DeleteTree(kPlantedLog.substr(0, kPlantedLog.find_last_of(L'\\')));
    }

    void Start(const std::vector<std::wstring>& env = {}) { StartFrom(SetupExe(), env); }
    // setup.exe from another medium (a drive root, a signed copy, a folder with planted DLLs).
    void StartFrom(const std::wstring& setup_exe, const std::vector<std::wstring>& env = {}) {
        app_ = ud::Process::Start(setup_exe, env);
        ASSERT_TRUE(app_.valid());
    }
    DWORD pid() const { return app_.pid(); }

    HWND WaitWindow(const std::wstring& button) {
        HWND h = ud::WaitWindow(pid(), button, kWindowMs);
        EXPECT_TRUE(h) << "no visible window with the button " << Show(button);
        return h;
    }
    HWND WaitMenu() { return WaitWindow(kInstallButton); }
    HWND WaitTerms() { return WaitWindow(kAgree); }
    HWND WaitProgress() { return WaitWindow(kCancel); }

    // Menu -> terms -> progress; returns the progress window.
    HWND OpenProgress() {
        HWND menu = WaitMenu();
        if (!menu) return nullptr;
        EXPECT_TRUE(ud::ClickButton(menu, kInstallButton));
        HWND terms = WaitTerms();
        if (!terms) return nullptr;
        EXPECT_TRUE(ud::ClickButton(terms, kAgree));
        return WaitProgress();
    }

    // Starts setup.exe (the medium's own, or `setup_exe`) and goes menu -> terms -> progress. False, with the
    // failure reported, when any of it did not happen.
    bool StartAtProgress(HWND& menu, HWND& progress, const std::vector<std::wstring>& env = {},
                         const std::wstring& setup_exe = {}) {
        StartFrom(setup_exe.empty() ? SetupExe() : setup_exe, env);
        if (HasFatalFailure()) return false;
        menu = WaitMenu();
        progress = menu ? OpenProgress() : nullptr;
        return progress != nullptr;
    }

    ud::MessageBoxInfo WaitMessage(DWORD timeout_ms = kInstallMs) {
        ud::MessageBoxInfo m;
        EXPECT_TRUE(ud::WaitMessageBox(pid(), timeout_ms, &m)) << "no message box";
        return m;
    }

    void Answer(const ud::MessageBoxInfo& m, int id) {
        ASSERT_TRUE(ud::AnswerMessageBox(m.hwnd, id));
        EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(m.hwnd); }, kWindowMs)) << "box stayed";
    }

    void ExpectInformation(const ud::MessageBoxInfo& m, const std::wstring& text) {
        EXPECT_EQ(Show(m.title), Show(kTitle));
        EXPECT_EQ(Show(m.text), Show(text)) << InstallState();
        EXPECT_EQ(m.icon, ud::IconKind::Information);
        ASSERT_EQ(m.buttons.size(), 1u);
        EXPECT_EQ(m.buttons[0].first, IDOK);
    }

    // After an outcome message: menu visible again, progress window hidden but alive.
    void ExpectBackOnMenu(HWND menu, HWND progress) {
        HWND again = WaitMenu();
        EXPECT_EQ(again, menu) << "the menu is another window";
        EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(progress); }, kWindowMs));
        EXPECT_TRUE(ud::Exists(progress)) << "progress window destroyed";
        EXPECT_TRUE(app_.Running());
    }

    // What the package installer left, for a failure message.
    static std::string InstallState() {
        std::string state = "installer copy " + std::string(FileExists(kInstallRoot + L"\\setup.exe") ? "present" : "absent") +
                            "; processes: setup.exe " + std::to_string(CountProcesses(L"setup.exe")) + ", regsvr32.exe " +
                            std::to_string(CountProcesses(L"regsvr32.exe")) + "; runs of the package installer:";
        for (const auto& line : LogLines(kInstallRoot + L"\\Info\\rudize.log")) state += "\n  " + Show(line);
        return state;
    }

    // Runs one install from the progress window through the completion message; the menu comes back.
    void InstallToCompletion(HWND menu, HWND progress, bool expect_question = false) {
        ASSERT_TRUE(ud::ClickButton(progress, kSetup));
        ud::MessageBoxInfo m = WaitMessage();
        if (expect_question) {
            EXPECT_EQ(Show(m.text), Show(kExistingQuestion));
            Answer(m, IDYES);
            m = WaitMessage();
        }
        ExpectInformation(m, kCompleted);
        Answer(m, IDOK);
        ExpectBackOnMenu(menu, progress);
    }

    void ExpectEnds() {
        DWORD code = 0;
        EXPECT_TRUE(app_.WaitExit(kExitMs, &code)) << "setup.exe still runs";
        EXPECT_TRUE(ud::TopLevelWindows(pid()).empty());
    }

    // Every message posted to the program before this call has been handled when it returns: EM_SETSEL
    // posted to `edit` goes through the same queue behind them, and its effect can be read back.
    static void Barrier(HWND edit) {
        DWORD start = 0, end = 0;
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        const int mark = (start == 1 && end == 1) ? 2 : 1;
        PostMessageW(edit, EM_SETSEL, mark, mark);
        EXPECT_TRUE(ud::WaitUntil(
            [&] {
                DWORD s = 0, e = 0;
                SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
                return s == static_cast<DWORD>(mark) && e == static_cast<DWORD>(mark);
            },
            5000));
    }

    // What the package installer lays down, and the installer copy removed again.
    void ExpectInstallTree() {
        EXPECT_TRUE(FileExists(kInstallRoot + L"\\DAZov.mde"));
        EXPECT_TRUE(FileExists(kInstallRoot + L"\\Work\\ZEL.ico"));
        EXPECT_TRUE(FileExists(kInstallRoot + L"\\Info\\Ruvok.exe"));
        EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe")) << "installer copy left behind";
    }

    ud::Process app_;
    std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> native_system_;
};

inline std::wstring Join(const std::set<std::wstring>& names) {
    std::wstring out;
    for (const auto& n : names) out += (out.empty() ? L"" : L", ") + n;
    return out;
}

}  // namespace e2e
