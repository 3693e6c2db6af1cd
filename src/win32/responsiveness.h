// How the program's windows keep answering on Windows while the install holds their thread: between
// operations (see core/responsive_platform.h), and while it waits for the package installer.
#pragma once

#include <windows.h>

namespace setup {

// Answers the messages other programs have sent and are waiting on, and repaints, so the window is never
// taken for hung. Takes no user input. Called often, it does its work at most once every 15 ms.
void AnswerPending();

// Waits for `handle` for at most `timeout_ms` (or INFINITE) while the thread's windows keep painting and
// answering: sent and posted messages are handled, user input is dropped so that nothing can be clicked or
// closed meanwhile, and a quit request is posted again for the caller's message loop. Returns WAIT_OBJECT_0
// when the handle was signalled, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitAnswering(HANDLE handle, DWORD timeout_ms);

// Throws away the keyboard and mouse input waiting for this thread: what was typed or clicked while the install
// held the thread answers nothing that appears later (a message box's default button, say).
void DiscardUserInput();

// True for the keyboard and mouse messages (client and non-client area) that a responsive wait drops.
bool IsUserInputMessage(UINT message);

}  // namespace setup
