// A top-level window of the program built from its design table, with the window operations the flow relies
// on: load, show, hide and unload.
//
// It is a dialog: the dialog manager moves the focus on Tab, Shift+Tab and the arrows, presses the focused button
// on Enter and gives the window its focus back when it is activated again. Every control is a real child window
// whose text is its caption, so screen readers and UI automation read what the user sees. Positions, sizes and
// fonts are scaled to the window's DPI and laid out again when it changes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "core/design/layout.h"
#include "core/platform.h"
#include "win32/handles.h"

namespace setup {

// What a window asks of the program it belongs to. While the program is busy, no window of it closes (its close
// box, Alt+F4, or WM_CLOSE from another program to a hidden one), none lets the session end, and no button of it
// acts, however the click comes (a BM_CLICK posted by another program, say).
class FormHost {
public:
    virtual bool Busy() const = 0;

protected:
    ~FormHost() = default;
};

class Form {
public:
    // A failure the window goes on without (an icon, a picture or a font it cannot make) is noted on `platform`.
    Form(const WindowDesign& design, const FormHost& host, Platform& platform);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Creates the window and its controls the first time and runs Form_Load once; later calls do nothing.
    // A window the system cannot create is not loaded (nothing of it is left), and Form_Load does not run.
    Status Load();
    // Loads if needed, then makes the window visible, modeless and active. The failure is that of a window
    // that cannot be loaded, which is not shown.
    Status Show();
    // Makes the window invisible; it keeps everything it shows.
    void Hide();
    // Runs Form_Unload, then destroys the window.
    void Unload();

    const WindowDesign& design() const { return design_; }
    bool IsVisible() const;
    HWND hwnd() const { return hwnd_; }
    HWND Child(int id) const { return GetDlgItem(hwnd_, id); }
    void SetCaption(const std::wstring& text);
    void SetText(int id, const std::wstring& text);

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

    const WindowDesign& design_;
    const FormHost& host_;
    Platform& platform_;
    std::map<int, win32::UniqueBitmap> pictures_;
    using FontKey = std::tuple<std::wstring, int, bool, bool, int>;  // face, points x 100, bold, italic, dpi
    std::map<FontKey, win32::UniqueFont> fonts_;
    std::map<std::uint32_t, win32::UniqueBrush> brushes_;
    HWND hwnd_ = nullptr;  // destroyed by Unload or ~Form, before what it draws with
    int dpi_ = 96;
};

}  // namespace setup
