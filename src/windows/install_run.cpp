#include "windows/install_run.h"

#include "core/texts.h"

namespace setup {

InstallRun::Running::Running(InstallRun& run, HWND window)
    : run_(run),
      window_(window),
      reason_shown_(ShutdownBlockReasonCreate(window, std::wstring(kSetupRunningReason).c_str()) != FALSE) {
    run_.running_ = true;
}

InstallRun::Running::~Running() {
    run_.running_ = false;
    if (reason_shown_) ShutdownBlockReasonDestroy(window_);
}

}  // namespace setup
