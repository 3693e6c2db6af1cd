// A top-level window of the program built from its design table, with the five window operations the flow
// relies on: load, show, hide, unload and end; and the hold the program keeps on the session and its windows
// while the install sequence runs.
//
// Every control is a real child window whose text is its caption, so screen readers and UI automation read
// what the user sees. Positions, sizes and fonts are scaled to the window's DPI and laid out again when it
// changes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/design/layout.h"
#include "core/platform.h"
#include "win32/handles.h"

namespace setup {

// Held while the install sequence runs. Windows is asked to wait with log-off and shutdown (showing `reason`
// where it can), every window of the program answers WM_QUERYENDSESSION with FALSE, and none of them can be
// closed: a close that came in the middle of a step would end the program there. All this stops with the hold.
class SessionHold {
public:
    SessionHold(HWND window, const std::wstring& reason);
    ~SessionHold();
    SessionHold(const SessionHold&) = delete;
    SessionHold& operator=(const SessionHold&) = delete;

    static bool Held() { return held_ > 0; }

private:
    HWND window_;
    bool reason_shown_;
    static int held_;
};

class Form {
public:
    // Error reports (a window that cannot be created) go through `platform`.
    Form(const WindowDesign& design, Platform& platform);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window and its controls the first time and runs Form_Load once; later calls do nothing.
    // A window the system cannot create is not loaded (nothing of it is left), and Form_Load does not run.
    Status Load();
    // Loads if needed, then makes the window visible, modeless and active. A window that cannot be loaded
    // ends the program, after an error report that says why: an elevated program without a window to show
    // would otherwise wait, invisible, for ever.
    void Show();
    // Makes the window invisible; it keeps everything it shows.
    void Hide();
    // Runs Form_Unload, then destroys the window.
    void Unload();
    // Shows `next`, then hides this window, so that one window is always on screen.
    void SwitchTo(Form& next);

    bool IsVisible() const;
    HWND hwnd() const { return hwnd_; }
    HWND Child(int id) const;
    void SetCaption(const std::wstring& text);
    void SetText(int id, const std::wstring& text);

    // Keyboard handling the program's message loop gives each form: Tab and Shift+Tab move the focus in tab
    // order, Enter presses the focused button, Esc does nothing (no window has a default or cancel button).
    // Returns true when the message was used.
    bool PreTranslate(const MSG& msg);

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    // A button was pressed.
    virtual void OnClick(int /*id*/) {}
    // Messages a form handles beyond the common ones (WM_TIMER, ...). Return true when handled.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/, LRESULT& /*result*/) {
        return false;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    Status Create();
    void LayOut(int dpi);
    HFONT FontFor(const Font& font, int dpi);
    HBRUSH BrushFor(std::uint32_t colour);
    const Control* ControlOf(HWND child) const;
    void DrawImage(const DRAWITEMSTRUCT& item);
    void MarkDefault(HWND focused);

    const WindowDesign& design_;
    Platform& platform_;
    std::map<int, win32::UniqueBitmap> pictures_;
    using FontKey = std::tuple<std::wstring, int, bool, bool, int>;  // face, points x 100, bold, italic, dpi
    std::map<FontKey, win32::UniqueFont> fonts_;
    std::map<std::uint32_t, win32::UniqueBrush> brushes_;
    HWND hwnd_ = nullptr;  // destroyed by Unload or ~Form, before what it draws with
    HWND last_focus_ = nullptr;
    int dpi_ = 96;
    std::map<int, HWND> children_;  // destroyed with the window
};

// Stops the whole program at once: no further handler of any window runs.
[[noreturn]] void EndProgram(UINT exit_code = 0);

}  // namespace setup
