// The setup progress window: what is installed where, the progress bar, and the button that starts the
// install sequence from a timer tick.
#pragma once

#include "core/install/sequence.h"
#include "core/install/steps.h"
#include "windows/forms.h"

namespace setup {

class FrmRudIze : public ProgramWindow, private ProgressView {
public:
    explicit FrmRudIze(const Program& program);

protected:
    void Form_Load() override;
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

    RudIzeSteps steps_;
};

}  // namespace setup
