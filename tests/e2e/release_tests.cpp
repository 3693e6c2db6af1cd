// End-to-end tests of setup.exe as it ships: from a medium with DLLs planted beside it, from the root of a
// CD-ROM drive, signed, with a file of its Package changed; and its windows through the keyboard and standard
// accessibility.
//
// Settings, from the environment (Wine paths), laid out by run.sh:
//   E2E_PLANTED_DIR       setup.exe, Package\, the planted DLLs and planted_control.exe (default C:\planted-medium)
//   E2E_PLANTED_NAMES     the planted file names, separated by ';'
//   E2E_DISC_ROOT         the drive the disc is mapped to (default R:\)
//   E2E_DISC_SOURCE       what was laid out there, for the log
//   E2E_SIGNED_SETUP_EXE  the signed setup.exe beside a Package\ (default C:\signed-medium\setup.exe)
#include "e2e_support.h"

#include <oleacc.h>

#include <map>

namespace {

using namespace e2e;

std::wstring PlantedDir() { return Env(L"E2E_PLANTED_DIR", L"C:\\planted-medium"); }

std::vector<std::wstring> PlantedNames() {
    std::vector<std::wstring> names;
    for (const auto& n : Split(Env(L"E2E_PLANTED_NAMES", L""), L';'))
        if (!n.empty()) names.push_back(n);
    return names;
}

std::wstring BaseName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// What the planted DLL recorded: one {module path, program path} per load.
std::vector<std::pair<std::wstring, std::wstring>> PlantedLoads() {
    std::vector<std::pair<std::wstring, std::wstring>> loads;
    for (const auto& line : ReadLines(kPlantedLog)) {
        auto fields = Split(line, L'\t');
        loads.emplace_back(fields[0], fields.size() > 1 ? fields[1] : L"?");
    }
    return loads;
}

// Size of the certificate table (the Authenticode signature) named by the PE's data directories; 0 when none.
DWORD CertificateTableSize(const std::wstring& path) {
    IMAGE_NT_HEADERS32 nt;
    return ReadPeHeaders(path, nt) ? nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size : 0;
}

// The system's own text for an error code, as the program's error reports show it.
std::wstring SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

// A copy of the medium at C:\tampered-medium with one byte in the middle of Package\<file> flipped: what the
// signed setup.exe records of that file no longer matches. Returns its setup.exe.
std::wstring TamperedMedium(const std::wstring& file) {
    const std::wstring dir = L"C:\\tampered-medium", package = dir + L"\\Package\\";
    DeleteTree(dir);
    EXPECT_TRUE(CreateDirectoryW(dir.c_str(), nullptr) && CreateDirectoryW(package.c_str(), nullptr));
    EXPECT_TRUE(CopyFileW(SetupExe().c_str(), (dir + L"\\setup.exe").c_str(), FALSE));
    std::vector<std::wstring> names = kComponents;
    names.push_back(kControlFile);
    names.push_back(L"rudize.exe");
    for (const auto& name : names) {
        EXPECT_TRUE(CopyFileW((MediumPackage() + name).c_str(), (package + name).c_str(), FALSE)) << Show(name);
    }
    std::string bytes = ReadFileBytes(package + file);
    EXPECT_GT(bytes.size(), 2u) << Show(file);
    if (bytes.size() > 2) bytes[bytes.size() / 2] ^= 0x01;
    SetFileAttributesW((package + file).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(WriteFileBytes(package + file, bytes)) << Show(file);
    return dir + L"\\setup.exe";
}

std::string Describe(HWND h) {
    if (!h) return "(nothing)";
    return ToUtf8(ud::ClassOf(h)) + " \"" + Show(ud::Text(h).substr(0, 40)) + "\"";
}

class Medium : public Setup {
protected:
    // A whole install from `setup_exe`: the completion message, the files in the install root, the
    // components in the system folder as the medium has them, the registrations; then "終了" ends the program.
    void InstallEndToEnd(const std::wstring& setup_exe) {
        HWND menu = nullptr, progress = nullptr;
        ASSERT_TRUE(StartAtProgress(menu, progress, {}, setup_exe));
        InstallToCompletion(menu, progress);
        if (HasFatalFailure()) return;

        ExpectInstallTree();
        const std::wstring sys = Wow64Dir(), package = PackageBeside(setup_exe);
        for (const auto& f : kComponents) {
            SCOPED_TRACE(ToUtf8(f));
            const DWORD attr = GetFileAttributesW((sys + f).c_str());
            ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << "missing from the system folder";
            EXPECT_FALSE(attr & FILE_ATTRIBUTE_READONLY);
            EXPECT_EQ(ReadFileBytes(sys + f), ReadFileBytes(package + f)) << "not the medium's file";
        }
        ExpectRegistered();
        EXPECT_TRUE(FileExists(DesktopShortcut()));
        EXPECT_TRUE(FileExists(ProgramsShortcut()));
        EXPECT_TRUE(ud::WaitUntil([] { return CountProcesses(L"Ruvok.exe") == 0; }, kWindowMs));

        ASSERT_TRUE(ud::ClickButton(menu, kExitButton));
        ExpectEnds();
    }
};

// ---- DLL planting -----------------------------------------------------------------------------

TEST_F(Medium, PlantedLibrariesBesideSetupAreNotLoaded) {
    const auto names = PlantedNames();
    ASSERT_GE(names.size(), 11u) << "run.sh planted too few DLLs";
    for (const auto& n : names) ASSERT_TRUE(FileExists(PlantedDir() + L"\\" + n)) << Show(n) << " not planted";
    ASSERT_FALSE(FileExists(kPlantedLog));

    InstallEndToEnd(PlantedDir() + L"\\setup.exe");
    // What setup.exe started (registrars, service tool) has ended too: their loads would be recorded by now.
    EXPECT_TRUE(RegistrarsDone());
    for (const auto& [module, program] : PlantedLoads())
        ADD_FAILURE() << Show(program) << " loaded the planted " << Show(module);
    EXPECT_FALSE(FileExists(kPlantedLog));
}

// A library planted in an existing install root before setup runs, under the name of a system library the package
// installer loads by its bare name (dwmapi.dll: no KnownDLL, and a name Wine too takes from a program's folder).
// Windows 10 and later start the installer's copy preferring the system folder, so it loads the system's own.
// Wine takes the policy at the start but does not run the program under it: there the planted copy is loaded,
// and this test fails once Wine applies the policy. So do Windows 7 and 8.1, which refuse the policy.
TEST_F(Setup, LibraryPlantedInTheRootIsNotLoadedByTheInstallerCopy) {
    ASSERT_TRUE(CreateDirectoryW(kInstallRoot.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((PlantedDir() + L"\\dwmapi.dll").c_str(), (kInstallRoot + L"\\dwmapi.dll").c_str(), FALSE));
    ASSERT_FALSE(FileExists(kPlantedLog));
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {L"RUDIZE_SAMPLE_LOAD=dwmapi.dll"}));
    InstallToCompletion(menu, progress, /*expect_question=*/true);

    std::vector<std::wstring> from_the_root;
    for (const auto& [module, program] : PlantedLoads()) {
        EXPECT_EQ(Lower(program), Lower(kInstallRoot + L"\\setup.exe")) << Show(program) << " loaded " << Show(module);
        from_the_root.push_back(module);
    }
    if (sides::UnderWine()) {
        EXPECT_EQ(from_the_root.size(), 1u) << "Wine now runs the installer's copy preferring the system folder";
    } else if (sides::WindowsAtLeast(10)) {
        EXPECT_TRUE(from_the_root.empty()) << "the installer's copy loaded the planted library";
    } else {
        // Windows 7 and 8.1 refuse the policy: the installer's copy starts as before, and loads it.
        EXPECT_EQ(from_the_root.size(), 1u) << "Windows 7 or 8.1 applied an image-load policy it does not have";
    }
}

// Bare-name loads by a program that does not restrict its search, run from the folder of the planted
// copies. `windows`: Windows takes the planted copy (the name is not a KnownDLL); `wine`: Wine 10 does. Wine
// prefers its built-in library for many names, so the rows where the two differ are Wine's differences:
// the test holds Wine to this table and fails once one of them stops applying.
struct BareNameLoad {
    const wchar_t* name;
    bool windows;
    bool wine;
};
constexpr BareNameLoad kBareNameLoads[] = {
    {L"comctl32.dll", true, false},  // without a manifest: version 5, not a KnownDLL
    {L"uxtheme.dll", true, false},
    {L"version.dll", true, false},
    {L"dwmapi.dll", true, true},
    {L"propsys.dll", true, true},
    {L"cryptbase.dll", true, true},
    {L"shfolder.dll", true, false},
    {L"msimg32.dll", true, false},
    {L"oleacc.dll", true, false},
    {L"imm32.dll", false, false},  // KnownDLL
    {L"riched20.dll", true, false},
    {L"msctf.dll", false, true},  // a KnownDLL on Windows, yet Wine takes the planted copy
    {L"userenv.dll", true, true},
    {L"ntmarta.dll", true, true},
    {L"msftedit.dll", true, true},
    {L"textinputframework.dll", true, true},
    {L"ole32.dll", false, false},  // KnownDLLs
    {L"shell32.dll", false, false},
    {L"shcore.dll", false, true},  // KnownDLL; Wine even loads the planted copy as shell32's dependency
    {L"user32.dll", false, false},
    {L"gdi32.dll", false, false},
    {L"msvcrt.dll", false, false},
    {L"advapi32.dll", false, false},
};

TEST_F(Setup, PlantedCopiesAreLoadedByAProgramWithoutTheRestriction) {
    const auto names = PlantedNames();
    std::wstring arguments;
    for (const auto& row : kBareNameLoads) {
        ASSERT_TRUE(std::find(names.begin(), names.end(), row.name) != names.end())
            << Show(row.name) << " is not planted by run.sh";
        arguments += std::wstring(arguments.empty() ? L"" : L" ") + row.name;
    }
    ud::Process control = ud::Process::Start(PlantedDir() + L"\\planted_control.exe", {}, L"", arguments);
    ASSERT_TRUE(control.valid());
    DWORD planted_count = 0;
    ASSERT_TRUE(control.WaitExit(kExitMs, &planted_count)) << "planted_control.exe still runs";

    std::set<std::wstring> planted;
    for (const auto& [module, program] : PlantedLoads()) {
        EXPECT_EQ(Lower(BaseName(program)), L"planted_control.exe") << Show(program) << " loaded " << Show(module);
        EXPECT_EQ(Lower(module.substr(0, module.find_last_of(L'\\'))), Lower(PlantedDir()));
        planted.insert(Lower(BaseName(module)));
    }
    ASSERT_FALSE(planted.empty()) << "no bare-name load took a planted copy: the planting test could not see one";
    std::wstring recorded;
    for (const auto& n : planted) recorded += L" " + n;
    std::printf("[ planting ] planted copies the control loaded:%s\n", ToUtf8(recorded).c_str());
    EXPECT_EQ(planted_count, planted.size()) << "the control's count and the planted DLL's record disagree";
    std::string wine_now_like_windows;
    for (const auto& row : kBareNameLoads) {
        SCOPED_TRACE(ToUtf8(row.name));
        const bool got = planted.count(Lower(row.name)) > 0;
        EXPECT_EQ(got, sides::Expected(row.windows, row.wine))
            << (row.wine != row.windows ? "one of Wine's differences no longer applies" : "Wine now differs here");
        if (row.wine != row.windows && got == row.windows) wine_now_like_windows += " " + ToUtf8(row.name);
    }
    if (!wine_now_like_windows.empty())
        std::printf("[ planting ] Wine now loads like Windows:%s\n", wine_now_like_windows.c_str());
    DeleteTree(L"C:\\planted");
}

// ---- The medium at a drive root ---------------------------------------------------------------

TEST_F(Medium, InstallsFromTheRootOfADisc) {
    const std::wstring root = Env(L"E2E_DISC_ROOT", L"R:\\");
    std::printf("[ disc ] %s at %s\n", ToUtf8(Env(L"E2E_DISC_SOURCE", L"(unknown)")).c_str(), ToUtf8(root).c_str());
    EXPECT_EQ(GetDriveTypeW(root.c_str()), static_cast<UINT>(DRIVE_CDROM)) << "not mapped as a CD-ROM drive";
    ASSERT_TRUE(FileExists(root + L"setup.exe"));
    ASSERT_TRUE(FolderExists(root + L"Package"));
    InstallEndToEnd(root + L"setup.exe");
}

// ---- The signed program -----------------------------------------------------------------------

TEST_F(Medium, SignedSetupInstalls) {
    const std::wstring exe = Env(L"E2E_SIGNED_SETUP_EXE", L"C:\\signed-medium\\setup.exe");
    ASSERT_TRUE(FileExists(exe)) << "no signed setup.exe at " << Show(exe)
                                 << ": run tests/dist/sign-test.sh first (it leaves build/signed/setup.exe)";
    EXPECT_GT(CertificateTableSize(exe), 0u) << "this setup.exe carries no signature";
    InstallEndToEnd(exe);
}

// ---- A medium that is not what was signed -----------------------------------------------------

// The report of a file that does not match its record: the step's location, and the system's description of a
// corrupt file.
std::wstring CorruptFileReport(const std::wstring& location) {
    return L"エラー  " + location + L"\r\n情報   " + SystemText(ERROR_FILE_CORRUPT);
}

TEST_F(Medium, ChangedInstallerIsNeverStarted) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {}, TamperedMedium(L"rudize.exe")));
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));
    ExpectStepFailure(menu, progress, CorruptFileReport(L"frmRudIze Function SetProgram()"), 10);
    // Nothing of it was run or left: no installer copy, no run of the package installer, no later step.
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe"));
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\Info\\rudize.log")) << "the package installer ran";
    EXPECT_FALSE(FileExists(DesktopShortcut()));
    for (const auto& f : kComponents) EXPECT_FALSE(FileExists(Wow64Dir() + f)) << Show(f);
}

TEST_F(Medium, ChangedRegisteredComponentIsNeitherPlacedNorRegistered) {
    // TransLh6.ocx: the fourth component, checked as trapped and registered.
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {}, TamperedMedium(L"TransLh6.ocx")));
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));
    ExpectStepFailure(menu, progress, CorruptFileReport(L"frmRudIze Function SetDllFile()"), 80);

    // The rows before it are in place; it and the rows after it are not; only the files before it are registered.
    const std::wstring sys = Wow64Dir();
    for (const auto& f : {L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL"})
        EXPECT_TRUE(FileExists(sys + f)) << Show(f);
    for (const auto& f : {L"TransLh6.ocx", L"MSMAPI32.OCX", L"ZozuvOvero.dll"})
        EXPECT_FALSE(FileExists(sys + f)) << Show(f);
    EXPECT_TRUE(RegistrarsDone());
    EXPECT_EQ(Show(Join(RegisteredNames())), Show(L"comdlg32.ocx, mscomct2.ocx, mscomctl.ocx"));
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe"));
}

// ---- Keyboard and accessibility ---------------------------------------------------------------

class Accessibility : public Setup {
protected:
    // Tab goes round `order` from its first control and back to it (posted to the focused control, through
    // the program's message loop); Shift+Tab, typed as a user types it, goes round the other way.
    void ExpectTabOrder(HWND top, const std::vector<HWND>& order) {
        for (HWND h : order) ASSERT_TRUE(h) << "a control of the tab order is missing";
        const size_t n = order.size();
        ASSERT_TRUE(ud::WaitUntil([&] { return ud::FocusedWindow(top) == order[0]; }, 5000))
            << "focus starts on " << Describe(ud::FocusedWindow(top));
        for (size_t i = 1; i <= n; ++i) {
            HWND from = ud::FocusedWindow(top), want = order[i % n];
            ud::PressKey(from, VK_TAB);
            EXPECT_TRUE(ud::WaitUntil([&] { return ud::FocusedWindow(top) == want; }, 5000))
                << "Tab from " << Describe(from) << " went to " << Describe(ud::FocusedWindow(top)) << ", not "
                << Describe(want);
        }
        for (size_t i = 1; i <= n; ++i) {
            HWND from = ud::FocusedWindow(top), want = order[n - i];
            ASSERT_TRUE(ud::TypeKeys(top, {VK_SHIFT}, VK_TAB)) << "the window could not take the keyboard";
            EXPECT_TRUE(ud::WaitUntil([&] { return ud::FocusedWindow(top) == want; }, 5000))
                << "Shift+Tab from " << Describe(from) << " went to " << Describe(ud::FocusedWindow(top)) << ", not "
                << Describe(want);
        }
        EXPECT_TRUE(ud::IsVisible(top)) << "the keys left the window";
    }
};

TEST_F(Accessibility, TabAndShiftTabGoRoundEachWindowInTabOrder) {
    Start();
    HWND menu = WaitMenu();
    ASSERT_TRUE(menu);
    {
        SCOPED_TRACE("menu");
        ExpectTabOrder(menu, {ud::FindButton(menu, kInstallButton), ud::FindButton(menu, kExitButton)});
    }
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    HWND terms = WaitTerms();
    ASSERT_TRUE(terms);
    {
        SCOPED_TRACE("terms");
        ExpectTabOrder(terms,
                       {ud::FindButton(terms, kDecline), ud::FindButton(terms, kAgree), ud::FindChild(terms, L"Edit")});
    }
    ASSERT_TRUE(ud::ClickButton(terms, kAgree));
    HWND progress = WaitProgress();
    ASSERT_TRUE(progress);
    {
        SCOPED_TRACE("progress");
        ExpectTabOrder(progress, {ud::FindButton(progress, kSetup), ud::FindButton(progress, kCancel)});
    }
    EXPECT_FALSE(FolderExists(kInstallRoot)) << "a key started the install";
}

// What standard accessibility gives for each control of `top`, against what Windows' proxies for the
// standard controls give. A role that differs is collected in `wine_differences` (held by the caller).
std::string Aspects(const ud::AccessibleInfo& a) {
    return "role " + ToUtf8(ud::RoleName(a.role)) + (a.hasName ? ", name \"" + Show(a.name) + "\"" : ", no name") +
           (a.hasValue ? ", value of " + std::to_string(a.value.size()) + " characters" : ", no value");
}

void ExpectAccessible(HWND top, const char* label, std::map<std::string, std::string>& wine_differences) {
    SCOPED_TRACE(label);
    int buttons = 0, labels = 0, bars = 0, edits = 0;
    for (const ud::Control& c : ud::Controls(top)) {
        const std::wstring cls = Lower(c.cls);
        const ud::AccessibleInfo a = ud::ReadAccessible(c.hwnd);
        SCOPED_TRACE(ToUtf8(c.cls) + " \"" + Show(c.text.substr(0, 30)) + "\": " + Aspects(a));
        ASSERT_EQ(a.hr, S_OK) << "AccessibleObjectFromWindow failed";
        auto expect_role = [&](long role) {
            if (a.role == role) return;
            wine_differences[ToUtf8(cls) + " role"] =
                ToUtf8(ud::RoleName(a.role)) + " for " + ToUtf8(ud::RoleName(role));
        };
        if (cls == L"button") {
            ++buttons;
            EXPECT_TRUE(a.hasName);
            EXPECT_EQ(Show(a.name), Show(c.text));
            expect_role(ROLE_SYSTEM_PUSHBUTTON);
        } else if (cls == L"static") {
            const LONG type = c.style & SS_TYPEMASK;
            if (type == SS_OWNERDRAW || c.text.empty()) continue;  // pictures and panels carry no caption
            ++labels;
            EXPECT_TRUE(a.hasName);
            EXPECT_EQ(Show(a.name), Show(c.text));
            expect_role(ROLE_SYSTEM_STATICTEXT);
        } else if (cls == L"msctls_progress32") {
            ++bars;
            expect_role(ROLE_SYSTEM_PROGRESSBAR);
        } else if (cls == L"edit") {
            ++edits;
            EXPECT_TRUE(a.hasValue);
            EXPECT_EQ(a.value.size(), c.text.size());
            EXPECT_TRUE(a.value == c.text) << "the value is not the terms text";
            EXPECT_GT(a.value.size(), 100u);
            expect_role(ROLE_SYSTEM_TEXT);
        }
    }
    EXPECT_GT(buttons, 0);
    std::printf("[ accessibility ] %s: %d buttons, %d labels, %d progress bars, %d text boxes read\n", label, buttons,
                labels, bars, edits);
}

TEST_F(Accessibility, ControlsReadableThroughStandardAccessibility) {
    Start();
    HWND menu = WaitMenu();
    ASSERT_TRUE(menu);
    std::map<std::string, std::string> seen;
    ExpectAccessible(menu, "menu", seen);
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    HWND terms = WaitTerms();
    ASSERT_TRUE(terms);
    ExpectAccessible(terms, "terms", seen);
    ASSERT_TRUE(ud::ClickButton(terms, kAgree));
    HWND progress = WaitProgress();
    ASSERT_TRUE(progress);
    ExpectAccessible(progress, "progress", seen);

    // Wine 10's differences from Windows' standard proxies, held exactly: a change either way shows. Its oleacc
    // answers for every control with one generic client object: names and the edit's value are right, but
    // every role is ROLE_SYSTEM_CLIENT.
    const std::map<std::string, std::string> kWineDifferences = {
        {"button role", "CLIENT for PUSHBUTTON"},
        {"msctls_progress32 role", "CLIENT for PROGRESSBAR"},
        {"static role", "CLIENT for STATICTEXT"},
    };
    std::string listed;
    for (const auto& [what, how] : seen) listed += "  " + what + ": " + how + "\n";
    const std::map<std::string, std::string> kWindows;  // Windows' own proxies: no difference
    EXPECT_EQ(seen, sides::Expected(kWindows, kWineDifferences)) << "differences from Windows seen:\n" << listed;
}

}  // namespace
