#include "windows/app/app.h"

#include <commctrl.h>

#include "core/error_report.h"
#include "win32/errors.h"
#include "win32/responsiveness.h"
#include "win32/system_library.h"
#include "windows/app/payload_table.h"

namespace setup {

namespace {

// Take DLLs from the system folder only, so that a DLL planted beside setup.exe on the medium (or in a download
// folder) is never loaded. Absent before Windows 8 without the loader update; the program still runs there.
Status RestrictDllSearch() {
    using SetDefault = BOOL(WINAPI*)(DWORD);
    const auto set_default =
        win32::ProcAddress<SetDefault>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    const Status restricted = set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32) ? Status(Done{}) : LastError();
    SetDllDirectoryW(L"");  // and never the current folder
    return restricted;
}

// The common controls (version 6, through the manifest) are loaded only now, so that the search above applies to
// them and to what they load: a static import would be resolved before any code runs, and the common controls
// are not among the DLLs Windows always takes from the system folder.
Status LoadCommonControls() {
    const HMODULE common_controls = LoadLibraryW(L"comctl32.dll");  // if none, no function: LoadLibraryW's error
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = win32::ProcAddress<InitFn>(common_controls, "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    if (init && init(&controls)) return Done{};
    return LastError();
}

void CALLBACK PreloadWhenIdle(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    win32::PreloadShell();
}

}  // namespace

App::App() : dll_search_(RestrictDllSearch()), responsive_(platform_, AnswerPending), records_(EmbeddedPayloadTable()) {
    Ignored(platform_, dll_search_, L"SetDefaultDllDirectories");
    Ignored(platform_, LoadCommonControls(), L"comctl32.dll InitCommonControlsEx");
    // Message boxes belong to the window on screen, so they are modal for the program.
    platform_.owner = [this]() -> HWND {
        for (Form* window : windows_) {
            if (window->IsVisible()) return window->hwnd();
        }
        return nullptr;
    };
}

int App::Run() {
    // Loading runs the caption, then the progress-bar control placed and registered. A menu that cannot be
    // created ends the program with a report.
    menu_.ShowOrEnd();
    // Timer messages come after painting: once the menu is on screen, load what the shortcut step will need
    // (the shell's shortcut object is an apartment-threaded COM object used from this, the only thread).
    if (!SetTimer(nullptr, 0, 1, PreloadWhenIdle)) platform_.NoteFailure(L"SetTimer preload", LastError().description);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // The dialog manager: Tab and Shift+Tab go round a window's controls in tab order, Enter presses the
        // focused button, and Esc does nothing (see Form).
        bool used = false;
        for (Form* window : windows_) used = used || (window->hwnd() && IsDialogMessageW(window->hwnd(), &msg));
        if (used) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

}  // namespace setup
