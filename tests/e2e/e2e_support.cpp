#include "e2e_support.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>

#include "support/utf8.h"
#include "win32/handles.h"

namespace e2e {

namespace {

const std::wstring kSampleKey = L"Software\\HorundeSample";

std::wstring ShellFolder(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, buf);
    return buf;
}

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
        if (!h_ ||
            RegQueryValueExW(h_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return 0;
        return value;
    }
    std::wstring Text(const std::wstring& name) const {
        wchar_t buf[MAX_PATH * 2] = {};
        DWORD size = sizeof buf - sizeof(wchar_t), type = 0;
        if (!h_ ||
            RegQueryValueExW(h_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return {};
        return buf;
    }

private:
    HKEY h_ = nullptr;
};

// The program that loaded the component to register it.
std::wstring RegisteredBy(const std::wstring& file) { return SampleKey(L"\\RegisteredBy").Text(file); }

// Removes what the components recorded, in both registry views.
void DeleteSampleKeys() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY software = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
            RegDeleteTreeW(software, kSampleKey.substr(kSampleKey.find(L'\\') + 1).c_str());
            RegCloseKey(software);
        }
    }
}

using FileStamps = std::map<std::wstring, std::pair<ULONGLONG, ULONGLONG>>;

// A folder's files with their sizes and write times, to tell what a run added or changed there.
FileStamps FolderFiles(const std::wstring& dir) {
    FileStamps files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        files[Lower(fd.cFileName)] = {
            (ULONGLONG(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
            (ULONGLONG(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime};
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return files;
}

// Names in `after` that are new or changed since `before`.
std::wstring ChangedFiles(const FileStamps& before, const FileStamps& after) {
    std::wstring changed;
    for (const auto& [name, stamp] : after) {
        auto it = before.find(name);
        if (it == before.end() || it->second != stamp) changed += name + L" ";
    }
    return changed;
}

}  // namespace

// ---- Helpers ----------------------------------------------------------------------------------

std::wstring Env(const wchar_t* name, const std::wstring& fallback) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : fallback;
}

std::wstring FolderNames(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    std::set<std::wstring> names;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) names.insert(found.cFileName);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return Join(names);
}

std::wstring SetupExe() { return Env(L"E2E_SETUP_EXE", L"C:\\medium\\setup.exe"); }

std::wstring PackageBeside(const std::wstring& exe) {
    return exe.substr(0, exe.find_last_of(L'\\') + 1) + L"Package\\";
}

std::wstring MediumPackage() { return PackageBeside(SetupExe()); }

std::string Show(const std::wstring& s) { return ToUtf8(ud::Escape(s)); }

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> out;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(sep, start);
        out.push_back(s.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return out;
        start = end + 1;
    }
}

std::wstring Join(const std::set<std::wstring>& names) {
    std::wstring out;
    for (const auto& n : names) out += (out.empty() ? L"" : L", ") + n;
    return out;
}

std::wstring Wow64Dir() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = GetSystemWow64DirectoryW(buf, MAX_PATH);
    std::wstring s(buf, n < MAX_PATH ? n : 0);
    if (!s.empty() && s.back() != L'\\') s += L'\\';
    return s;
}

std::wstring NativeSystemDir() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n < MAX_PATH ? n : 0) + L"\\Sysnative\\";
}

std::wstring DesktopShortcut() { return ShellFolder(CSIDL_DESKTOP) + L"\\" + kShortcutName; }
std::wstring ProgramsShortcut() { return ShellFolder(CSIDL_PROGRAMS) + L"\\" + kShortcutName; }

bool ReadPeHeaders(const std::wstring& path, IMAGE_NT_HEADERS32& nt) {
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

int CountProcesses(const std::wstring& exe) {
    const setup::win32::UniqueFileHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap) return 0;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    int n = 0;
    for (BOOL ok = Process32FirstW(snap.get(), &pe); ok; ok = Process32NextW(snap.get(), &pe))
        if (_wcsicmp(pe.szExeFile, exe.c_str()) == 0) ++n;
    return n;
}

bool RegistrarsDone(DWORD timeout_ms) {
    return ud::WaitUntil([] { return CountProcesses(L"regsvr32.exe") == 0; }, timeout_ms, 50);
}

bool InstallChildrenEnded(int own_setups) {
    return RegistrarsDone() && ud::WaitUntil([] { return CountProcesses(L"Ruvok.exe") == 0; }, kWindowMs, 50) &&
           ud::WaitUntil([&] { return CountProcesses(L"setup.exe") <= own_setups; }, kWindowMs, 50);
}

std::set<std::wstring> RegisteredNames() { return SampleKey(L"\\Registered").ValueNames(); }
std::wstring RegistrarPolicy(const std::wstring& file) { return SampleKey(L"\\RegistrarPolicy").Text(file); }

DWORD RegisterCount(const std::wstring& file) { return SampleKey(L"\\RegisterCount").Number(file); }

// ---- The fixture ------------------------------------------------------------------------------

void Setup::SetUp() {
    // A registrar or service tool left by the previous test must not write into this one.
    InstallChildrenEnded(0);
    CleanMachine();
    native_system_ = FolderFiles(NativeSystemDir());
}

void Setup::TearDown() {
    if (HasFailure()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::wstring dir = Env(L"E2E_SHOT_DIR", L"");
        if (!dir.empty()) {
            std::wstring name = FromUtf8(std::string(info->test_suite_name()) + "." + info->name());
            std::replace(name.begin(), name.end(), L'/', L'_');
            if (!ud::RequestScreenshot(dir, name, 15000))
                std::printf("(failure screenshot %s was not taken)\n", ToUtf8(name).c_str());
        }
    }
    app_.Kill();
}

void Setup::CleanMachine() {
    sides::RemoveJunction(kInstallRoot);  // one an interrupted run of PlantedRoot left
    DeleteTree(kInstallRoot);
    const std::wstring sys = Wow64Dir();
    for (const auto& f : kComponents) DeleteFileForce(sys + f);
    DeleteFileForce(sys + kControlFile);
    DeleteSampleKeys();
    DeleteFileForce(DesktopShortcut());
    DeleteFileForce(ProgramsShortcut());
    DeleteTree(kPlantedLog.substr(0, kPlantedLog.find_last_of(L'\\')));
}

void Setup::ExpectPlacedFor32Bit(const std::vector<std::wstring>& files, const std::set<std::wstring>& registered) {
    const std::wstring registrar = Lower(Wow64Dir() + L"regsvr32.exe");
    for (const auto& f : files) {
        SCOPED_TRACE(ToUtf8(f));
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

std::set<std::wstring> Setup::ExpectRegistered() {
    std::set<std::wstring> expected{Lower(kControlFile)};
    for (const auto& f : kRegisteredComponents) expected.insert(Lower(f));
    EXPECT_TRUE(ud::WaitUntil([&] { return RegisteredNames().size() >= expected.size(); }, kRegistrarMs));
    EXPECT_TRUE(RegistrarsDone());
    EXPECT_EQ(Show(Join(RegisteredNames())), Show(Join(expected)));
    return expected;
}

void Setup::StartFrom(const std::wstring& setup_exe, const std::vector<std::wstring>& env) {
    app_ = ud::Process::Start(setup_exe, env);
    ASSERT_TRUE(app_.valid());
}

HWND Setup::WaitWindow(const std::wstring& button) {
    HWND h = ud::WaitWindow(pid(), button, kWindowMs);
    EXPECT_TRUE(h) << "no visible window with the button " << Show(button);
    return h;
}

HWND Setup::OpenProgress() {
    HWND menu = WaitMenu();
    if (!menu) return nullptr;
    EXPECT_TRUE(ud::ClickButton(menu, kInstallButton));
    HWND terms = WaitTerms();
    if (!terms) return nullptr;
    EXPECT_TRUE(ud::ClickButton(terms, kAgree));
    return WaitProgress();
}

bool Setup::StartAtProgress(HWND& menu, HWND& progress, const std::vector<std::wstring>& env,
                            const std::wstring& setup_exe) {
    StartFrom(setup_exe.empty() ? SetupExe() : setup_exe, env);
    if (HasFatalFailure()) return false;
    menu = WaitMenu();
    progress = menu ? OpenProgress() : nullptr;
    return progress != nullptr;
}

ud::MessageBoxInfo Setup::WaitMessage(DWORD timeout_ms) {
    ud::MessageBoxInfo m;
    EXPECT_TRUE(ud::WaitMessageBox(pid(), timeout_ms, &m)) << "no message box";
    return m;
}

void Setup::Answer(const ud::MessageBoxInfo& m, int id) {
    ASSERT_TRUE(ud::AnswerMessageBox(m.hwnd, id));
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(m.hwnd); }, kWindowMs)) << "box stayed";
}

void Setup::ExpectInformation(const ud::MessageBoxInfo& m, const std::wstring& text) {
    EXPECT_EQ(Show(m.title), Show(kTitle));
    EXPECT_EQ(Show(m.text), Show(text)) << InstallState();
    EXPECT_EQ(m.icon, ud::IconKind::Information);
    ASSERT_EQ(m.buttons.size(), 1u);
    EXPECT_EQ(m.buttons[0].first, IDOK);
}

void Setup::ExpectStepFailure(HWND menu, HWND progress, const std::wstring& report, int milestone) {
    HWND bar = ud::FindChild(progress, L"msctls_progress32");
    ud::MessageBoxInfo m = WaitMessage();
    EXPECT_EQ(ud::ProgressPos(bar), milestone) << "bar when the report showed";
    EXPECT_EQ(Show(m.title), Show(kTitle));
    EXPECT_EQ(Show(m.text.substr(0, report.size())), Show(report)) << Show(m.text);
    EXPECT_EQ(m.icon, ud::IconKind::Warning);
    ASSERT_EQ(m.buttons.size(), 1u);
    EXPECT_EQ(m.buttons[0].first, IDOK);
    Answer(m, IDOK);
    m = WaitMessage();
    ExpectInformation(m, kFailed);
    Answer(m, IDOK);
    ExpectBackOnMenu(menu, progress);
    EXPECT_EQ(ud::ProgressPos(bar), milestone);
}

void Setup::ExpectBackOnMenu(HWND menu, HWND progress) {
    HWND again = WaitMenu();
    EXPECT_EQ(again, menu) << "the menu is another window";
    EXPECT_TRUE(ud::WaitUntil([&] { return !ud::IsVisible(progress); }, kWindowMs));
    EXPECT_TRUE(ud::Exists(progress)) << "progress window destroyed";
    EXPECT_TRUE(app_.Running());
}

std::string Setup::InstallState() {
    std::string state = "installer copy " +
                        std::string(FileExists(kInstallRoot + L"\\setup.exe") ? "present" : "absent") +
                        "; processes: setup.exe " + std::to_string(CountProcesses(L"setup.exe")) + ", regsvr32.exe " +
                        std::to_string(CountProcesses(L"regsvr32.exe")) + "; runs of the package installer:";
    for (const auto& line : ReadLines(kInstallRoot + L"\\Info\\rudize.log")) state += "\n  " + Show(line);
    return state;
}

void Setup::InstallToCompletion(HWND menu, HWND progress, bool expect_question) {
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

void Setup::ExpectEnds() {
    DWORD code = 0xDEADBEEF;
    const bool ended = app_.WaitExit(kExitMs, &code);
    EXPECT_TRUE(ended) << "setup.exe still runs";
    if (ended) {
        EXPECT_EQ(code, 0u) << "setup.exe ended with an error";
    }
    EXPECT_TRUE(ud::TopLevelWindows(pid()).empty());
}

void Setup::ExpectInstallTree() {
    EXPECT_TRUE(FileExists(kInstallRoot + L"\\DAZov.mde"));
    EXPECT_TRUE(FileExists(kInstallRoot + L"\\Work\\ZEL.ico"));
    EXPECT_TRUE(FileExists(kInstallRoot + L"\\Info\\Ruvok.exe"));
    EXPECT_FALSE(FileExists(kInstallRoot + L"\\setup.exe")) << "installer copy left behind";
}

void Setup::Barrier(HWND edit) {
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

}  // namespace e2e
