// Runs inside Wine and times setup.exe, our two baselines and the NSIS peer side by side. It starts each
// program itself, polls for its windows every couple of milliseconds and stamps every event with
// QueryPerformanceCounter. It prints figures and verdicts; it never fails on a figure.
//
// Usage: bench_driver.exe MEDIUM_FOLDER [RUNS [LATENCY_RUNS]]
// The folder holds setup.exe, Package\, bare_window.exe, bare_window_styled.exe, direct_install.exe and
// peer_setup.exe.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// Texts the programs show; the benchmark finds their windows by them.
const wchar_t kMenuButton[] = L"「ホルンデ」サンプル版のセットアップ";
const wchar_t kAgreeButton[] = L"同意する";
const wchar_t kSetupButton[] = L"セットアップ";
const wchar_t kPeerAgreeButton[] = L"同意する(&A)";
const wchar_t kTitle[] = L"≪ホルンデ≫サンプル版のセットアップ";
const wchar_t kDone[] = L"≪ホルンデ≫サンプル版のセットアップが完了しました。";

constexpr DWORD kPollMs = 2;
constexpr DWORD kWindowTimeoutMs = 20000;
constexpr DWORD kInstallTimeoutMs = 40000;
constexpr UINT kPingTimeoutMs = 300;
constexpr DWORD kPingEveryMs = 20;
constexpr DWORD kSettleMs = 200;  // after a window shows, before it is clicked: let it paint and go idle

double g_tick_ms = 0;
bool g_verbose = false;  // BENCH_VERBOSE=1: every slow ping on stderr
// BENCH_EMULATED=1 (bench/run.sh, where Wine runs under software emulation): every program runs many times slower
// than it would, and not all alike, so its times say nothing of the programs; only their ratios are printed.
bool g_emulated = false;
// SETUP_WAIT_SCALE (the same scripts): the factor by which every bound on a wait is stretched there.
DWORD g_wait_scale = 1;

double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * g_tick_ms;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms) {
    const double end = Now() + static_cast<double>(timeout_ms) * g_wait_scale;
    for (;;) {
        if (done()) return true;
        if (Now() > end) return false;
        Sleep(kPollMs);
    }
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[512];
    const int n = GetWindowTextW(hwnd, text, 512);
    return std::wstring(text, n > 0 ? n : 0);
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64];
    const int n = GetClassNameW(hwnd, name, 64);
    return std::wstring(name, n > 0 ? n : 0);
}

std::vector<HWND> TopLevel(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->pid && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible descendant of `top` of class `cls` reading `text`.
HWND FindChild(HWND top, const wchar_t* cls, const wchar_t* text) {
    struct Search {
        const wchar_t* cls;
        const wchar_t* text;
        HWND found;
    } search{cls, text, nullptr};
    EnumChildWindows(
        top,
        [](HWND hwnd, LPARAM param) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (IsWindowVisible(hwnd) && _wcsicmp(ClassOf(hwnd).c_str(), s->cls) == 0 && TextOf(hwnd) == s->text) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Found {
    HWND top = nullptr;
    HWND button = nullptr;
};

Found FindByButton(DWORD pid, const wchar_t* button_text) {
    for (HWND top : TopLevel(pid)) {
        if (HWND button = FindChild(top, L"Button", button_text)) return {top, button};
    }
    return {};
}

HWND FindMessageBox(DWORD pid, const wchar_t* text) {
    for (HWND top : TopLevel(pid)) {
        if (ClassOf(top) == L"#32770" && TextOf(top) == kTitle && FindChild(top, L"Static", text)) return top;
    }
    return nullptr;
}

// ---- processes -------------------------------------------------------------------------------------

struct Child {
    HANDLE process = nullptr;
    DWORD pid = 0;
    explicit operator bool() const { return process != nullptr; }
};

std::wstring g_medium;  // ends in a backslash

Child Start(const wchar_t* program, const std::vector<std::wstring>& env = {}) {
    // The current environment with `env` added; a later entry of a name wins when Windows reads it.
    std::vector<wchar_t> block;
    for (const std::wstring& entry : env) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
        const std::wstring entry(p);
        bool overridden = false;
        for (const std::wstring& e : env) {
            if (_wcsnicmp(entry.c_str(), e.c_str(), e.find(L'=') + 1) == 0) overridden = true;
        }
        if (!overridden) block.insert(block.end(), p, p + entry.size() + 1);
    }
    FreeEnvironmentStringsW(current);
    block.push_back(L'\0');

    std::wstring path = g_medium + program;
    std::wstring command = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        block.data(), g_medium.c_str(), &startup, &info)) {
        fwprintf(stderr, L"bench: cannot start %ls (error %lu)\n", path.c_str(), GetLastError());
        return {};
    }
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId};
}

void End(Child& child) {
    if (!child) return;
    TerminateProcess(child.process, 0);
    WaitForSingleObject(child.process, 10000 * g_wait_scale);
    CloseHandle(child.process);
    child = {};
}

double PeakWorkingSetMb(const Child& child) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(child.process, &counters, sizeof counters)) return -1;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// Programs the installs start and do not wait for; the next run starts only when they are gone.
bool HelpersRunning() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool running = false;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        const wchar_t* name = entry.szExeFile;
        if (_wcsicmp(name, L"regsvr32.exe") == 0 || _wcsicmp(name, L"Ruvok.exe") == 0 ||
            _wcsicmp(name, L"setup.exe") == 0 || _wcsicmp(name, L"peer_setup.exe") == 0 ||
            _wcsicmp(name, L"direct_install.exe") == 0 || _wcsicmp(name, L"bare_window.exe") == 0 ||
            _wcsicmp(name, L"bare_window_styled.exe") == 0) {
            running = true;
        }
    }
    CloseHandle(snapshot);
    return running;
}

// The process of that name that `parent` started; 0 when there is none (yet).
DWORD ChildNamed(DWORD parent, const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok && !found; ok = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

void WaitQuiet() {
    if (!WaitUntil([] { return !HelpersRunning(); }, 15000)) fwprintf(stderr, L"bench: helper processes linger\n");
}

bool RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// A machine without an earlier install, so no program asks about one.
void CleanInstallRoot() {
    if (!WaitUntil([] { return RemoveTree(L"C:\\DAZov"); }, 10000)) fwprintf(stderr, L"bench: C:\\DAZov stays\n");
}

// ---- figures ---------------------------------------------------------------------------------------

std::map<std::string, std::vector<double>> g_samples;

void Record(const std::string& key, double value) { g_samples[key].push_back(value); }

struct Stats {
    int n = 0;
    double median = 0, min = 0, max = 0;
};

Stats StatsOf(const std::string& key) {
    Stats s;
    auto it = g_samples.find(key);
    if (it == g_samples.end() || it->second.empty()) return s;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    s.n = static_cast<int>(v.size());
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

// ---- the subjects ----------------------------------------------------------------------------------

// BareStyled is the bare window built with setup.exe's own manifest (common controls 6, DPI awareness): it
// shows what that manifest alone costs at start-up.
enum class Subject { Setup, Bare, BareStyled, Direct, Peer };

const wchar_t* ProgramOf(Subject s) {
    switch (s) {
    case Subject::Setup: return L"setup.exe";
    case Subject::Bare: return L"bare_window.exe";
    case Subject::BareStyled: return L"bare_window_styled.exe";
    case Subject::Direct: return L"direct_install.exe";
    case Subject::Peer: return L"peer_setup.exe";
    }
    return L"";
}

const char* NameOf(Subject s) {
    switch (s) {
    case Subject::Setup: return "setup";
    case Subject::Bare: return "bare";
    case Subject::BareStyled: return "bare_styled";
    case Subject::Direct: return "direct";
    case Subject::Peer: return "peer";
    }
    return "";
}

// The button whose window counts as the program's first window.
const wchar_t* FirstButtonOf(Subject s) {
    switch (s) {
    case Subject::Setup:
    case Subject::Bare:
    case Subject::BareStyled: return kMenuButton;
    case Subject::Direct: return kSetupButton;
    case Subject::Peer: return kPeerAgreeButton;
    }
    return L"";
}

// Start to first window visible.
void MeasureStart(Subject s, bool record) {
    WaitQuiet();
    const double t0 = Now();
    Child child = Start(ProgramOf(s));
    if (!child) return;
    Found found;
    const bool shown = WaitUntil([&] { return (found = FindByButton(child.pid, FirstButtonOf(s))).top; },
                                 kWindowTimeoutMs);
    const double elapsed = Now() - t0;
    if (!shown) {
        fprintf(stderr, "bench: %s showed no window\n", NameOf(s));
    } else if (record) {
        Record(std::string("start.") + NameOf(s), elapsed);
        Record(std::string("startws.") + NameOf(s), PeakWorkingSetMb(child));
    }
    End(child);
}

bool Click(const Found& found) {
    // Let the window paint and go idle first: the figure is the work the click starts, not the paint.
    Sleep(kSettleMs);
    DWORD_PTR result;
    SendMessageTimeoutW(found.top, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    return PostMessageW(found.button, BM_CLICK, 0, 0) != FALSE;
}

// Starts the program and brings it to the window whose click starts the install; that window is returned.
Found ReachInstallButton(Subject s, Child& child) {
    Found found;
    auto wait_button = [&](const wchar_t* text) {
        return WaitUntil([&] { return (found = FindByButton(child.pid, text)).top; }, kWindowTimeoutMs);
    };
    switch (s) {
    case Subject::Setup:
        if (!wait_button(kMenuButton) || !Click(found)) return {};
        if (!wait_button(kAgreeButton) || !Click(found)) return {};
        if (!wait_button(kSetupButton)) return {};
        return found;
    case Subject::Direct:
        return wait_button(kSetupButton) ? found : Found{};
    case Subject::Peer:
        return wait_button(kPeerAgreeButton) ? found : Found{};
    case Subject::Bare:
    case Subject::BareStyled: break;
    }
    return {};
}

bool InstallLeftItsFiles() {
    return GetFileAttributesW(L"C:\\DAZov\\DAZov.mde") != INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesW(L"C:\\DAZov\\setup.exe") == INVALID_FILE_ATTRIBUTES;
}

// From a quiet machine and no install root: the program started and brought to its install button. A null
// `top` when that failed (the program is then ended).
Found StartAtInstallButton(Subject s, const std::wstring& environment, Child& child) {
    WaitQuiet();
    CleanInstallRoot();
    child = Start(ProgramOf(s), {environment});
    if (!child) return {};
    const Found target = ReachInstallButton(s, child);
    if (!target.top) {
        fprintf(stderr, "bench: %s: install button not reached\n", NameOf(s));
        End(child);
    }
    return target;
}

// Click on the install button to the completion message; peak working set read while the message shows.
void MeasureInstall(Subject s, bool record) {
    Child child;
    const Found target = StartAtInstallButton(s, L"RUDIZE_SAMPLE_DELAY_MS=0", child);
    if (!target.top) return;
    Sleep(kSettleMs);
    DWORD_PTR result;
    SendMessageTimeoutW(target.top, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    const double t0 = Now();
    PostMessageW(target.button, BM_CLICK, 0, 0);
    const bool done = WaitUntil([&] { return FindMessageBox(child.pid, kDone) != nullptr; }, kInstallTimeoutMs);
    const double elapsed = Now() - t0;
    const double peak = PeakWorkingSetMb(child);
    if (!done) {
        fprintf(stderr, "bench: %s: no completion message\n", NameOf(s));
    } else if (!InstallLeftItsFiles()) {
        fprintf(stderr, "bench: %s: the install did not leave its files\n", NameOf(s));
    } else if (record) {
        Record(std::string("install.") + NameOf(s), elapsed);
        Record(std::string("ws.") + NameOf(s), peak);
    }
    End(child);
}

// Pings the install window while an 8 s package installer runs.
void MeasureLatency(Subject s, bool record) {
    Child child;
    const Found target = StartAtInstallButton(s, L"RUDIZE_SAMPLE_DELAY_MS=8000", child);
    if (!target.top) return;
    Click(target);
    const double t0 = Now();
    // Two phases: until the package installer (the copy named setup.exe, started by the program) has
    // ended, then from there to the completion message (the remaining steps and the message itself).
    HANDLE installer = nullptr;
    bool installer_ended = false;
    double worst[2] = {0, 0};
    int pings[2] = {0, 0}, lost[2] = {0, 0};
    bool done = false;
    while (Now() - t0 < kInstallTimeoutMs) {
        const double ping_start = Now();
        if (FindMessageBox(child.pid, kDone)) {
            done = true;
            break;
        }
        if (!installer) {
            const DWORD pid = ChildNamed(child.pid, L"setup.exe");
            if (pid) installer = OpenProcess(SYNCHRONIZE, FALSE, pid);
        } else if (!installer_ended && WaitForSingleObject(installer, 0) == WAIT_OBJECT_0) {
            installer_ended = true;
        }
        const int phase = installer_ended ? 1 : 0;
        DWORD_PTR result;
        const double before = Now();
        const LRESULT answered = SendMessageTimeoutW(target.top, WM_NULL, 0, 0, SMTO_NORMAL, kPingTimeoutMs, &result);
        const double latency = Now() - before;
        ++pings[phase];
        if (!answered) ++lost[phase];
        worst[phase] = std::max(worst[phase], latency);
        if (g_verbose && (latency > 30 || !answered))
            fprintf(stderr, "bench: %s: ping at %.0f ms after the click took %.1f ms%s\n", NameOf(s), before - t0,
                    latency, answered ? "" : " (lost)");
        const double next = ping_start + kPingEveryMs;
        while (Now() < next) Sleep(1);
    }
    if (installer) CloseHandle(installer);
    if (!done) {
        fprintf(stderr, "bench: %s: no completion message after the slow installer\n", NameOf(s));
    } else if (!installer_ended) {
        fprintf(stderr, "bench: %s: the package installer was not seen\n", NameOf(s));
    } else if (record) {
        const std::string name = NameOf(s);
        Record("lat.during." + name, worst[0]);
        Record("lost.during." + name, lost[0]);
        Record("pings.during." + name, pings[0]);
        Record("lat.after." + name, worst[1]);
        Record("lost.after." + name, lost[1]);
        Record("pings.after." + name, pings[1]);
    }
    End(child);
}

// ---- the report ------------------------------------------------------------------------------------

// `label` (UTF-8) padded to `width` columns of a terminal: East Asian characters take two.
std::string Pad(const char* label, int width) {
    std::string text(label);
    int columns = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        columns += length == 3 ? 2 : 1;
        i += length;
    }
    if (columns < width) text.append(width - columns, ' ');
    return text;
}

void Row(const char* label, const std::string& key, const char* unit) {
    if (g_emulated) return;
    const Stats s = StatsOf(key);
    if (s.n == 0) {
        printf("  %s %10s\n", Pad(label, 48).c_str(), "n/a");
        return;
    }
    printf("  %s %10.1f %10.1f %10.1f  %s (n=%d)\n", Pad(label, 48).c_str(), s.median, s.min, s.max, unit, s.n);
}

double Median(const std::string& key) { return StatsOf(key).n ? StatsOf(key).median : -1; }

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

void Ratio(const char* label, const std::string& num, const std::string& den) {
    const double a = Median(num), b = Median(den);
    if (a < 0 || b <= 0) {
        printf("  %s %10s\n", Pad(label, 48).c_str(), "n/a");
        return;
    }
    printf("  %s %10.2f\n", Pad(label, 48).c_str(), a / b);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_driver MEDIUM_FOLDER [RUNS [LATENCY_RUNS]]\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_tick_ms = 1000.0 / static_cast<double>(frequency.QuadPart);
    {
        const int n = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
        std::wstring medium(n, L'\0');
        MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, medium.data(), n);
        medium.resize(wcslen(medium.c_str()));
        if (medium.back() != L'\\') medium += L'\\';
        g_medium = medium;
    }
    g_verbose = getenv("BENCH_VERBOSE") && *getenv("BENCH_VERBOSE") == '1';
    g_emulated = getenv("BENCH_EMULATED") && *getenv("BENCH_EMULATED") == '1';
    if (const char* scale = getenv("SETUP_WAIT_SCALE"); scale && atoi(scale) >= 1 && atoi(scale) <= 100)
        g_wait_scale = static_cast<DWORD>(atoi(scale));
    const int runs = argc > 2 ? atoi(argv[2]) : 7;
    const int latency_runs = argc > 3 ? atoi(argv[3]) : 3;
    setvbuf(stdout, nullptr, _IONBF, 0);

    // Round-robin, so that a slow spell of the machine hits every program alike; the first round warms
    // Wine up (fonts, the desktop process, the file cache) and is not counted.
    const Subject start_subjects[] = {Subject::Setup, Subject::Bare, Subject::BareStyled, Subject::Peer};
    const Subject install_subjects[] = {Subject::Setup, Subject::Direct, Subject::Peer};
    const Subject latency_subjects[] = {Subject::Setup, Subject::Peer};
    // BENCH_ONLY=start, install or latency runs that part alone (when looking into one figure).
    const char* only = getenv("BENCH_ONLY");
    auto wanted = [only](const char* part) { return !only || !*only || strcmp(only, part) == 0; };
    if (wanted("start")) {
        fprintf(stderr, "bench: start-up, %d runs each\n", runs);
        for (int i = -1; i < runs; ++i)
            for (Subject s : start_subjects) MeasureStart(s, i >= 0);
    }
    if (wanted("install")) {
        fprintf(stderr, "bench: install, %d runs each\n", runs);
        for (int i = -1; i < runs; ++i)
            for (Subject s : install_subjects) MeasureInstall(s, i >= 0);
    }
    if (wanted("latency") && !g_emulated) {
        fprintf(stderr, "bench: responsiveness during an 8 s installer, %d runs each\n", latency_runs);
        for (int i = 0; i < latency_runs; ++i)
            for (Subject s : latency_subjects) MeasureLatency(s, true);
    }
    WaitQuiet();
    CleanInstallRoot();

    if (g_emulated)
        printf("\nTimings under Wine (32-bit builds, WoW64), emulated: ratios of the medians only\n");
    else
        printf("\n%-50s %10s %10s %10s\n", "Timings under Wine (32-bit builds, WoW64)", "median", "min", "max");
    printf("Start to first window visible\n");
    Row("setup.exe: menu visible", "start.setup", "ms");
    Row("bare_window.exe: its window visible", "start.bare", "ms");
    Row("NSIS peer: license page visible", "start.peer", "ms");
    Row("bare_window_styled.exe (setup.exe manifest)", "start.bare_styled", "ms");
    Ratio("ratio setup.exe / bare window", "start.setup", "start.bare");
    Ratio("ratio NSIS peer / bare window", "start.peer", "start.bare");
    Ratio("ratio styled bare window / bare window", "start.bare_styled", "start.bare");
    Ratio("ratio setup.exe / styled bare window", "start.setup", "start.bare_styled");
    printf("Click to completion message (installer exits at once)\n");
    Row("setup.exe: click on セットアップ", "install.setup", "ms");
    Row("direct_install.exe: click on セットアップ", "install.direct", "ms");
    Row("NSIS peer: click on 同意する", "install.peer", "ms");
    Ratio("ratio setup.exe / direct program", "install.setup", "install.direct");
    Ratio("ratio NSIS peer / direct program", "install.peer", "install.direct");
    if (g_emulated)
        printf("Message latency while an 8 s installer runs: in milliseconds, not measured under emulation\n");
    else
        printf("Worst message latency while an 8 s installer runs (WM_NULL every %lu ms, %u ms time-out)\n",
               static_cast<unsigned long>(kPingEveryMs), kPingTimeoutMs);
    Row("setup.exe: worst, installer running", "lat.during.setup", "ms");
    Row("setup.exe: pings lost, installer running", "lost.during.setup", "");
    Row("setup.exe: pings sent, installer running", "pings.during.setup", "");
    Row("setup.exe: worst, installer end to message", "lat.after.setup", "ms");
    Row("setup.exe: pings lost, end to message", "lost.after.setup", "");
    Row("setup.exe: pings sent, end to message", "pings.after.setup", "");
    Row("NSIS peer: worst, installer running", "lat.during.peer", "ms");
    Row("NSIS peer: pings lost, installer running", "lost.during.peer", "");
    Row("NSIS peer: pings sent, installer running", "pings.during.peer", "");
    Row("NSIS peer: worst, installer end to message", "lat.after.peer", "ms");
    Row("NSIS peer: pings lost, end to message", "lost.after.peer", "");
    Row("NSIS peer: pings sent, end to message", "pings.after.peer", "");
    printf("Peak working set\n");
    Row("setup.exe, at the completion message", "ws.setup", "MB");
    Row("direct_install.exe, at the completion message", "ws.direct", "MB");
    Row("NSIS peer, at the completion message", "ws.peer", "MB");
    Row("bare_window.exe, when its window shows", "startws.bare", "MB");
    if (g_emulated) {
        Ratio("ratio setup.exe / direct program", "ws.setup", "ws.direct");
        Ratio("ratio setup.exe / NSIS peer", "ws.setup", "ws.peer");
    }

    printf("\nTargets (setup.exe timings)\n");
    // The bare window carries setup.exe's manifest for the target: the manifest (common controls 6, which a
    // setup program with visual styles must declare) costs the same in any program that has it, and Wine spends
    // it resolving the common-controls assembly. The plain bare window's ratio is printed above as well.
    const double start_ratio = Median("start.setup") / Median("start.bare_styled");
    const double install_ratio = Median("install.setup") / Median("install.direct");
    const Stats lat = StatsOf("lat.during.setup"), lost = StatsOf("lost.during.setup");
    const Stats lat_after = StatsOf("lat.after.setup"), lost_after = StatsOf("lost.after.setup");
    if (StatsOf("start.setup").n && StatsOf("start.bare_styled").n)
        printf("  start-to-menu at most 1.3 x bare window (same manifest): %.2f x  %s\n", start_ratio,
               Verdict(start_ratio <= 1.3));
    if (StatsOf("install.setup").n && StatsOf("install.direct").n)
        printf("  click-to-completion at most 1.5 x direct program: %.2f x  %s\n", install_ratio,
               Verdict(install_ratio <= 1.5));
    if (g_emulated) printf("  worst latency while the installer runs: a target in milliseconds, not judged under emulation\n");
    if (lat.n)
        printf("  worst latency while the installer runs at most 30 ms, no ping lost: %.1f ms, %.0f lost  %s\n",
               lat.max, lost.max, Verdict(lat.max <= 30 && lost.max == 0));
    if (lat_after.n)
        printf("  the same from the installer's end to the message (no target): %.1f ms, %.0f lost  %s\n",
               lat_after.max, lost_after.max, lat_after.max <= 30 && lost_after.max == 0 ? "within" : "beyond");
    printf("Ahead of the NSIS peer (medians%s)\n", g_emulated ? ", ratio setup.exe / peer" : "");
    auto ahead = [](const char* label, const std::string& ours, const std::string& peer) {
        const double a = Median(ours), b = Median(peer);
        if (a < 0 || b < 0) return;
        if (g_emulated)
            printf("  %s %s (%.2f)\n", Pad(label, 48).c_str(), a <= b ? "ahead" : "BEHIND", b > 0 ? a / b : 0.0);
        else
            printf("  %s %s (%.1f vs %.1f)\n", Pad(label, 48).c_str(), a <= b ? "ahead" : "BEHIND", a, b);
    };
    ahead("start to first window", "start.setup", "start.peer");
    ahead("click to completion", "install.setup", "install.peer");
    ahead("worst latency, installer running", "lat.during.setup", "lat.during.peer");
    ahead("worst latency, installer end to message", "lat.after.setup", "lat.after.peer");
    ahead("peak working set", "ws.setup", "ws.peer");
    return 0;
}
