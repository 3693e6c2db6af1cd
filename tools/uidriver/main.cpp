// uidriver.exe: the demo's driver. `uidriver demo <setup.exe> <shot-request-dir>` clicks through the whole
// flow and asks for a screenshot of each window; what it does goes to stdout as UTF-8. Exit code 0 when the
// flow went through, 1 when a window or message did not come, 2 on a usage error.
#include "support/uidriver.h"

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

// The whole flow, with a picture of each window before it is left.
int Demo(const std::wstring& setup, const std::wstring& shots) {
    const std::wstring kInstall = L"「ホルンデ」サンプル版のセットアップ";
    int step = 0;
    // A window may be on screen before it has painted all of itself: its pending painting is done first (the
    // paint messages are sent to its thread, and RedrawWindow returns once they are handled).
    auto shot = [&](const std::wstring& what, HWND window = nullptr) {
        if (window) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
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
    shot(L"menu", menu);
    ClickButton(menu, kInstall);

    HWND terms = WaitWindow(p.pid(), L"同意する", kWindowTimeoutMs);
    if (!terms) return fail(L"terms window did not appear", p);
    shot(L"terms", terms);
    ClickButton(terms, L"同意する");

    HWND progress = WaitWindow(p.pid(), L"ｷｬﾝｾﾙ", kWindowTimeoutMs);
    if (!progress) return fail(L"progress window did not appear", p);
    shot(L"progress", progress);
    ClickButton(progress, L"セットアップ");

    // Answer every box (Yes to the question about an existing installation) until the menu is back.
    for (;;) {
        MessageBoxInfo m;
        if (!WaitMessageBox(p.pid(), kMessageTimeoutMs, &m)) return fail(L"no outcome message", p);
        Out(L"message: " + Escape(m.text));
        const bool question = m.buttons.size() == 2;
        shot(question ? L"question" : L"message", m.hwnd);
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
    shot(L"menu-again", menu);
    ClickButton(menu, L"終了");
    DWORD code = 0;
    if (!p.WaitExit(kExitTimeoutMs, &code)) return fail(L"program did not end", p);
    Out(L"exit=" + std::to_wstring(code));
    return 0;
}

int Usage() {
    Err(L"usage: uidriver demo <setup.exe> <shot-request-dir>");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc == 4 && std::wstring(argv[1]) == L"demo") return Demo(argv[2], argv[3]);
        return Usage();
    } catch (const std::exception& e) {
        Err(L"uidriver: " + FromUtf8(e.what()));
        return 2;
    }
}
