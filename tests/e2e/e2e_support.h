// Shared by the end-to-end tests: the program's constants, machine helpers, and the fixture `Setup`, which
// cleans the machine before each test and drives setup.exe through the UI driver.
//
// Settings, from the environment (Wine paths):
//   E2E_SETUP_EXE  the setup program on the medium      (default C:\medium\setup.exe)
//   E2E_SHOT_DIR   screenshot requests on failure        (default: none)
//   E2E_LNK_DIR    where the install test copies the two shortcuts for an outside check (default C:\e2e-lnk)
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/uidriver.h"
#include "tests/helpers/files.h"
#include "tests/helpers/sides.h"

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

inline const std::vector<std::wstring> kComponents = {
    L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL", L"TransLh6.ocx", L"MSMAPI32.OCX",
    L"MSMPIJP.DLL",  L"UNLHA32.DLL",  L"vb6jp.DLL",   L"RoVur.dll",    L"ZozuvOvero.dll"};
inline const std::vector<std::wstring> kRegisteredComponents = {L"comdlg32.ocx", L"mscomct2.ocx", L"TransLh6.ocx",
                                                                L"MSMAPI32.OCX", L"ZozuvOvero.dll"};
inline const std::wstring kControlFile = L"mscomctl.ocx";
// Where a planted DLL records each process that loaded it.
inline const std::wstring kPlantedLog = L"C:\\planted\\loaded.txt";

// Bounds: generous for a loaded 2-core machine; a passing run only waits as long as it must. The UI driver
// stretches them under emulation (SETUP_WAIT_SCALE).
constexpr DWORD kWindowMs = 20000;
constexpr DWORD kInstallMs = 60000;
constexpr DWORD kExitMs = 20000;
constexpr DWORD kRegistrarMs = 30000;

// ---- Helpers ----------------------------------------------------------------------------------


std::wstring Env(const wchar_t* name, const std::wstring& fallback);
std::wstring SetupExe();
// The Package folder beside a setup.exe (by default the medium's), ending in a backslash.
std::wstring PackageBeside(const std::wstring& exe);
std::wstring MediumPackage();
// Readable in gtest's messages: UTF-8, with CR and LF shown as \r and \n.
std::string Show(const std::wstring& s);
std::wstring Lower(std::wstring s);
std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep);
std::wstring Join(const std::set<std::wstring>& names);
// The names of what is in a folder, joined as Join does; empty for an empty or missing folder.
std::wstring FolderNames(const std::wstring& folder);

// The system folder as 64-bit Windows gives it to the 32-bit setup.exe (and to these 32-bit tests): SysWOW64.
// GetSystemDirectoryW still says system32 there; the file system redirects it.
std::wstring Wow64Dir();
// The native (64-bit) system folder, which a 32-bit program reaches only through this alias.
std::wstring NativeSystemDir();
std::wstring DesktopShortcut();
std::wstring ProgramsShortcut();

// The headers of a 32-bit program (PE32), which is what we ship. False for anything else.
bool ReadPeHeaders(const std::wstring& path, IMAGE_NT_HEADERS32& nt);

// Processes whose image name is `exe` (case-insensitive), e.g. the registrars still running.
int CountProcesses(const std::wstring& exe);
bool RegistrarsDone(DWORD timeout_ms = kRegistrarMs);
// Waits until what an install started has ended: the registrars, the service tool and the package
// installer's copy (named setup.exe like the program itself, so one setup.exe stays when it runs).
bool InstallChildrenEnded(int own_setups);

// What the sample components record in the 32-bit registry view: the files registered, how often each.
std::set<std::wstring> RegisteredNames();
DWORD RegisterCount(const std::wstring& file);
// The registrar's image-load policy as the component it registered read it ("prefer_system32=...").
std::wstring RegistrarPolicy(const std::wstring& file);

// ---- The fixture ------------------------------------------------------------------------------

class Setup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
    void SetUp() override;
    void TearDown() override;

    static void CleanMachine();
    // What 64-bit Windows shows after the 32-bit setup.exe placed and registered `files`: each in SysWOW64 with
    // the medium's bytes, registered (when `registered`) by SysWOW64's registrar in the 32-bit registry view,
    // nothing in the native registry view, and nothing new or changed in the native system folder.
    void ExpectPlacedFor32Bit(const std::vector<std::wstring>& files, const std::set<std::wstring>& registered);
    // Once the registrars have ended, the registered files are the five registered components and the control
    // file. Returns those names, in lower case.
    std::set<std::wstring> ExpectRegistered();

    void Start(const std::vector<std::wstring>& env = {}) { StartFrom(SetupExe(), env); }
    // setup.exe from another medium (a drive root, a signed copy, a folder with planted DLLs).
    void StartFrom(const std::wstring& setup_exe, const std::vector<std::wstring>& env = {});
    DWORD pid() const { return app_.pid(); }

    HWND WaitWindow(const std::wstring& button);
    HWND WaitMenu() { return WaitWindow(kInstallButton); }
    HWND WaitTerms() { return WaitWindow(kAgree); }
    HWND WaitProgress() { return WaitWindow(kCancel); }
    // Menu -> terms -> progress; returns the progress window.
    HWND OpenProgress();
    // Starts setup.exe (the medium's own, or `setup_exe`) and goes menu -> terms -> progress. False, with the
    // failure reported, when any of it did not happen.
    bool StartAtProgress(HWND& menu, HWND& progress, const std::vector<std::wstring>& env = {},
                         const std::wstring& setup_exe = {});

    ud::MessageBoxInfo WaitMessage(DWORD timeout_ms = kInstallMs);
    void Answer(const ud::MessageBoxInfo& m, int id);
    void ExpectInformation(const ud::MessageBoxInfo& m, const std::wstring& text);
    // After an outcome message: menu visible again, progress window hidden but alive.
    void ExpectBackOnMenu(HWND menu, HWND progress);
    // A step's error report (warning icon, OK) whose text begins with `report`, then the sequence's failure
    // message, then the menu again; the bar stands at `milestone` from the report on.
    void ExpectStepFailure(HWND menu, HWND progress, const std::wstring& report, int milestone);
    // What the package installer left, for a failure message.
    static std::string InstallState();
    // Runs one install from the progress window through the completion message; the menu comes back.
    void InstallToCompletion(HWND menu, HWND progress, bool expect_question = false);
    // The program ends, with exit code 0, and leaves no window.
    void ExpectEnds();
    // What the package installer lays down, and the installer copy removed again.
    void ExpectInstallTree();
    // Every message posted to the program before this call has been handled when it returns: EM_SETSEL
    // posted to `edit` goes through the same queue behind them, and its effect can be read back.
    static void Barrier(HWND edit);

    ud::Process app_;
    // The native system folder's files before the test: name, then size and write time.
    std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>> native_system_;
};

}  // namespace e2e
