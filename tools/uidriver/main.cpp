// uidriver.exe: the UI driver for scripts. One subcommand per call; results go to stdout as UTF-8,
// one "key=value" per line where there is more than one value. Exit code 0 on success, 1 when a wait
// timed out or the thing looked for is not there, 2 on a usage error.
#include "uidriver.h"

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>
#include <vector>

using namespace uidriver;

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;
constexpr DWORD kMessageTimeoutMs = 90000;
constexpr DWORD kExitTimeoutMs = 20000;
constexpr DWORD kShotTimeoutMs = 15000;

void Out(const std::wstring& line) {
    std::string bytes = ToUtf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Err(const std::wstring& line) {
    std::string bytes = ToUtf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Hex(const void* p) {
    wchar_t buf[32];
    swprintf(buf, 32, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

std::wstring RectText(const RECT& r) {
    wchar_t buf[64];
    swprintf(buf, 64, L"%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return buf;
}

DWORD ParseNumber(const wchar_t* s) { return static_cast<DWORD>(wcstoul(s, nullptr, 0)); }
HWND ParseHwnd(const wchar_t* s) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(s, nullptr, 0))); }

void PrintMessageBox(const MessageBoxInfo& m) {
    Out(L"hwnd=" + Hex(m.hwnd));
    Out(L"title=" + Escape(m.title));
    Out(L"text=" + Escape(m.text));
    std::wstring buttons;
    for (const auto& [id, text] : m.buttons)
        buttons += (buttons.empty() ? L"" : L",") + std::to_wstring(id) + L":" + Escape(text);
    Out(L"buttons=" + buttons);
    Out(L"default=" + std::to_wstring(m.defaultButton));
    Out(L"focused=" + std::to_wstring(m.focusedButton));
    Out(std::wstring(L"icon=") + IconName(m.icon));
}

int PrintControls(HWND top) {
    if (!Exists(top)) {
        Err(L"no such window");
        return 1;
    }
    WindowInfo w = Describe(top);
    Out(L"window=" + Hex(top) + L"\tclass=" + w.cls + L"\tcaption=" + Escape(w.caption) + L"\tclient=" +
        RectText(w.client) + L"\tvisible=" + (w.visible ? L"1" : L"0") + L"\tenabled=" + (w.enabled ? L"1" : L"0"));
    for (const Control& c : Controls(top))
        Out(Hex(c.hwnd) + L"\tclass=" + c.cls + L"\tid=" + std::to_wstring(c.id) + L"\trect=" + RectText(c.rect) +
            L"\tvisible=" + (c.visible ? L"1" : L"0") + L"\tenabled=" + (c.enabled ? L"1" : L"0") + L"\tfocused=" +
            (c.focused ? L"1" : L"0") + L"\ttext=" + Escape(c.text.substr(0, 200)));
    return 0;
}

int PrintAccessible(HWND hwnd) {
    // COM for oleacc's objects; this process does nothing else.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const AccessibleInfo a = ReadAccessible(hwnd);
    if (SUCCEEDED(com)) CoUninitialize();
    if (FAILED(a.hr)) {
        wchar_t buf[64];
        swprintf(buf, 64, L"AccessibleObjectFromWindow failed: 0x%08lx", static_cast<unsigned long>(a.hr));
        Err(buf);
        return 1;
    }
    Out(L"name=" + (a.hasName ? Escape(a.name) : L"(none)"));
    Out(L"value=" + (a.hasValue ? Escape(a.value.substr(0, 200)) : L"(none)"));
    Out(L"role=" + (a.hasRole ? RoleName(a.role) : L"(none)"));
    Out(L"state=" + Hex(reinterpret_cast<void*>(static_cast<uintptr_t>(a.state))));
    return 0;
}

// The whole flow, with a picture of each window before it is left.
int Demo(const std::wstring& setup, const std::wstring& shots) {
    const std::wstring kInstall = L"「ホルンデ」サンプル版のセットアップ";
    int step = 0;
    auto shot = [&](const std::wstring& what) {
        wchar_t name[64];
        swprintf(name, 64, L"%02d-", ++step);
        bool served = RequestScreenshot(shots, name + what, kShotTimeoutMs);
        Out(L"shot " + std::wstring(name) + what + (served ? L" taken" : L" NOT TAKEN (no watcher?)"));
        return served;
    };
    auto fail = [&](const std::wstring& why, const Process& p) {
        Err(L"demo: " + why);
        shot(L"failure");
        p.Kill();
        return 1;
    };

    Process p = Process::Start(setup);
    Out(L"pid=" + std::to_wstring(p.pid()));
    HWND menu = WaitWindow(p.pid(), kInstall, kWindowTimeoutMs);
    if (!menu) return fail(L"menu did not appear", p);
    shot(L"menu");
    ClickButton(menu, kInstall);

    HWND terms = WaitWindow(p.pid(), L"同意する", kWindowTimeoutMs);
    if (!terms) return fail(L"terms window did not appear", p);
    shot(L"terms");
    ClickButton(terms, L"同意する");

    HWND progress = WaitWindow(p.pid(), L"ｷｬﾝｾﾙ", kWindowTimeoutMs);
    if (!progress) return fail(L"progress window did not appear", p);
    shot(L"progress");
    ClickButton(progress, L"セットアップ");

    // Answer every box (Yes to the question about an existing installation) until the menu is back.
    for (;;) {
        MessageBoxInfo m;
        if (!WaitMessageBox(p.pid(), kMessageTimeoutMs, &m)) return fail(L"no outcome message", p);
        Out(L"message: " + Escape(m.text));
        const bool question = m.buttons.size() == 2;
        shot(question ? L"question" : L"message");
        AnswerMessageBox(m.hwnd, question ? IDYES : m.buttons.front().first);
        bool menu_back = false;
        const bool settled = WaitUntil(
            [&] {
                if (IsVisible(m.hwnd)) return false;
                menu_back = FindWindowByButton(p.pid(), kInstall, true) != nullptr;
                return menu_back || !MessageBoxes(p.pid()).empty();
            },
            kMessageTimeoutMs);
        if (!settled) return fail(L"neither another message nor the menu after a message", p);
        if (menu_back) break;
    }
    menu = WaitWindow(p.pid(), kInstall, kWindowTimeoutMs);
    if (!menu) return fail(L"menu did not come back", p);
    shot(L"menu-again");
    ClickButton(menu, L"終了");
    DWORD code = 0;
    if (!p.WaitExit(kExitTimeoutMs, &code)) return fail(L"program did not end", p);
    Out(L"exit=" + std::to_wstring(code));
    return 0;
}

int Usage() {
    Err(L"usage: uidriver start <exe> [VAR=value ...]\n"
        L"       uidriver wait-window <pid> <button text> [timeout_ms]\n"
        L"       uidriver click <pid> <button text>\n"
        L"       uidriver wait-message <pid> [timeout_ms]\n"
        L"       uidriver answer <pid> <button id>\n"
        L"       uidriver wait-exit <pid> [timeout_ms]\n"
        L"       uidriver controls <hwnd>\n"
        L"       uidriver accessible <hwnd>\n"
        L"       uidriver demo <setup.exe> <shot-request-dir>\n"
        L"       uidriver shot <dir> <name>");
    return 2;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring cmd = argv[1];
    auto timeout_arg = [&](int i, DWORD def) { return argc > i ? ParseNumber(argv[i]) : def; };

    if (cmd == L"start" && argc >= 3) {
        std::vector<std::wstring> env(argv + 3, argv + argc);
        Process p = Process::Start(argv[2], env);
        Out(std::to_wstring(p.pid()));
        return 0;
    }
    if (cmd == L"wait-window" && argc >= 4) {
        HWND h = WaitWindow(ParseNumber(argv[2]), argv[3], timeout_arg(4, kWindowTimeoutMs));
        if (!h) {
            Err(L"timed out");
            return 1;
        }
        Out(Hex(h));
        return 0;
    }
    if (cmd == L"click" && argc >= 4) {
        HWND top = FindWindowByButton(ParseNumber(argv[2]), argv[3], true);
        if (!top || !ClickButton(top, argv[3])) {
            Err(L"no visible window with that button");
            return 1;
        }
        return 0;
    }
    if (cmd == L"wait-message" && argc >= 3) {
        MessageBoxInfo m;
        if (!WaitMessageBox(ParseNumber(argv[2]), timeout_arg(3, kMessageTimeoutMs), &m)) {
            Err(L"timed out");
            return 1;
        }
        PrintMessageBox(m);
        return 0;
    }
    if (cmd == L"answer" && argc >= 4) {
        auto boxes = MessageBoxes(ParseNumber(argv[2]));
        if (boxes.empty() || !AnswerMessageBox(boxes.front(), static_cast<int>(ParseNumber(argv[3])))) {
            Err(L"no message box with that button");
            return 1;
        }
        return 0;
    }
    if (cmd == L"wait-exit" && argc >= 3) {
        const DWORD pid = ParseNumber(argv[2]);
        Process p = Process::Open(pid);
        if (!p.valid()) {
            // Gone before we looked: its exit code went with its last handle.
            Out(L"exited (code unavailable)");
            return 0;
        }
        DWORD code = 0;
        if (!p.WaitExit(timeout_arg(3, kExitTimeoutMs), &code)) {
            Err(L"timed out");
            return 1;
        }
        Out(std::to_wstring(code));
        return 0;
    }
    if (cmd == L"controls" && argc >= 3) return PrintControls(ParseHwnd(argv[2]));
    if (cmd == L"accessible" && argc >= 3) return PrintAccessible(ParseHwnd(argv[2]));
    if (cmd == L"demo" && argc >= 4) return Demo(argv[2], argv[3]);
    if (cmd == L"shot" && argc >= 4) {
        bool ok = RequestScreenshot(argv[2], argv[3], kShotTimeoutMs);
        if (!ok) Err(L"screenshot request not served");
        return ok ? 0 : 1;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        Err(L"uidriver: " + FromUtf8(e.what()));
        return 2;
    }
}
