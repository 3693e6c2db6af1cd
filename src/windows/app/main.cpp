// Program start: the setup menu is the start-up window; the program ends when any window is closed.
#include <windows.h>

#include <commctrl.h>

#include "core/install/payload_records.h"
#include "core/responsive_platform.h"
#include "win32/responsiveness.h"
#include "win32/system_library.h"
#include "win32/win32_platform.h"
#include "windows/agreement/frm_kyodaku.h"
#include "windows/app/payload_table.h"
#include "windows/forms.h"
#include "windows/menu/frm_main.h"
#include "windows/progress/frm_rudize.h"

namespace {

// Before anything else is loaded: take DLLs from the system folder only, so that a DLL planted beside
// setup.exe on the medium (or in a download folder) is never loaded. Absent before Windows 8 without the
// loader update; the program still runs there.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto set_default = setup::win32::ProcAddress<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"),
                                                                                   "SetDefaultDllDirectories");
    if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");  // and never the current folder
}

void CALLBACK PreloadWhenIdle(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    setup::win32::PreloadShell();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();

    // The common controls (version 6, through the manifest) are loaded only now, so that the search above
    // applies to them and to what they load: a static import would be resolved before any code runs, and
    // the common controls are not among the DLLs Windows always takes from the system folder.
    if (HMODULE common_controls = LoadLibraryW(L"comctl32.dll")) {
        using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
        const auto init = setup::win32::ProcAddress<InitFn>(common_controls, "InitCommonControlsEx");
        const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        if (init) init(&controls);
    }

    setup::Win32Platform platform;
    // The install runs on the windows' thread: they answer between its operations.
    setup::ResponsivePlatform responsive(platform, setup::AnswerPending);
    // Every file copied from the medium is checked against these.
    const setup::PayloadRecords records(setup::EmbeddedPayloadTable());
    setup::InstallRun run;
    setup::Forms forms;
    forms.platform = &responsive;
    forms.records = &records;
    forms.run = &run;
    setup::FrmMain menu(forms);
    setup::FrmKyodaku terms(forms);
    setup::FrmRudIze progress(forms);
    forms.frmMain = &menu;
    forms.frmKyodaku = &terms;
    forms.frmRudIze = &progress;

    // Message boxes belong to the window on screen, so they are modal for the program.
    setup::Form* const all[] = {&menu, &terms, &progress};
    platform.owner = [&all]() -> HWND {
        for (setup::Form* form : all) {
            if (form->IsVisible()) return form->hwnd();
        }
        return nullptr;
    };

    // Loading runs the caption, then the progress-bar control placed and registered. A menu that cannot be
    // created ends the program with a report.
    menu.ShowOrEnd();
    // Timer messages come after painting: once the menu is on screen, load what the shortcut step will need
    // (the shell's shortcut object is an apartment-threaded COM object used from this, the only thread).
    SetTimer(nullptr, 0, 1, PreloadWhenIdle);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // No window has a cancel button, so Esc does nothing (the terms text box would close its window).
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) continue;
        // Tab and Shift+Tab go round a window's controls in tab order, Enter presses the focused button.
        bool used = false;
        for (setup::Form* form : all) used = used || (form->hwnd() && IsDialogMessageW(form->hwnd(), &msg));
        if (used) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
