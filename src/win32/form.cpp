#include "win32/form.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "core/error_report.h"
#include "core/resources.h"
#include "win32/errors.h"
#include "win32/system_library.h"

namespace setup {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;  // fixed size, no min/max
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

COLORREF ToColorRef(std::uint32_t colour) { return static_cast<COLORREF>(colour); }  // both are 0x00BBGGRR

bool TakesFocus(ControlKind kind) { return kind == ControlKind::Button || kind == ControlKind::TextBox; }

// The newer DPI calls exist from Windows 10 1607 on; older systems get the system DPI.
template <class Fn>
Fn UserProc(const char* name) {
    return win32::ProcAddress<Fn>(GetModuleHandleW(L"user32.dll"), name);
}

RECT FrameForClient(int width, int height, int dpi) {
    RECT rect{0, 0, width, height};
    using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = UserProc<AdjustForDpi>("AdjustWindowRectExForDpi");
    if (adjust) {
        adjust(&rect, kFormStyle, FALSE, kFormExStyle, dpi);
    } else {
        AdjustWindowRectEx(&rect, kFormStyle, FALSE, kFormExStyle);
    }
    return rect;
}

// An image of the program's resources (LoadImageW).
Result<HANDLE> LoadResourceImage(int id, UINT type, int width, int height, UINT flags) {
    const HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), type, width, height, flags);
    if (!image) return LastError();
    return image;
}

// A multi-line text box in a dialog wants every key, and on Esc it closes its window (it posts WM_CLOSE). Here
// it leaves Esc to the dialog manager, as the buttons do, so that Esc does nothing wherever the focus is.
LRESULT CALLBACK TextBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto edit = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_USERDATA));
    const LRESULT result = CallWindowProcW(edit, box, message, wparam, lparam);
    return message == WM_GETDLGCODE && wparam == VK_ESCAPE ? result & ~DLGC_WANTALLKEYS : result;
}

// The DPI of the whole screen, which is every window's before Windows 10 1607.
int SystemDpi() {
    const win32::ScreenDc screen(GetDC(nullptr));
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

LOGFONTW DefaultFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto for_dpi = UserProc<ParametersForDpi>("SystemParametersInfoForDpi");
    if (for_dpi && for_dpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) return metrics.lfMessageFont;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    return metrics.lfMessageFont;
}

// Controls that take the focus come first, in tab order: Tab follows the order in which siblings were made.
// They never overlap anything but the panels behind them, so the rest keep their front-to-back order after them.
std::vector<const Control*> CreationOrder(const WindowDesign& design) {
    std::vector<const Control*> order;
    for (const Control& control : design.controls) order.push_back(&control);
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        const bool fa = TakesFocus(a->kind), fb = TakesFocus(b->kind);
        if (fa != fb) return fa;
        return fa && a->tab_index < b->tab_index;
    });
    return order;
}

// The window's DPI, from the newest call the system has.
int WindowDpi(HWND hwnd) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto for_window = UserProc<DpiForWindow>("GetDpiForWindow");
    if (for_window && hwnd) {
        if (UINT dpi = for_window(hwnd)) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

}  // namespace

Form::Form(const WindowDesign& design, const FormHost& host, Platform& platform)
    : design_(design), host_(host), platform_(platform) {}

Form::~Form() {
    if (hwnd_) DestroyWindow(hwnd_);
}

Status Form::Load() {
    if (hwnd_) return Done{};
    const Status created = Create();
    if (!created.ok()) {
        if (hwnd_) DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        return created;
    }
    Form_Load();
    return Done{};
}

Status Form::Show() {
    const Status loaded = Load();
    if (!loaded.ok()) return loaded;
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
    return Done{};
}

void Form::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Form::Unload() {
    if (!hwnd_) return;
    Form_Unload();
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

bool Form::IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }

void Form::SetCaption(const std::wstring& text) { SetWindowTextW(hwnd_, text.c_str()); }

void Form::SetText(int id, const std::wstring& text) { SetWindowTextW(Child(id), text.c_str()); }

Status Form::Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    if (!GetClassInfoExW(instance, std::wstring(design_.class_name).c_str(), &window_class)) {
        window_class.cbSize = sizeof(window_class);
        window_class.lpfnWndProc = WindowProc;
        window_class.cbWndExtra = DLGWINDOWEXTRA;  // a dialog: DefDlgProcW keeps its state there
        window_class.hInstance = instance;
        const auto icon =
            LoadResourceImage(IDI_SETUP, IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
        const auto small_icon =
            LoadResourceImage(IDI_SETUP, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
        window_class.hIcon = Ignored(platform_, icon, L"LoadImageW icon") ? static_cast<HICON>(icon.value()) : nullptr;
        window_class.hIconSm =
            Ignored(platform_, small_icon, L"LoadImageW small icon") ? static_cast<HICON>(small_icon.value()) : nullptr;
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.hbrBackground = nullptr;  // painted in WM_ERASEBKGND with the design's colour
        const std::wstring name(design_.class_name);
        window_class.lpszClassName = name.c_str();
        if (!RegisterClassExW(&window_class)) return LastError();
    }

    const std::wstring class_name(design_.class_name), caption(design_.caption);
    hwnd_ = CreateWindowExW(kFormExStyle, class_name.c_str(), caption.c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            100, 100, nullptr, nullptr, instance, this);
    if (!hwnd_) {
        // A window procedure that refuses the creation leaves no error code behind.
        const DWORD code = GetLastError();
        return PlatformError{DescribeError(code != ERROR_SUCCESS ? code : ERROR_INVALID_WINDOW_HANDLE)};
    }

    for (const Control* control : CreationOrder(design_)) {
        const std::wstring text(control->text);
        const wchar_t* window_class_name = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        switch (control->kind) {
            case ControlKind::Label:
                // Every label is one line tall: a caption that does not quite fit is clipped at its end rather
                // than wrapped onto an invisible second line.
                style |=
                    SS_NOPREFIX | (control->align == Align::Centre ? SS_CENTER | SS_ENDELLIPSIS : SS_LEFTNOWORDWRAP);
                break;
            case ControlKind::Panel:
                style |= SS_NOPREFIX | WS_BORDER;
                break;
            case ControlKind::Image:
                style |= SS_OWNERDRAW;
                break;
            case ControlKind::Button:
                window_class_name = L"BUTTON";
                style |= WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;
                break;
            case ControlKind::TextBox:
                window_class_name = L"EDIT";
                style |= WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
                break;
            case ControlKind::ProgressBar:
                window_class_name = PROGRESS_CLASSW;
                break;
        }
        HWND child = CreateWindowExW(0, window_class_name, text.c_str(), style, 0, 0, 0, 0, hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(control->id)), instance, nullptr);
        if (!child) return LastError();
        SetWindowTextW(child, text.c_str());  // the name UI automation reads, images included
        if (control->kind == ControlKind::Image && control->picture) {
            const auto picture = LoadResourceImage(control->picture, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
            if (Ignored(platform_, picture, L"LoadImageW picture")) {
                pictures_[control->id].reset(static_cast<HBITMAP>(picture.value()));
            }
        }
        if (control->kind == ControlKind::TextBox) {
            SetWindowLongPtrW(child, GWLP_USERDATA,
                              SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextBoxProc)));
        }
        if (control->kind == ControlKind::ProgressBar) SendMessageW(child, PBM_SETRANGE32, 0, 100);
    }

    // Windows sends no DPI change at creation: lay out now, with the window's own DPI.
    dpi_ = WindowDpi(hwnd_);
    LayOut(dpi_);
    const RECT frame =
        FrameForClient(TwipsToPixels(design_.client_width, dpi_), TwipsToPixels(design_.client_height, dpi_), dpi_);
    SetWindowPos(hwnd_, nullptr, TwipsToPixels(design_.left, dpi_) + frame.left,
                 TwipsToPixels(design_.top, dpi_) + frame.top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return Done{};
}

void Form::LayOut(int dpi) {
    for (const Control& control : design_.controls) {
        const PixelRect rect = ControlBounds(design_, control, dpi);
        SetWindowPos(Child(control.id), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(Child(control.id), WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control.font, dpi)), TRUE);
    }
}

HFONT Form::FontFor(const Font& font, int dpi) {
    const FontKey key{std::wstring(font.face), static_cast<int>(font.points * 100), font.bold, font.italic, dpi};
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second.get();
    LOGFONTW description = DefaultFont(dpi);
    if (!font.face.empty()) {
        description = LOGFONTW{};
        description.lfHeight = -PointsToPixels(font.points, dpi);
        description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
        description.lfItalic = font.italic;
        description.lfCharSet = SHIFTJIS_CHARSET;
        description.lfQuality = DEFAULT_QUALITY;
        const std::wstring face(font.face);
        wcsncpy(description.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    } else if (font.points > 0) {
        description.lfHeight = -PointsToPixels(font.points, dpi);
    }
    const HFONT made = CreateFontIndirectW(&description);
    if (!made) platform_.NoteFailure(L"CreateFontIndirectW", LastError().description);
    return fonts_.emplace(key, win32::UniqueFont(made)).first->second.get();
}

HBRUSH Form::BrushFor(std::uint32_t colour) {
    auto it = brushes_.find(colour);
    if (it != brushes_.end()) return it->second.get();
    return brushes_.emplace(colour, win32::UniqueBrush(CreateSolidBrush(ToColorRef(colour)))).first->second.get();
}

const Control* Form::ControlOf(HWND child) const {
    const int id = GetDlgCtrlID(child);
    for (const Control& control : design_.controls) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

void Form::DrawImage(const DRAWITEMSTRUCT& item) {
    const Control* control = ControlOf(item.hwndItem);
    if (!control) return;
    FillRect(item.hDC, &item.rcItem, BrushFor(ColourBehind(design_, *control)));
    auto it = pictures_.find(control->id);
    if (it == pictures_.end() || !it->second) return;
    BITMAP info{};
    GetObjectW(it->second.get(), sizeof(info), &info);
    const win32::UniqueMemoryDc source(CreateCompatibleDC(item.hDC));
    const HGDIOBJ old = SelectObject(source.get(), it->second.get());
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
               item.rcItem.bottom - item.rcItem.top, source.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(source.get(), old);
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    Form* form = nullptr;
    if (message == WM_NCCREATE) {
        form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!form) return DefDlgProcW(hwnd, message, wparam, lparam);
    return form->HandleMessage(message, wparam, lparam);
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (OnMessage(message, wparam, lparam, result)) return result;
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(hwnd_, &client);
            FillRect(reinterpret_cast<HDC>(wparam), &client, BrushFor(design_.back_colour));
            return 1;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            const Control* control = ControlOf(reinterpret_cast<HWND>(lparam));
            HDC dc = reinterpret_cast<HDC>(wparam);
            if (!control) break;
            std::uint32_t back = control->back_colour;
            if (control->kind == ControlKind::TextBox) back = 0xFFFFFF;  // read-only, but not greyed out
            if (back == kNoColour) back = ColourBehind(design_, *control);
            SetTextColor(dc, ToColorRef(control->text_colour));
            SetBkColor(dc, ToColorRef(back));
            SetBkMode(dc, control->back_colour == kNoColour ? TRANSPARENT : OPAQUE);
            return reinterpret_cast<LRESULT>(BrushFor(back));
        }
        case WM_DRAWITEM:
            DrawImage(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
            return TRUE;
        case WM_COMMAND: {
            // No window has a default button of its own: the default is the focused button, however it got the
            // focus (the dialog manager moves it only with the focus it moves itself), or none.
            const int code = HIWORD(wparam);
            if (code == BN_SETFOCUS) SendMessageW(hwnd_, DM_SETDEFID, LOWORD(wparam), 0);
            if (code == BN_KILLFOCUS) SendMessageW(hwnd_, DM_SETDEFID, 0, 0);
            // Esc, and Enter with no button to press, come from the dialog manager as IDCANCEL and IDOK from no
            // control: they do nothing.
            if (code == BN_CLICKED && lparam && !host_.Busy()) OnClick(LOWORD(wparam));
            return 0;
        }
        // While the program is busy, no window closes and the session is asked to wait.
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_CLOSE && host_.Busy()) return 0;
            break;
        case WM_CLOSE:
            if (!host_.Busy()) Unload();
            return 0;
        case WM_QUERYENDSESSION:
            return host_.Busy() ? FALSE : TRUE;
        case WM_DPICHANGED: {  // take the suggested rectangle, then lay the controls out again
            dpi_ = HIWORD(wparam);
            const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            LayOut(dpi_);
            return 0;
        }
        default:
            break;
    }
    return DefDlgProcW(hwnd_, message, wparam, lparam);
}

}  // namespace setup
