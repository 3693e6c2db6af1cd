// End-to-end tests: the real setup.exe, started from a medium inside the Wine prefix and driven through
// its windows with the UI driver. Each test makes the machine state it needs in SetUp and waits on
// conditions with bounded time-outs only. The fixture and helpers are in e2e_support.h.
#include "e2e_support.h"

#include <optional>

namespace {

using namespace e2e;

// Names the Wine and the program under test in the output, and stops the run when it is not what we ship: the
// 32-bit setup.exe, run as 64-bit Windows runs it (these tests are 32-bit too, so they see what it sees).
class ShippedProgram : public ::testing::Environment {
public:
    void SetUp() override {
        using WineVersion = const char*(__cdecl*)();
        auto wine = reinterpret_cast<WineVersion>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
        BOOL wow64 = FALSE;
        IsWow64Process(GetCurrentProcess(), &wow64);
        IMAGE_NT_HEADERS32 nt{};
        const bool pe32 = ReadPeHeaders(SetupExe(), nt);
        const WORD machine = pe32 ? nt.FileHeader.Machine : 0;
        std::printf("[ program  ] %s: %s; Wine %s; %s\n", ToUtf8(SetupExe()).c_str(),
                    machine == IMAGE_FILE_MACHINE_I386 ? "PE32, i686 (32-bit)" : "not the shipped 32-bit build",
                    wine ? wine() : "none (Windows)", wow64 ? "run under WoW64" : "not under WoW64");
        ASSERT_EQ(machine, IMAGE_FILE_MACHINE_I386) << "the program under test is not the 32-bit build";
        ASSERT_TRUE(wow64) << "not run the way 64-bit Windows runs a 32-bit program";
    }
};
[[maybe_unused]] auto* const kShippedProgram = ::testing::AddGlobalTestEnvironment(new ShippedProgram);

// ---- Start-up ---------------------------------------------------------------------------------

TEST_F(Setup, StartShowsMenuAndRegistersControlFileOnce) {
    Start();
    HWND menu = WaitMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(Show(ud::Text(menu)), Show(kCaption));
    EXPECT_TRUE(ud::FindButton(menu, kExitButton));

    EXPECT_TRUE(ud::WaitUntil([&] { return RegisterCount(kControlFile) >= 1; }, kRegistrarMs))
        << "mscomctl.ocx never registered";
    ExpectPlacedFor32Bit({kControlFile}, {Lower(kControlFile)});

    // menu -> terms -> menu does not place or register it again
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    HWND terms = WaitTerms();
    ASSERT_TRUE(terms);
    ASSERT_TRUE(ud::ClickButton(terms, kDecline));
    EXPECT_EQ(WaitMenu(), menu);
    EXPECT_TRUE(RegistrarsDone());
    EXPECT_EQ(RegisterCount(kControlFile), 1u);
    EXPECT_EQ(Show(Join(RegisteredNames())), Show(L"mscomctl.ocx"));
}

TEST_F(Setup, StartReplacesReadOnlyControlFile) {
    const std::wstring placed = Wow64Dir() + kControlFile;
    ASSERT_TRUE(WriteFileBytes(placed, "an older copy"));
    ASSERT_TRUE(SetFileAttributesW(placed.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(GetFileAttributesW(placed.c_str()) & FILE_ATTRIBUTE_READONLY);

    Start();
    ASSERT_TRUE(WaitMenu());
    EXPECT_EQ(ReadFileBytes(placed), ReadFileBytes(MediumPackage() + kControlFile)) << "old copy not replaced";
    EXPECT_FALSE(GetFileAttributesW(placed.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(ud::WaitUntil([&] { return RegisterCount(kControlFile) >= 1; }, kRegistrarMs));
    EXPECT_TRUE(RegistrarsDone());
    EXPECT_EQ(RegisterCount(kControlFile), 1u);
}

// ---- Navigation -------------------------------------------------------------------------------

TEST_F(Setup, NavigationKeepsWindowsAndTheirState) {
    Start();
    HWND menu = WaitMenu();
    ASSERT_TRUE(menu);

    // First visit of the terms window: focus on "同意しない", Esc does nothing, Enter declines.
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    HWND terms = WaitTerms();
    ASSERT_TRUE(terms);
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(menu); }, kWindowMs)) << "menu not hidden";
    EXPECT_TRUE(ud::Exists(menu));
    EXPECT_EQ(Show(ud::Text(terms)), Show(kCaption));
    HWND decline = ud::FindButton(terms, kDecline);
    HWND edit = ud::FindChild(terms, L"Edit");
    ASSERT_TRUE(decline);
    ASSERT_TRUE(edit);
    EXPECT_TRUE(ud::WaitUntil([&] { return ud::FocusedWindow(terms) == decline; }, 5000))
        << "focus is on " << Show(ud::Text(ud::FocusedWindow(terms)));

    ud::PressKey(decline, VK_ESCAPE, 0x1B);
    Barrier(edit);
    EXPECT_TRUE(ud::IsVisible(terms)) << "Esc left the terms window";
    EXPECT_FALSE(ud::IsVisible(menu));
    EXPECT_TRUE(app_.Running());

    ud::PressKey(ud::FocusedWindow(terms), VK_RETURN, L'\r');
    EXPECT_EQ(WaitMenu(), menu) << "Enter did not decline";
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(terms); }, kWindowMs));
    EXPECT_TRUE(ud::Exists(terms));

    // Second visit: same window, same text; it cannot be edited; it scrolls.
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    EXPECT_EQ(WaitTerms(), terms);
    const std::wstring text = ud::Text(edit);
    EXPECT_GT(text.size(), 100u);
    EXPECT_TRUE(ud::SetClipboardText(L"PASTED"));
    SendMessageW(edit, EM_SETSEL, 0, 20);
    ud::TypeChar(edit, L'a');
    ud::PressKey(edit, VK_BACK, L'\b');
    ud::PressKey(edit, VK_DELETE);
    ud::PressCtrl(edit, L'V');
    ud::PressCtrl(edit, L'X');
    PostMessageW(edit, WM_PASTE, 0, 0);
    PostMessageW(edit, WM_CLEAR, 0, 0);
    PostMessageW(edit, WM_CUT, 0, 0);
    Barrier(edit);
    EXPECT_EQ(ud::Text(edit), text) << "the terms text changed";

    ud::ScrollLines(edit, 0x7FFF);
    ud::ScrollLines(edit, -3);
    const int first = ud::FirstVisibleLine(edit);
    EXPECT_GT(first, 0) << "the text did not scroll";

    ASSERT_TRUE(ud::ClickButton(terms, kDecline));
    EXPECT_EQ(WaitMenu(), menu);
    ASSERT_TRUE(ud::ClickButton(menu, kInstallButton));
    EXPECT_EQ(WaitTerms(), terms);
    EXPECT_EQ(ud::Text(edit).size(), text.size()) << "the text was rebuilt";
    EXPECT_EQ(ud::Text(edit), text);
    EXPECT_EQ(ud::FirstVisibleLine(edit), first) << "scroll position lost";

    // Progress window: bar at 0, focus on "セットアップ"; cancel and agree again keep both windows.
    ASSERT_TRUE(ud::ClickButton(terms, kAgree));
    HWND progress = WaitProgress();
    ASSERT_TRUE(progress);
    EXPECT_EQ(Show(ud::Text(progress)), Show(kCaption));
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(terms); }, kWindowMs));
    HWND bar = ud::FindChild(progress, L"msctls_progress32");
    ASSERT_TRUE(bar);
    EXPECT_EQ(ud::ProgressPos(bar), 0);
    HWND setup = ud::FindButton(progress, kSetup);
    EXPECT_TRUE(ud::WaitUntil([&] { return ud::FocusedWindow(progress) == setup; }, 5000))
        << "focus is on " << Show(ud::Text(ud::FocusedWindow(progress)));

    ASSERT_TRUE(ud::ClickButton(progress, kCancel));
    EXPECT_EQ(WaitTerms(), terms);
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(progress); }, kWindowMs));
    EXPECT_TRUE(ud::Exists(progress));
    EXPECT_EQ(ud::FirstVisibleLine(edit), first);
    ASSERT_TRUE(ud::ClickButton(terms, kAgree));
    EXPECT_EQ(WaitProgress(), progress);
    EXPECT_EQ(ud::ProgressPos(bar), 0);
    EXPECT_FALSE(FolderExists(kInstallRoot)) << "cancel or navigation ran a step";
}

// ---- Install ----------------------------------------------------------------------------------

TEST_F(Setup, InstallCompletesAndLeavesTheMachineSetUp) {
    // A stale read-only component must be replaced.
    const std::wstring sys = Wow64Dir();
    ASSERT_TRUE(WriteFileBytes(sys + L"comdlg32.ocx", "an older copy"));
    ASSERT_TRUE(SetFileAttributesW((sys + L"comdlg32.ocx").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteFileBytes(sys + L"RoVur.dll", "an older copy"));
    ASSERT_TRUE(SetFileAttributesW((sys + L"RoVur.dll").c_str(), FILE_ATTRIBUTE_READONLY));

    // What the started stand-ins see of themselves and of the root while setup waits (package/common/sample_seen.h).
    const std::wstring seen_file = L"C:\\e2e-seen.txt";
    DeleteFileForce(seen_file);
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {L"SAMPLE_SEEN_FILE=" + seen_file}));
    InstallToCompletion(menu, progress);
    if (HasFatalFailure()) return;

    ExpectInstallTree();
    // The root is the users' again: the application, run by an ordinary user, keeps its data there.
    EXPECT_TRUE(WriteFileBytes(kInstallRoot + L"\\DAZov.ldb", "lock file")) << "an ordinary user cannot write the root";
    // Info stays the administrators' with an access of its own: the service tool runs on elevated from it. Wine
    // makes a folder's DACL from its Unix mode and keeps none of them.
    const std::wstring info = sides::DaclText(kInstallRoot + L"\\Info");
    EXPECT_EQ(sides::UnprivilegedMayAddFile(kInstallRoot + L"\\Info"), sides::Expected(false, true)) << Show(info);
    if (!sides::UnderWine()) {
        EXPECT_EQ(Show(info), "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)");
    }
    const std::wstring after = sides::DaclText(kInstallRoot);
    EXPECT_TRUE(sides::UnprivilegedMayAddFile(kInstallRoot)) << "after the install: " << Show(after);
    EXPECT_EQ(after.rfind(L"D:P", 0), std::wstring::npos) << "the root keeps a protected access list: " << Show(after);
    EXPECT_EQ(after.find(L";;;OW)"), std::wstring::npos) << "the root keeps the held access: " << Show(after);

    // While setup waited for it, the package installer found the root held: under Wine, whose folders keep no
    // access list of their own, as the users have it.
    std::map<std::wstring, std::vector<std::wstring>> seen;  // program -> what it saw
    for (const auto& line : ReadLines(seen_file)) {
        const auto fields = Split(line, L'\t');
        if (fields.size() == 3) seen[fields[0]] = fields;
    }
    ASSERT_EQ(seen.count(L"rudize"), 1u) << "the package installer recorded nothing in " << Show(seen_file);
    const std::wstring held = seen[L"rudize"][2].substr(std::wstring(L"root=").size());
    const std::wstring held_dacl = held.substr(std::min(held.find(L"D:"), held.size()));
    if (sides::UnderWine()) {
        EXPECT_EQ(held_dacl.rfind(L"D:P", 0), std::wstring::npos)
            << "Wine now keeps a folder's access list: " << Show(held);
        EXPECT_TRUE(sides::UnprivilegedMayAddFileUnder(held)) << Show(held);
    } else {
        EXPECT_EQ(Show(held_dacl),
                  Show(L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)"));
        EXPECT_FALSE(sides::UnprivilegedMayAddFileUnder(held))
            << "a user without administrator rights may write the held root: " << Show(held);
    }

    // The service tool: started once, with the single argument "/i".
    const std::wstring log = kInstallRoot + L"\\Info\\Ruvok.log";
    EXPECT_TRUE(ud::WaitUntil([&] { return !ReadLines(log).empty(); }, kWindowMs)) << "Ruvok.exe never started";
    EXPECT_TRUE(ud::WaitUntil([] { return CountProcesses(L"Ruvok.exe") == 0; }, kWindowMs));
    auto lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 1u) << "Ruvok.exe starts: " << lines.size();
    auto fields = Split(lines[0], L'\t');
    ASSERT_EQ(fields.size(), 2u) << Show(lines[0]);
    EXPECT_EQ(Show(fields[1]), Show(L"/i"));

    // Each program setup started read its own image-load policy: the installer's copy, the service tool (which
    // setup does not wait for: it has ended now), and each registrar (through the component it registered).
    for (const auto& line : ReadLines(seen_file)) {
        const auto seen_fields = Split(line, L'\t');
        if (seen_fields.size() == 3) seen[seen_fields[0]] = seen_fields;
    }
    for (const wchar_t* program : {L"rudize", L"Ruvok"}) {
        ASSERT_EQ(seen.count(program), 1u) << Show(program) << " recorded nothing";
        EXPECT_EQ(Show(seen[program][1]), Show(sides::ExpectedPreferSystem32Record())) << Show(program);
    }

    // Components: in place, archive set, read-only clear.
    for (const auto& f : kComponents) {
        SCOPED_TRACE(ToUtf8(f));
        DWORD attr = GetFileAttributesW((sys + f).c_str());
        ASSERT_NE(attr, INVALID_FILE_ATTRIBUTES) << "missing";
        EXPECT_TRUE(attr & FILE_ATTRIBUTE_ARCHIVE);
        EXPECT_FALSE(attr & FILE_ATTRIBUTE_READONLY);
    }

    // Registration: the five registered rows and the control file, each exactly once, and all of it where
    // 64-bit Windows puts what a 32-bit setup program places and registers.
    const std::set<std::wstring> expected = ExpectRegistered();
    for (const auto& f : expected) EXPECT_EQ(RegisterCount(f), 1u) << Show(f);
    for (const auto& f : expected)
        EXPECT_EQ(Show(RegistrarPolicy(f)), Show(sides::ExpectedPreferSystem32Record()))
            << "the registrar of " << Show(f);
    std::vector<std::wstring> placed = kComponents;
    placed.push_back(kControlFile);
    ExpectPlacedFor32Bit(placed, expected);

    // Shortcuts, read back through IShellLinkW.
    const std::wstring lnk_dir = Env(L"E2E_LNK_DIR", L"C:\\e2e-lnk");
    CreateDirectoryW(lnk_dir.c_str(), nullptr);
    const std::pair<std::wstring, std::wstring> shortcuts[] = {{DesktopShortcut(), L"desktop.lnk"},
                                                               {ProgramsShortcut(), L"programs.lnk"}};
    for (const auto& [path, copy] : shortcuts) {
        SCOPED_TRACE(ToUtf8(path));
        ASSERT_TRUE(FileExists(path));
        ShortcutProps p = ReadShortcut(path);
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(Show(p.target), Show(L"C:\\DAZov\\DAZov.mde"));
        EXPECT_EQ(p.showCmd, SW_SHOWNORMAL);
        EXPECT_EQ(Show(p.icon), Show(L"C:\\DAZov\\Work\\ZEL.ico"));
        EXPECT_EQ(p.iconIndex, 0);
        EXPECT_EQ(Show(p.description), Show(L"ホルンデ"));
        EXPECT_EQ(Show(p.workdir), Show(L"C:\\DAZov"));
        EXPECT_EQ(Show(p.arguments), "");
        EXPECT_EQ(p.hotkey, 0);
        EXPECT_TRUE(CopyFileW(path.c_str(), (lnk_dir + L"\\" + copy).c_str(), FALSE));
    }

    // The program is still there, and "終了" ends it.
    ASSERT_TRUE(ud::ClickButton(menu, kExitButton));
    ExpectEnds();
}

TEST_F(Setup, SecondInstallInTheSameRun) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress));
    HWND bar = ud::FindChild(progress, L"msctls_progress32");
    ASSERT_TRUE(bar);
    InstallToCompletion(menu, progress);
    if (HasFatalFailure()) return;
    // At a user's pace: what the first install started has ended before the second begins.
    EXPECT_TRUE(InstallChildrenEnded(1));

    EXPECT_EQ(OpenProgress(), progress);
    EXPECT_EQ(ud::ProgressPos(bar), 100) << "bar not as the first run left it";
    // The install root exists now: the question comes, at the first step's milestone.
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));
    ud::MessageBoxInfo m = WaitMessage();
    EXPECT_EQ(Show(m.text), Show(kExistingQuestion));
    EXPECT_EQ(ud::ProgressPos(bar), 10);
    Answer(m, IDYES);
    m = WaitMessage();
    ExpectInformation(m, kCompleted);
    Answer(m, IDOK);
    ExpectBackOnMenu(menu, progress);
    // The service tool is not waited for by the program: its second line comes when it comes.
    const std::wstring log = kInstallRoot + L"\\Info\\Ruvok.log";
    EXPECT_TRUE(ud::WaitUntil([&] { return ReadLines(log).size() >= 2; }, kWindowMs));
    EXPECT_TRUE(ud::WaitUntil([] { return CountProcesses(L"Ruvok.exe") == 0; }, kWindowMs));
    EXPECT_EQ(ReadLines(log).size(), 2u);
}

TEST_F(Setup, ExistingInstallationAnsweredNo) {
    ASSERT_TRUE(CreateDirectoryW(kInstallRoot.c_str(), nullptr));
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress));
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));

    ud::MessageBoxInfo m = WaitMessage();
    EXPECT_EQ(Show(m.title), Show(kTitle));
    EXPECT_EQ(Show(m.text), Show(kExistingQuestion));
    EXPECT_EQ(m.icon, ud::IconKind::Question);
    ASSERT_EQ(m.buttons.size(), 2u);
    EXPECT_EQ(m.buttons[0].first, IDYES);
    EXPECT_EQ(m.buttons[1].first, IDNO);
    // DM_GETDEFID says nothing under Wine (it answers 1): the default shows as style and focus.
    EXPECT_EQ(m.defaultButton, IDYES) << "Yes is not the default";
    EXPECT_EQ(m.focusedButton, IDYES) << "Yes has no focus";
    Answer(m, IDNO);

    m = WaitMessage();
    ExpectInformation(m, kFailed);
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe"));
    Answer(m, IDOK);
    ExpectBackOnMenu(menu, progress);
    HWND bar = ud::FindChild(progress, L"msctls_progress32");
    EXPECT_EQ(ud::ProgressPos(bar), 10);
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe"));
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\Info\\rudize.log")) << "the package installer ran";
    EXPECT_FALSE(FileExists(DesktopShortcut()));
    EXPECT_FALSE(FileExists(ProgramsShortcut()));
    for (const auto& f : kComponents) EXPECT_FALSE(FileExists(Wow64Dir() + f)) << Show(f);
    EXPECT_TRUE(FolderExists(kInstallRoot));
}

TEST_F(Setup, ExistingInstallationAnsweredYes) {
    ASSERT_TRUE(CreateDirectoryW(kInstallRoot.c_str(), nullptr));
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress));
    InstallToCompletion(menu, progress, /*expect_question=*/true);
    EXPECT_TRUE(FileExists(kInstallRoot + L"\\DAZov.mde"));
    EXPECT_TRUE(FileExists(DesktopShortcut()));
}

TEST_F(Setup, MissingServiceToolIsReported) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {L"RUDIZE_SAMPLE_SKIP_TOOL=1"}));
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));
    ExpectStepFailure(menu, progress, kRuvokReportStart, 90);
}

// Clicked before the timer's tick, "ｷｬﾝｾﾙ" stops it: no step runs, and the terms window stays the only one shown.
TEST_F(Setup, CancelBeforeTheTickRunsNoStep) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress));
    HWND bar = ud::FindChild(progress, L"msctls_progress32");
    ASSERT_TRUE(bar);
    // Posted one after the other: the cancel is handled before any tick, timer messages coming last.
    ASSERT_TRUE(ud::ClickButton(ud::FindButton(progress, kSetup)));
    ASSERT_TRUE(ud::ClickButton(ud::FindButton(progress, kCancel)));
    HWND terms = WaitTerms();
    ASSERT_TRUE(terms);

    // A tick still armed would start the sequence within its 100 ms, the bar at 10 first: give it ten times that.
    EXPECT_FALSE(ud::WaitUntil(
        [&] { return ud::ProgressPos(bar) != 0 || FolderExists(kInstallRoot) || !ud::MessageBoxes(pid()).empty(); },
        1000))
        << "a step ran: " << InstallState();
    EXPECT_TRUE(ud::IsVisible(terms));
    EXPECT_FALSE(ud::IsVisible(menu)) << "the menu came back beside the terms window";
    EXPECT_FALSE(ud::IsVisible(progress));
    ASSERT_TRUE(ud::ClickButton(terms, kAgree));
    EXPECT_EQ(WaitProgress(), progress);
    EXPECT_EQ(ud::ProgressPos(bar), 0);
}

// ---- Ending the program -----------------------------------------------------------------------

enum class Which { Menu, Terms, Progress };
struct CloseCase {
    const char* label;
    Which window;
    bool sysCommand;
};

class SetupClose : public Setup, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(SetupClose, ClosingAWindowEndsTheProgram) {
    const CloseCase& c = GetParam();
    Start();
    HWND target = WaitMenu();
    ASSERT_TRUE(target);
    if (c.window != Which::Menu) {
        ASSERT_TRUE(ud::ClickButton(target, kInstallButton));
        target = WaitTerms();
        ASSERT_TRUE(target);
    }
    if (c.window == Which::Progress) {
        ASSERT_TRUE(ud::ClickButton(target, kAgree));
        target = WaitProgress();
        ASSERT_TRUE(target);
    }
    ASSERT_TRUE(c.sysCommand ? ud::CloseBySysCommand(target) : ud::CloseByMessage(target));
    ExpectEnds();
    EXPECT_EQ(ud::MessageBoxes(pid()).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Windows, SetupClose,
                         ::testing::Values(CloseCase{"MenuSysClose", Which::Menu, true},
                                           CloseCase{"MenuWmClose", Which::Menu, false},
                                           CloseCase{"TermsSysClose", Which::Terms, true},
                                           CloseCase{"TermsWmClose", Which::Terms, false},
                                           CloseCase{"ProgressSysClose", Which::Progress, true},
                                           CloseCase{"ProgressWmClose", Which::Progress, false}),
                         [](const ::testing::TestParamInfo<CloseCase>& i) { return std::string(i.param.label); });

// Log-off or shutdown asked for while the package installer runs: every window of the program says no, and so
// does a close sent to the hidden menu; the install goes on to its end, and then the program lets both happen.
TEST_F(Setup, SessionEndAndCloseAreRefusedWhileTheSequenceRuns) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {L"RUDIZE_SAMPLE_DELAY_MS=4000"}));
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));
    const std::wstring copy = kInstallRoot + L"\\setup.exe";
    ASSERT_TRUE(ud::WaitUntil([&] { return FileExists(copy); }, kWindowMs)) << "package installer not started";

    // The three windows, two of them hidden.
    HWND terms = ud::FindWindowByButton(pid(), kAgree, false);
    ASSERT_TRUE(terms);
    for (HWND window : {menu, terms, progress}) {
        DWORD_PTR answer = 1;
        EXPECT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, ud::Scaled(5000),
                                        &answer))
            << "no answer from " << Show(ud::Text(window));
        EXPECT_EQ(answer, 0u) << Show(ud::Text(window)) << " lets the session end during the install";
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(menu, WM_CLOSE, 0, 0, SMTO_NORMAL, ud::Scaled(5000), &ignored);
    EXPECT_TRUE(FileExists(copy)) << "the package installer's wait was over before the questions were answered";
    EXPECT_TRUE(app_.Running()) << "a close to the hidden menu ended the program during the install";

    ud::MessageBoxInfo m = WaitMessage();
    ExpectInformation(m, kCompleted);
    Answer(m, IDOK);
    ExpectBackOnMenu(menu, progress);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(
        SendMessageTimeoutW(menu, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, ud::Scaled(5000), &answer));
    EXPECT_EQ(answer, 1u) << "the session is still held after the install";
}

TEST_F(Setup, ExitButtonEndsTheProgram) {
    Start();
    HWND menu = WaitMenu();
    ASSERT_TRUE(menu);
    ASSERT_TRUE(ud::ClickButton(menu, kExitButton));
    ExpectEnds();
}

// ---- Links planted in an existing install root -------------------------------------------------

// An existing root (users keep their data in it) with a link planted at `link`, before setup starts or while
// its question is open: refused with `report` at 10, and nothing lands in, is deleted from or is started from
// what the link leads to.
class PlantedTree : public Setup {
protected:
    void ExpectRefused(const std::wstring& link, bool during_question, const std::wstring& report) {
        const std::wstring target = L"C:\\planted-target";
        const bool at_root = link == kInstallRoot;
        if (!at_root || during_question) {
            ASSERT_TRUE(CreateDirectoryW(kInstallRoot.c_str(), nullptr));
        }
        ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
        const std::wstring keep = target + L"\\Ruvok.exe";  // what a user would want setup to start elevated
        ASSERT_TRUE(CopyFileW((PackageBeside(SetupExe()) + L"rudize.exe").c_str(), keep.c_str(), TRUE));
        std::optional<sides::Junction> planted;
        if (!during_question) {
            planted.emplace(link, target);
            ASSERT_TRUE(planted->made()) << Show(planted->why());
        }
        HWND menu = nullptr, progress = nullptr;
        ASSERT_TRUE(StartAtProgress(menu, progress));
        ASSERT_TRUE(ud::ClickButton(progress, kSetup));
        ud::MessageBoxInfo question = WaitMessage();
        EXPECT_EQ(Show(question.text), Show(kExistingQuestion));
        if (during_question) {
            // Not held before the answer: a user can still swap the root then.
            if (at_root) {
                ASSERT_TRUE(RemoveDirectoryW(kInstallRoot.c_str())) << GetLastError();
            }
            planted.emplace(link, target);
            ASSERT_TRUE(planted->made()) << Show(planted->why());
        }
        Answer(question, IDYES);
        ExpectStepFailure(menu, progress, L"エラー  frmRudIze Function SetProgram()\r\n情報   " + report, 10);

        EXPECT_EQ(Show(FolderNames(target)), "Ruvok.exe") << "written or deleted through the link";
        EXPECT_EQ(CountProcesses(L"Ruvok.exe"), 0) << "started through the link";
        EXPECT_FALSE(FileExists(DesktopShortcut()));
        planted.reset();
        DeleteTree(target);
    }
};

TEST_F(PlantedTree, LinkAtInfoIsRefused) {
    ExpectRefused(kInstallRoot + L"\\Info", false,
                  L"セットアップ先の C:\\DAZov\\Info は別の場所を指すリンク（ジャンクション、シンボリック リンク"
                  L"またはハード リンク）のため、使用できません。");
}

TEST_F(PlantedTree, RootThatIsALinkIsRefusedFromTheStartOrSwappedInDuringTheQuestion) {
    for (const bool during_question : {false, true}) {
        SCOPED_TRACE(during_question ? "swapped in while the question is open" : "a link from the start");
        ExpectRefused(kInstallRoot, during_question,
                      L"セットアップ先 C:\\DAZov は別の場所を指すリンク（ジャンクションまたはシンボリック リンク）"
                      L"のため、使用できません。");
        app_.Kill();
        DeleteTree(kInstallRoot);
    }
}

// ---- Responsiveness during the package installer's run ---------------------------------------

TEST_F(Setup, StaysResponsiveWhileThePackageInstallerRuns) {
    HWND menu = nullptr, progress = nullptr;
    ASSERT_TRUE(StartAtProgress(menu, progress, {L"RUDIZE_SAMPLE_DELAY_MS=8000"}));
    HWND terms = ud::FindWindowByButton(pid(), kAgree, false);
    HWND cancel = ud::FindButton(progress, kCancel);
    // Every button of the hidden windows, as another program could click them while the install runs.
    const std::vector<HWND> hidden_buttons = {ud::FindButton(menu, kInstallButton), ud::FindButton(terms, kDecline),
                                              ud::FindButton(terms, kAgree), ud::FindButton(menu, kExitButton)};
    for (HWND button : hidden_buttons) ASSERT_TRUE(button);
    ASSERT_TRUE(ud::ClickButton(progress, kSetup));

    // The installer copy is there while the package installer runs (it sleeps 8 s first).
    const std::wstring copy = kInstallRoot + L"\\setup.exe";
    ASSERT_TRUE(ud::WaitUntil([&] { return FileExists(copy); }, kWindowMs)) << "package installer not started";

    // Probes run while the installer copy exists: from before the package installer starts until the step
    // after the wait deletes it. The later steps do not wait on anything and are not probed.
    double worst = 0;
    int probes = 0;
    std::vector<std::string> unanswered;
    bool clicked = false;
    const ULONGLONG started = GetTickCount64();
    while (FileExists(copy) && ud::MessageBoxes(pid()).empty() && GetTickCount64() - started < ud::Scaled(kInstallMs)) {
        double ms = 0;
        const ULONGLONG at = GetTickCount64() - started;
        const bool answered = ud::Responds(progress, 300, &ms);
        // A probe that outlasted the wait itself met the steps after it, which are not measured here.
        if (FileExists(copy)) {
            if (!answered) unanswered.push_back("at " + std::to_string(at) + " ms");
            worst = std::max(worst, ms);
        }
        ++probes;
        if (!clicked && at > 2000) {
            // A user's click on "ｷｬﾝｾﾙ" while the installer runs, and clicks posted to the hidden windows'
            // buttons: "終了" would end the program mid-step, the others bring a window up over the install.
            ud::MouseClick(cancel);
            for (HWND button : hidden_buttons) PostMessageW(button, BM_CLICK, 0, 0);
            Barrier(ud::FindChild(terms, L"Edit"));  // all of them handled, the installer still running
            clicked = true;
            EXPECT_TRUE(FileExists(copy)) << "the installer ended before the clicks were handled";
            EXPECT_FALSE(app_.WaitExit(0)) << "a click on a hidden window's button ended the program mid-step";
            EXPECT_FALSE(ud::IsVisible(menu)) << "a click on a hidden window's button showed the menu mid-step";
        }
        Sleep(50);  // pacing of the probes only; nothing is decided by it
    }
    std::printf("[ responsiveness ] %d WM_NULL probes during the wait (%llu ms), %zu unanswered, worst %.1f ms\n",
                probes, GetTickCount64() - started, unanswered.size(), worst);
    for (const auto& u : unanswered) std::printf("[ responsiveness ] unanswered probe %s\n", u.c_str());
    EXPECT_GT(probes, 20) << "the wait was shorter than expected";
    EXPECT_TRUE(unanswered.empty()) << unanswered.size() << " probes unanswered within " << ud::Scaled(300) << " ms";
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(ud::IsVisible(progress)) << "ｷｬﾝｾﾙ left the progress window during the wait";
    EXPECT_FALSE(terms && ud::IsVisible(terms)) << "ｷｬﾝｾﾙ showed the terms window during the wait";

    ud::MessageBoxInfo m = WaitMessage();
    ExpectInformation(m, kCompleted);
    Answer(m, IDOK);
    ExpectBackOnMenu(menu, progress);
    EXPECT_FALSE(terms && ud::IsVisible(terms));

    // The same kind of click does land when the program is idle: the check above meant something. The menu
    // has only just come back; the click waits until the button is what the screen shows at that point, and
    // one that still met the window being put back on screen is given again (a few times at most).
    HWND install = ud::FindButton(menu, kInstallButton);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(install, &r));
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ASSERT_TRUE(ud::WaitUntil([&] { return WindowFromPoint(centre) == install; }, kWindowMs))
        << "the menu's install button is not on screen";
    bool landed = false;
    for (int attempt = 0; attempt < 3 && !landed; ++attempt) {
        ASSERT_TRUE(ud::MouseClick(install));
        landed = ud::WaitWindow(pid(), kAgree, 3000) != nullptr;
    }
    EXPECT_TRUE(landed) << "a mouse click on the menu's install button did nothing";
}

}  // namespace
