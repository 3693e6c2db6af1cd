#include "support/uidriver.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <stdexcept>

namespace uidriver {

namespace {

// Cross-process sends are bounded, so a hung program fails a check instead of hanging the driver.
constexpr UINT kSendTimeoutMs = 5000;

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    // SMTO_ABORTIFHUNG gives up at once on a thread that has not looked at its queue for five seconds. Under
    // emulation a busy thread easily takes that long, so there the stretched bound alone decides.
    const UINT flags = SMTO_BLOCK | (WaitScale() == 1 ? SMTO_ABORTIFHUNG : 0);
    LRESULT r = SendMessageTimeoutW(hwnd, msg, wp, lp, flags, Scaled(kSendTimeoutMs), &result);
    if (ok) *ok = r != 0;
    return static_cast<LRESULT>(result);
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

DWORD OwnerPid(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

std::vector<HWND> Descendants(HWND top) {
    std::vector<HWND> out;
    EnumChildWindows(top, CollectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

struct TopLevelQuery {
    DWORD pid;
    std::vector<HWND> out;
};

BOOL CALLBACK CollectTopLevel(HWND h, LPARAM lp) {
    auto* q = reinterpret_cast<TopLevelQuery*>(lp);
    if (OwnerPid(h) == q->pid) q->out.push_back(h);
    return TRUE;
}

// The environment block for CreateProcessW: the current one with `extra` entries replacing or
// adding variables. Windows wants it sorted case-insensitively by name.
std::wstring BuildEnvironment(const std::vector<std::wstring>& extra) {
    std::map<std::wstring, std::wstring, bool (*)(const std::wstring&, const std::wstring&)> vars(
        [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    std::vector<std::wstring> drive_vars;  // "=C:=C:\..." entries keep their place at the front
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
            std::wstring entry = p;
            if (entry[0] == L'=') {
                drive_vars.push_back(entry);
                continue;
            }
            auto eq = entry.find(L'=');
            if (eq == std::wstring::npos) continue;
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& entry : extra) {
        auto eq = entry.find(L'=');
        if (eq == std::wstring::npos || eq == 0)
            throw std::runtime_error("environment entry without NAME=: " + ToUtf8(entry));
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    std::wstring out;
    for (const auto& d : drive_vars) out += d + L'\0';
    for (const auto& [name, value] : vars) out += name + L'=' + value + L'\0';
    out += L'\0';
    return out;
}

std::wstring FolderOf(const std::wstring& path) {
    auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

DWORD WaitScale() {
    static const DWORD scale = [] {
        wchar_t text[8];
        const DWORD n = GetEnvironmentVariableW(L"SETUP_WAIT_SCALE", text, 8);
        if (n == 0 || n >= 8) return 1ul;
        wchar_t* end = nullptr;
        const unsigned long value = wcstoul(text, &end, 10);
        return *end == L'\0' && value >= 1 && value <= 100 ? value : 1ul;
    }();
    return scale;
}

DWORD Scaled(DWORD ms) { return ms == INFINITE ? ms : ms * WaitScale(); }

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms, DWORD poll_ms) {
    const ULONGLONG deadline = GetTickCount64() + Scaled(timeout_ms);
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= deadline) return done();
        Sleep(poll_ms);
    }
}

// ---- Processes -----------------------------------------------------------------------------------

Process Process::Start(const std::wstring& exe, const std::vector<std::wstring>& env, const std::wstring& cwd,
                       const std::wstring& arguments) {
    std::wstring environment = BuildEnvironment(env);
    std::wstring dir = cwd.empty() ? FolderOf(exe) : cwd;
    // Quoted, so a path with blanks cannot start something else.
    std::wstring cmdline = L"\"" + exe + L"\"";
    if (!arguments.empty()) cmdline += L" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // No standard handles: under Wine the child would otherwise hold our stdout, and a script reading
    // it through a pipe would wait for the child's end.
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), cmdline.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), dir.empty() ? nullptr : dir.c_str(), &si, &pi))
        throw std::runtime_error("CreateProcessW failed for " + ToUtf8(exe) + ": error " +
                                 std::to_string(GetLastError()));
    CloseHandle(pi.hThread);
    Process p;
    p.process_.reset(pi.hProcess);
    p.pid_ = pi.dwProcessId;
    return p;
}

bool Process::Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool Process::WaitExit(DWORD timeout_ms, DWORD* exit_code) const {
    if (!process_) return false;
    if (WaitForSingleObject(process_.get(), Scaled(timeout_ms)) != WAIT_OBJECT_0) return false;
    if (exit_code) {
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        *exit_code = code;
    }
    return true;
}

void Process::Kill() const {
    if (!Running()) return;
    TerminateProcess(process_.get(), 0xDEAD);
    WaitForSingleObject(process_.get(), Scaled(10000));
}

// ---- Windows and controls ------------------------------------------------------------------------

std::wstring Text(HWND hwnd) {
    bool ok = false;
    LRESULT len = Send(hwnd, WM_GETTEXTLENGTH, 0, 0, &ok);
    if (!ok || len <= 0) return {};
    std::wstring buf(static_cast<size_t>(len) + 1, L'\0');
    LRESULT got = Send(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(static_cast<size_t>(std::max<LRESULT>(0, std::min<LRESULT>(got, len))));
    return buf;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[256] = {};
    int n = GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

bool IsVisible(HWND hwnd) { return IsWindow(hwnd) && IsWindowVisible(hwnd); }
bool Exists(HWND hwnd) { return IsWindow(hwnd) != FALSE; }

HWND FocusedWindow(HWND hwnd) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &gti)) return nullptr;
    return gti.hwndFocus;
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
    TopLevelQuery q{pid, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&q));
    return q.out;
}

HWND FindChild(HWND top, const std::wstring& cls, const wchar_t* text) {
    for (HWND h : Descendants(top)) {
        if (!EqualsNoCase(ClassOf(h), cls)) continue;
        if (text && Text(h) != text) continue;
        return h;
    }
    return nullptr;
}

HWND FindButton(HWND top, const std::wstring& text) { return FindChild(top, L"Button", text.c_str()); }

HWND FindWindowByButton(DWORD pid, const std::wstring& button_text, bool visible_only) {
    for (HWND top : TopLevelWindows(pid)) {
        if (visible_only && !IsWindowVisible(top)) continue;
        if (ClassOf(top) == L"#32770") continue;  // message boxes have buttons too
        if (FindButton(top, button_text)) return top;
    }
    return nullptr;
}

HWND WaitWindow(DWORD pid, const std::wstring& button_text, DWORD timeout_ms) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindWindowByButton(pid, button_text, true)) != nullptr; }, timeout_ms);
    return found;
}

std::vector<Control> Controls(HWND top) {
    std::vector<Control> out;
    HWND focus = FocusedWindow(top);
    for (HWND h : Descendants(top)) {
        Control c;
        c.hwnd = h;
        c.id = GetDlgCtrlID(h);
        c.cls = ClassOf(h);
        c.text = Text(h);
        GetWindowRect(h, &c.rect);
        MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&c.rect), 2);
        c.style = GetWindowLongW(h, GWL_STYLE);
        c.visible = IsWindowVisible(h) != FALSE;
        c.enabled = IsWindowEnabled(h) != FALSE;
        c.focused = h == focus;
        out.push_back(std::move(c));
    }
    return out;
}

bool ClickButton(HWND button) { return button && PostMessageW(button, BM_CLICK, 0, 0); }

bool ClickButton(HWND top, const std::wstring& text) { return ClickButton(FindButton(top, text)); }

bool MouseClick(HWND hwnd) {
    RECT r{};
    if (!GetWindowRect(hwnd, &r)) return false;
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const int sw = GetSystemMetrics(SM_CXSCREEN) - 1, sh = GetSystemMetrics(SM_CYSCREEN) - 1;
    INPUT in[3] = {};
    for (auto& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = sw > 0 ? (x * 65535) / sw : 0;
        i.mi.dy = sh > 0 ? (y * 65535) / sh : 0;
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    return SendInput(3, in, sizeof(INPUT)) == 3;
}

bool CloseBySysCommand(HWND top) { return PostMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0); }
bool CloseByMessage(HWND top) { return PostMessageW(top, WM_CLOSE, 0, 0); }

void PressKey(HWND target, UINT vk, wchar_t ch) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | (1LL << 30) | (1LL << 31);
    PostMessageW(target, WM_KEYDOWN, vk, down);
    if (ch) PostMessageW(target, WM_CHAR, ch, down);
    PostMessageW(target, WM_KEYUP, vk, up);
}

void TypeChar(HWND target, wchar_t ch) {
    SHORT vks = VkKeyScanW(ch);
    UINT vk = vks == -1 ? 0 : LOBYTE(vks);
    if (vk)
        PressKey(target, vk, ch);
    else
        PostMessageW(target, WM_CHAR, ch, 1);
}

bool TypeKeys(HWND top, const std::vector<WORD>& modifiers, WORD vk) {
    // Another process may only take the foreground while nothing else holds it; bounded retries.
    if (!WaitUntil(
            [&] {
                if (GetForegroundWindow() == top) return true;
                SetForegroundWindow(top);
                return GetForegroundWindow() == top;
            },
            5000))
        return false;
    std::vector<INPUT> in;
    auto key = [&](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    for (WORD m : modifiers) key(m, false);
    key(vk, false);
    key(vk, true);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) key(*it, true);
    return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
}

void PressCtrl(HWND target, wchar_t letter) {
    const UINT vk = static_cast<UINT>(std::towupper(letter));
    const LPARAM ctrl_down = 1 | (static_cast<LPARAM>(MapVirtualKeyW(VK_CONTROL, MAPVK_VK_TO_VSC)) << 16);
    PostMessageW(target, WM_KEYDOWN, VK_CONTROL, ctrl_down);
    PressKey(target, vk, static_cast<wchar_t>(vk - L'A' + 1));
    PostMessageW(target, WM_KEYUP, VK_CONTROL, ctrl_down | (1LL << 30) | (1LL << 31));
}

bool SetClipboardText(const std::wstring& text) {
    if (!WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, 2000)) return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (mem) {
        if (void* p = GlobalLock(mem)) {
            memcpy(p, text.c_str(), bytes);
            GlobalUnlock(mem);
            ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        }
        if (!ok) GlobalFree(mem);  // on success the clipboard owns it
    }
    CloseClipboard();
    return ok;
}

int FirstVisibleLine(HWND edit) { return static_cast<int>(Send(edit, EM_GETFIRSTVISIBLELINE, 0, 0)); }
void ScrollLines(HWND edit, int lines) { Send(edit, EM_LINESCROLL, 0, lines); }

int ProgressPos(HWND bar) { return static_cast<int>(Send(bar, PBM_GETPOS, 0, 0)); }

bool Responds(HWND hwnd, UINT timeout_ms, double* elapsed_ms) {
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    DWORD_PTR result = 0;
    LRESULT r = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(timeout_ms), &result);
    QueryPerformanceCounter(&b);
    if (elapsed_ms) *elapsed_ms = 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / f.QuadPart;
    return r != 0;
}

// ---- Accessibility --------------------------------------------------------------------------------

AccessibleInfo ReadAccessible(HWND hwnd) {
    AccessibleInfo a;
    IAccessible* acc = nullptr;
    // __uuidof, not IID_IAccessible: oleacc's import library also has a symbol of that name (a thunk, not
    // the GUID), and which one is linked would depend on the order of the libraries.
    a.hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                      reinterpret_cast<void**>(&acc));
    if (FAILED(a.hr) || !acc) return a;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (acc->get_accName(self, &text) == S_OK) {
        a.hasName = true;
        a.name = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    }
    SysFreeString(text);
    text = nullptr;
    if (acc->get_accValue(self, &text) == S_OK) {
        a.hasValue = true;
        a.value = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    }
    SysFreeString(text);
    VARIANT v;
    VariantInit(&v);
    if (acc->get_accRole(self, &v) == S_OK && v.vt == VT_I4) {
        a.hasRole = true;
        a.role = v.lVal;
    }
    VariantClear(&v);
    if (acc->get_accState(self, &v) == S_OK && v.vt == VT_I4) a.state = v.lVal;
    VariantClear(&v);
    acc->Release();
    return a;
}

std::wstring RoleName(long role) {
    switch (role) {
        case ROLE_SYSTEM_PUSHBUTTON:
            return L"PUSHBUTTON";
        case ROLE_SYSTEM_STATICTEXT:
            return L"STATICTEXT";
        case ROLE_SYSTEM_TEXT:
            return L"TEXT";
        case ROLE_SYSTEM_PROGRESSBAR:
            return L"PROGRESSBAR";
        case ROLE_SYSTEM_CLIENT:
            return L"CLIENT";
        case ROLE_SYSTEM_WINDOW:
            return L"WINDOW";
        case ROLE_SYSTEM_GRAPHIC:
            return L"GRAPHIC";
        case ROLE_SYSTEM_GROUPING:
            return L"GROUPING";
        case ROLE_SYSTEM_DIALOG:
            return L"DIALOG";
        default:
            return std::to_wstring(role);
    }
}

// ---- Message boxes -------------------------------------------------------------------------------

std::vector<HWND> MessageBoxes(DWORD pid) {
    std::vector<HWND> out;
    for (HWND h : TopLevelWindows(pid))
        if (IsWindowVisible(h) && ClassOf(h) == L"#32770") out.push_back(h);
    return out;
}

namespace {

HWND IconStatic(HWND box) {
    for (HWND h : Descendants(box)) {
        if (!EqualsNoCase(ClassOf(h), L"Static")) continue;
        if ((GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return h;
    }
    return nullptr;
}

IconKind KindOfResourceId(WORD id) {
    switch (id) {
        case 32515:
            return IconKind::Warning;  // IDI_EXCLAMATION
        case 32516:
            return IconKind::Information;  // IDI_ASTERISK
        case 32514:
            return IconKind::Question;  // IDI_QUESTION
        case 32513:
            return IconKind::Error;  // IDI_HAND
        default:
            return IconKind::Unknown;
    }
}

}  // namespace

namespace {

// A w x h 32-bit top-down bitmap selected into a memory DC; `draw` paints into the DC and returns whether it
// did. Returns the pixels as BGRx rows from the top, or nothing when the bitmap or the drawing failed.
template <class Draw>
std::vector<DWORD> PixelsOf(int w, int h, Draw&& draw) {
    std::vector<DWORD> px;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        if (draw(mem, static_cast<DWORD*>(bits))) {
            GdiFlush();
            px.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + w * h);
        }
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    return px;
}

// Pixels of `hwnd` as the screen shows them; empty when unreadable.
std::vector<DWORD> Capture(HWND hwnd, int w, int h) {
    RECT wr{};
    GetWindowRect(hwnd, &wr);
    HDC src = GetDC(nullptr);
    if (!src) return {};
    std::vector<DWORD> px =
        PixelsOf(w, h, [&](HDC mem, DWORD*) { return BitBlt(mem, 0, 0, w, h, src, wr.left, wr.top, SRCCOPY) != 0; });
    ReleaseDC(nullptr, src);
    return px;
}

// The stock icon drawn the way a static control draws it, over `background`.
std::vector<DWORD> Render(LPCWSTR res, int w, int h, DWORD background) {
    return PixelsOf(w, h, [&](HDC mem, DWORD* bits) {
        std::fill(bits, bits + w * h, background);
        DrawIconEx(mem, 0, 0, LoadIconW(nullptr, res), 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        return true;
    });
}

}  // namespace

IconKind MessageBoxIcon(HWND box) {
    HWND icon_static = IconStatic(box);
    if (!icon_static || !IsWindowVisible(icon_static)) return IconKind::None;
    HICON shown = reinterpret_cast<HICON>(Send(icon_static, STM_GETICON, 0, 0));
    if (!shown) return IconKind::None;
    // On Windows the stock icons are shared by all processes, so the handle identifies the kind.
    const std::pair<LPCWSTR, IconKind> stock[] = {
        {IDI_EXCLAMATION, IconKind::Warning},
        {IDI_INFORMATION, IconKind::Information},
        {IDI_QUESTION, IconKind::Question},
        {IDI_ERROR, IconKind::Error},
    };
    for (const auto& [res, kind] : stock)
        if (LoadIconW(nullptr, res) == shown) return kind;
    // Otherwise ask the icon which resource it was loaded from.
    ICONINFOEXW info{};
    info.cbSize = sizeof info;
    if (GetIconInfoExW(shown, &info)) {
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.wResID) return KindOfResourceId(info.wResID);
    }
    // Wine keeps icon objects per process: the handle differs from ours and GetIconInfoExW fails on it
    // (ERROR_INVALID_CURSOR_HANDLE). So compare what the screen shows (the box is in front) with each
    // stock icon drawn here over the same background; under Wine on Xvfb the match is exact.
    RECT r{};
    GetClientRect(icon_static, &r);
    const int w = r.right, h = r.bottom;
    if (w <= 0 || h <= 0) return IconKind::Unknown;
    std::vector<DWORD> seen = Capture(icon_static, w, h);
    if (seen.empty()) return IconKind::Unknown;
    const DWORD background = seen[static_cast<size_t>(w * h - 1)];
    IconKind best = IconKind::Unknown;
    double best_d = 1e18, second_d = 1e18;
    for (const auto& [res, kind] : stock) {
        std::vector<DWORD> drawn = Render(res, w, h, background);
        if (drawn.size() != seen.size()) continue;
        double d = 0;
        for (size_t i = 0; i < seen.size(); ++i)
            for (int shift = 0; shift < 24; shift += 8) {
                const int a = (seen[i] >> shift) & 0xFF, b = (drawn[i] >> shift) & 0xFF;
                d += (a - b) * (a - b);
            }
        if (d < best_d) {
            second_d = best_d;
            best_d = d;
            best = kind;
        } else if (d < second_d) {
            second_d = d;
        }
    }
    // A blank or unrelated picture is about as far from every candidate: no verdict then.
    return best_d * 4 < second_d ? best : IconKind::Unknown;
}

MessageBoxInfo ReadMessageBox(HWND box) {
    MessageBoxInfo m;
    m.hwnd = box;
    m.title = Text(box);
    if (HWND text = GetDlgItem(box, 0xFFFF)) m.text = Text(text);
    HWND focus = FocusedWindow(box);
    for (HWND h : Descendants(box)) {
        if (!EqualsNoCase(ClassOf(h), L"Button") || !IsWindowVisible(h)) continue;
        const int id = GetDlgCtrlID(h);
        m.buttons.emplace_back(id, Text(h));
        if ((GetWindowLongW(h, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) m.defaultButton = id;
        if (h == focus) m.focusedButton = id;
    }
    m.icon = MessageBoxIcon(box);
    return m;
}

bool WaitMessageBox(DWORD pid, DWORD timeout_ms, MessageBoxInfo* info) {
    HWND box = nullptr;
    // The box is visible a moment before its text and buttons are filled in: wait for a button.
    bool ok = WaitUntil(
        [&] {
            for (HWND b : MessageBoxes(pid)) {
                for (HWND h : Descendants(b))
                    if (EqualsNoCase(ClassOf(h), L"Button") && IsWindowVisible(h)) {
                        box = b;
                        return true;
                    }
            }
            return false;
        },
        timeout_ms);
    if (!ok) return false;
    if (info) {
        // The icon is read from the screen, which may not show the box painted yet: read until it is known,
        // for a bounded time.
        WaitUntil(
            [&] {
                *info = ReadMessageBox(box);
                return info->icon != IconKind::Unknown;
            },
            3000);
    }
    return true;
}

bool AnswerMessageBox(HWND box, int button_id) {
    HWND button = GetDlgItem(box, button_id);
    if (!button) return false;
    return PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// ---- Screenshot requests -------------------------------------------------------------------------

bool RequestScreenshot(const std::wstring& dir, const std::wstring& name, DWORD timeout_ms) {
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring path = dir + L"\\" + name + L".request";
    if (!setup::win32::UniqueFileHandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)))
        return false;
    return WaitUntil([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }, timeout_ms, 50);
}

// ---- Text helpers --------------------------------------------------------------------------------

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\r')
            out += L"\\r";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\\')
            out += L"\\\\";
        else if (c < 0x20) {
            wchar_t buf[8];
            swprintf(buf, 8, L"\\x%02X", static_cast<unsigned>(c));
            out += buf;
        } else
            out += c;
    }
    return out;
}

}  // namespace uidriver
