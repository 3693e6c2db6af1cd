// A small driver for the user interface of another Win32 process: it finds that process's windows by
// their buttons, reads controls and message boxes, and sends the messages a user's actions would.
// Every wait polls with short sleeps up to a bound, so a slow machine only makes a run slower.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/utf8.h"
#include "win32/handles.h"

namespace uidriver {

// Every bound on a wait here is stretched by the whole number in SETUP_WAIT_SCALE (1 when unset or not a number
// from 1 to 100). The scripts set it where Wine runs under software emulation, many times slower: the bounds
// stay bounds, and a run that passes natively passes there. Scaled() stretches a bound of the caller's alike.
DWORD WaitScale();
DWORD Scaled(DWORD ms);

// Polls `done` every `poll_ms` until it returns true or `timeout_ms` (scaled) has passed; true when it held.
bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms, DWORD poll_ms = 25);

// ---- Processes -----------------------------------------------------------------------------------

class Process {
public:
    Process() = default;
    // Starts `exe` with the current environment plus `env` (NAME=value entries override or add),
    // in `cwd` (the program's own folder when empty), with `arguments` after the quoted program path.
    // Throws std::runtime_error on failure.
    static Process Start(const std::wstring& exe, const std::vector<std::wstring>& env = {},
                         const std::wstring& cwd = L"", const std::wstring& arguments = L"");

    DWORD pid() const { return pid_; }
    bool valid() const { return static_cast<bool>(process_); }
    bool Running() const;
    // Waits for the end, at most `timeout_ms` (scaled); true and the exit code when it ended.
    bool WaitExit(DWORD timeout_ms, DWORD* exit_code = nullptr) const;
    // Ends the process if it still runs and waits briefly for it to go.
    void Kill() const;

private:
    setup::win32::UniqueHandle process_;
    DWORD pid_ = 0;
};

// ---- Windows and controls ------------------------------------------------------------------------

struct Control {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring cls;
    std::wstring text;
    RECT rect{};  // in the client coordinates of the top-level window
    LONG style = 0;
    bool visible = false;
    bool enabled = false;
    bool focused = false;
};

// Top-level windows of the process, in z-order (visible and hidden).
std::vector<HWND> TopLevelWindows(DWORD pid);
// The top-level window of `pid` that has a BUTTON child reading `button_text`; null when none.
HWND FindWindowByButton(DWORD pid, const std::wstring& button_text, bool visible_only = true);
// Waits for a visible such window; null on time-out.
HWND WaitWindow(DWORD pid, const std::wstring& button_text, DWORD timeout_ms);

// All descendants of `top`, in creation order, with focus taken from `top`'s GUI thread.
std::vector<Control> Controls(HWND top);
// A child of `top` with that class (case-insensitive) and, when `text` is not null, that exact text.
HWND FindChild(HWND top, const std::wstring& cls, const wchar_t* text = nullptr);
HWND FindButton(HWND top, const std::wstring& text);

// The window text of any window of any process (WM_GETTEXT, so the whole of an EDIT's content).
std::wstring Text(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
// The control that has the keyboard focus in the GUI thread owning `hwnd`; null when none.
HWND FocusedWindow(HWND hwnd);
bool IsVisible(HWND hwnd);
bool Exists(HWND hwnd);

// Clicks a button as BM_CLICK posted to it (the program's message loop delivers it).
bool ClickButton(HWND button);
bool ClickButton(HWND top, const std::wstring& text);
// Clicks with the mouse (SendInput at the centre of the window): honours disabled windows the way a
// user's click does.
bool MouseClick(HWND hwnd);
// Closes a top-level window the way its close box does (WM_SYSCOMMAND SC_CLOSE), or with WM_CLOSE.
bool CloseBySysCommand(HWND top);
bool CloseByMessage(HWND top);

// Keys, posted to `target` (normally the focused control) through the program's message loop.
// `ch` is the character WM_CHAR carries, 0 for keys that produce none.
void PressKey(HWND target, UINT vk, wchar_t ch = 0);
void TypeChar(HWND target, wchar_t ch);
// Keys typed as a user types them (SendInput): `modifiers` held down (e.g. VK_SHIFT) around one press of `vk`.
// The input goes to the foreground window, so `top` is brought to the front first; false when it could not
// be, or when the system refused the input.
bool TypeKeys(HWND top, const std::vector<WORD>& modifiers, WORD vk);
// Ctrl+<letter>: the key downs and ups and the control character (e.g. 0x16 for Ctrl+V).
void PressCtrl(HWND target, wchar_t letter);
// Places `text` on the clipboard (so a paste has something to insert).
bool SetClipboardText(const std::wstring& text);

// EDIT controls.
int FirstVisibleLine(HWND edit);
void ScrollLines(HWND edit, int lines);  // EM_LINESCROLL

// Progress bar position (PBM_GETPOS).
int ProgressPos(HWND bar);

// Answers WM_NULL within `timeout_ms` (scaled)?  The time it took goes to `elapsed_ms`.
bool Responds(HWND hwnd, UINT timeout_ms, double* elapsed_ms = nullptr);

// ---- Accessibility --------------------------------------------------------------------------------

// What a screen reader gets for a window through standard accessibility (AccessibleObjectFromWindow with
// OBJID_CLIENT, then the object itself, CHILDID_SELF). Needs COM initialised on the calling thread.
struct AccessibleInfo {
    HRESULT hr = E_FAIL;  // of AccessibleObjectFromWindow
    bool hasName = false, hasValue = false, hasRole = false;
    std::wstring name;
    std::wstring value;
    long role = 0;
    long state = 0;
};
AccessibleInfo ReadAccessible(HWND hwnd);
// A role as its ROLE_SYSTEM_ name (without the prefix), e.g. "PUSHBUTTON"; the number when unknown.
std::wstring RoleName(long role);

// ---- Message boxes -------------------------------------------------------------------------------

enum class IconKind { None, Warning, Information, Question, Error, Unknown };

struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring title;
    std::wstring text;
    std::vector<std::pair<int, std::wstring>> buttons;  // id, text of the visible buttons
    IconKind icon = IconKind::None;
    int defaultButton = 0;  // id of the button with BS_DEFPUSHBUTTON, 0 when none
    int focusedButton = 0;  // id of the focused button, 0 when none
};

// Visible message boxes (#32770) of the process.
std::vector<HWND> MessageBoxes(DWORD pid);
MessageBoxInfo ReadMessageBox(HWND box);
// Waits for a visible message box of the process and reads it; false on time-out.
bool WaitMessageBox(DWORD pid, DWORD timeout_ms, MessageBoxInfo* info);
// Presses the button with that id (WM_COMMAND to the box, as the button's click sends).
bool AnswerMessageBox(HWND box, int button_id);
// Identifies the icon a message box shows; see the .cpp for how.
IconKind MessageBoxIcon(HWND box);

// ---- Screenshot requests -------------------------------------------------------------------------

// Writes `<dir>\<name>.request` and waits, at most `timeout_ms`, until a watcher outside the
// program has taken the picture and removed the request.  True when it was served.
bool RequestScreenshot(const std::wstring& dir, const std::wstring& name, DWORD timeout_ms = 15000);

// ---- Text helpers --------------------------------------------------------------------------------

// Makes CR, LF and other control characters visible (\r, \n, \xNN), for printing texts exactly.
std::wstring Escape(const std::wstring& s);

}  // namespace uidriver
