#include "win32/responsiveness.h"

namespace setup {

void AnswerPending() {
    // Often enough for a window that is never taken for hung; rarely enough not to slow the install, since
    // every peek is a trip to the window system.
    static ULONGLONG last = 0;
    const ULONGLONG now = ::GetTickCount64();
    if (now - last < 15) return;
    last = now;
    MSG message;
    // Any peek runs the messages other programs have sent us and are waiting on.
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    // Paint what changed (the progress bar), a bounded number of times.
    for (int i = 0; i < 16 && ::PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) {
        ::DispatchMessageW(&message);
    }
}

bool IsUserInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

void DiscardUserInput() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

DWORD WaitAnswering(HANDLE handle, DWORD timeout_ms) {
    const ULONGLONG start = ::GetTickCount64();
    bool quit_seen = false;
    WPARAM quit_code = 0;
    DWORD result = WAIT_FAILED;
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeout_ms != INFINITE) {
            const ULONGLONG elapsed = ::GetTickCount64() - start;
            remaining = elapsed >= timeout_ms ? 0 : static_cast<DWORD>(timeout_ms - elapsed);
        }
        const DWORD wait = ::MsgWaitForMultipleObjectsEx(1, &handle, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_TIMEOUT) {
            result = wait;
            break;
        }
        if (wait != WAIT_OBJECT_0 + 1) break;  // the wait itself failed
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit_seen = true;
                quit_code = message.wParam;
                continue;
            }
            if (IsUserInputMessage(message.message)) continue;
            ::DispatchMessageW(&message);
        }
        // Messages may have kept us past the limit; the next wait then only checks the handle.
    }
    // The quit request belongs to the caller's message loop.
    if (quit_seen) ::PostQuitMessage(static_cast<int>(quit_code));
    return result;
}

}  // namespace setup
