// The setup progress window: what is installed where, the progress bar, and the button that starts the
// install sequence from a timer tick.
#pragma once

#include "windows/forms.h"
#include "core/install/sequence.h"
#include "core/install/steps.h"
#include "win32/form.h"

namespace setup {

class FrmRudIze : public Form, private ProgressView {
public:
    explicit FrmRudIze(Forms& forms);

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void OnClick(int id) override;
    bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    void cmdOK_Click();
    void cmdキャンセル_Click();
    void Timer1_Timer();

    // ProgressView
    void DisableTimer() override;
    void SetProgress(int value) override;
    void ReturnToMenu() override;

    Forms& forms_;
    RudIzeSteps steps_;
    bool running_ = false;
};

}  // namespace setup
