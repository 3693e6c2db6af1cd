// Whether the install sequence is running: the one place the program keeps it.
#pragma once

#include <windows.h>

#include "win32/form.h"

namespace setup {

// While the sequence runs, Windows is asked to wait with log-off and shutdown (showing why, where it can), and
// the program's windows neither close nor act on a click (see FormHost): a close or a click that came in the
// middle of a step would end the program there, or bring a window up over the install.
class InstallRun : public FormHost {
public:
    bool Busy() const override { return running_; }

    // Marks the sequence as running for as long as it lives. `window` is the window Windows names when it asks
    // the session to wait.
    class Running {
    public:
        Running(InstallRun& run, HWND window);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        InstallRun& run_;
        HWND window_;
        bool reason_shown_;
    };

private:
    bool running_ = false;
};

}  // namespace setup
