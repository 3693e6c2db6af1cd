// The terms text in the real terms window: every hand-cut line must stay on one visual line of its text box.
//
// The window is made as setup.exe makes it (per-monitor DPI aware, not shown) and laid out again for each DPI
// through WM_DPICHANGED, the path a move to another monitor takes. Each line of the box's own text is measured
// in the box's own font and compared with the width of the box's formatting rectangle.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/design/agreement_design.h"
#include "core/texts.h"
#include "support/utf8.h"
#include "win32/win32_platform.h"
#include "windows/agreement/frm_kyodaku.h"
#include "windows/forms.h"

namespace {

template <class Fn>
Fn User32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

// Windows made on this thread while it lives are per-monitor DPI aware, as setup.exe's manifest makes its
// windows (version 2 where the system has it).
class PerMonitorAwareThread {
public:
    PerMonitorAwareThread() {
        if (!set_) return;
        previous_ = set_(reinterpret_cast<HANDLE>(-4));                  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
        if (!previous_) previous_ = set_(reinterpret_cast<HANDLE>(-3));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE
    }
    ~PerMonitorAwareThread() {
        if (previous_) set_(previous_);
    }
    PerMonitorAwareThread(const PerMonitorAwareThread&) = delete;
    PerMonitorAwareThread& operator=(const PerMonitorAwareThread&) = delete;

private:
    using SetContext = HANDLE(WINAPI*)(HANDLE);
    const SetContext set_ = User32<SetContext>("SetThreadDpiAwarenessContext");
    HANDLE previous_ = nullptr;
};

// The terms window alone: no test here goes on to another window.
class NoOtherWindows : public setup::ProgramWindows {
    setup::ProgramWindow& frmMain() override { std::abort(); }
    setup::ProgramWindow& frmKyodaku() override { std::abort(); }
    setup::ProgramWindow& frmRudIze() override { std::abort(); }
};

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND ChildOfClass(HWND parent, const wchar_t* class_name) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        ::GetClassNameW(child, name, 32);
        if (_wcsicmp(name, class_name) == 0) return child;
    }
    return nullptr;
}

// Lays the window out for `dpi` as it does when Windows moves it to a monitor of that DPI. The frame it is
// given is kept as it is: only the controls matter here.
void LayOutFor(HWND window, int dpi) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
}

struct TextArea {
    int width = 0;   // pixels a line may take before the box wraps it
    int margin = 0;  // room kept free on top of that
};

// The width of the box's formatting rectangle, less what its scroll bar would take beyond what it takes here.
// Windows gives a per-monitor aware window the scroll bar of the window's DPI; Wine gives it the bar of the
// system DPI whatever DPI the window is laid out for, which makes the text area too wide at any other DPI.
//
// The margin is one full-width character (the font's em): the IPA gothic here stands in for the ＭＳ Ｐゴシック
// of a Japanese Windows, whose kana and punctuation are a pixel or so wider or narrower here and there.
TextArea TextAreaOf(HWND edit, HDC dc, int dpi) {
    RECT format{};
    ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    RECT window{}, client{};
    ::GetWindowRect(edit, &window);
    ::GetClientRect(edit, &client);
    const int bar = (window.right - window.left) - (client.right - client.left);
    using MetricsForDpi = int(WINAPI*)(int, UINT);
    static const auto for_dpi = User32<MetricsForDpi>("GetSystemMetricsForDpi");
    const int system_bar = for_dpi ? for_dpi(SM_CXVSCROLL, static_cast<UINT>(dpi)) : ::GetSystemMetrics(SM_CXVSCROLL);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    return {static_cast<int>(format.right - format.left) - std::max(0, system_bar - bar),
            static_cast<int>(metrics.tmHeight - metrics.tmInternalLeading)};
}

TEST(TermsWindowTest, EveryHandCutLineFitsTheTextBox) {
    PerMonitorAwareThread aware;
    setup::Win32Platform platform;  // where a window that cannot be made is reported
    const setup::PayloadRecords records;
    setup::InstallRun run;
    NoOtherWindows windows;
    setup::FrmKyodaku terms({platform, records, run, windows});
    ASSERT_TRUE(terms.Load().ok());
    HWND edit = ChildOfClass(terms.hwnd(), L"Edit");
    ASSERT_NE(edit, nullptr) << "the terms window has no text box";
    const std::wstring text = WindowText(edit);
    ASSERT_EQ(text, setup::TermsText()) << "the box does not show the terms text";
    const std::vector<std::wstring> lines = SplitCrLf(text);

    for (int dpi : {96, 120, 144, 192}) {
        LayOutFor(terms.hwnd(), dpi);
        const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(edit, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        HDC dc = ::GetDC(edit);
        const HGDIOBJ old = ::SelectObject(dc, font);
        const TextArea area = TextAreaOf(edit, dc, dpi);
        const int limit = area.width - area.margin;
        int widest = 0;
        int widest_line = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            SIZE size{};
            ::GetTextExtentPoint32W(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &size);
            if (size.cx > widest) {
                widest = size.cx;
                widest_line = static_cast<int>(i + 1);
            }
            if (size.cx > limit) {
                ADD_FAILURE() << "at " << dpi << " dpi line " << i + 1 << " would wrap: " << size.cx << " px, "
                              << size.cx - limit << " px over the " << limit << " px a line may take (" << area.width
                              << " px of text area less " << area.margin << " px margin): " << ToUtf8(lines[i]);
            }
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(edit, dc);
        std::printf("      %d dpi: text area %d px, margin %d px, widest line %d at %d px (%d px to spare)\n", dpi,
                    area.width, area.margin, widest_line, widest, limit - widest);
        // The box's own verdict with the font it has here: no line wrapped a second time.
        EXPECT_EQ(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0), static_cast<LRESULT>(lines.size()))
            << "visual lines of the box at " << dpi << " dpi";
    }
}

// Posts a key to `target` as typed, and hands the window's messages to the dialog manager as setup.exe's message
// loop does, until none is left.
void PressKey(HWND window, HWND target, UINT key) {
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (::IsDialogMessageW(window, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The terms window, but a close only counts as one instead of ending the test program.
class TermsWindow : public setup::FrmKyodaku {
public:
    using FrmKyodaku::FrmKyodaku;
    bool closed = false;

protected:
    void Form_Unload() override { closed = true; }
};

bool DrawnAsDefault(HWND button) { return (::GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

// The window has no default button: the focused button is the one Enter presses and is drawn so, however it got
// the focus, and with the focus in the text box or in another window none is. Esc does nothing, in the text box
// too (a multi-line text box in a dialog would close its window).
TEST(TermsWindowTest, TheFocusedButtonIsTheDefaultAndEscDoesNothing) {
    using namespace setup::agreement_design;
    setup::Win32Platform platform;
    const setup::PayloadRecords records;
    setup::InstallRun run;
    NoOtherWindows windows;
    TermsWindow terms({platform, records, run, windows});
    ASSERT_TRUE(terms.Show().ok());
    HWND window = terms.hwnd(), decline = terms.Child(kDecline), agree = terms.Child(kAgree), box = terms.Child(kTerms);
    EXPECT_EQ(::GetFocus(), decline);
    EXPECT_TRUE(DrawnAsDefault(decline));
    EXPECT_FALSE(DrawnAsDefault(agree));

    PressKey(window, decline, VK_TAB);
    EXPECT_EQ(::GetFocus(), agree);
    EXPECT_TRUE(DrawnAsDefault(agree));
    EXPECT_FALSE(DrawnAsDefault(decline));
    PressKey(window, agree, VK_TAB);
    ASSERT_EQ(::GetFocus(), box);
    EXPECT_FALSE(DrawnAsDefault(decline) || DrawnAsDefault(agree));

    PressKey(window, box, VK_ESCAPE);
    ASSERT_FALSE(terms.closed) << "Esc in the text box closed its window";
    EXPECT_EQ(::GetFocus(), box);
    PressKey(window, box, VK_TAB);  // the box passes Tab on to the dialog manager
    EXPECT_EQ(::GetFocus(), decline);
    EXPECT_TRUE(DrawnAsDefault(decline));

    ::SetFocus(agree);  // as a click gives it, past the dialog manager
    EXPECT_TRUE(DrawnAsDefault(agree));
    EXPECT_FALSE(DrawnAsDefault(decline));

    // Left for another window, it shows no default; back, its button has the focus and the mark again.
    HWND other =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    ::SetForegroundWindow(other);
    ::SetActiveWindow(other);
    EXPECT_NE(::GetActiveWindow(), window);
    EXPECT_FALSE(DrawnAsDefault(agree));
    ::DestroyWindow(other);
    ASSERT_TRUE(terms.Show().ok());
    EXPECT_EQ(::GetFocus(), agree);
    EXPECT_TRUE(DrawnAsDefault(agree));
}

}  // namespace
