// The setup menu: the product's title screen with the install and exit buttons.
#pragma once

#include "windows/forms.h"

namespace setup {

class FrmMain : public ProgramWindow {
public:
    explicit FrmMain(const Program& program);

protected:
    void Form_Load() override;
    void OnClick(int id) override;

private:
    void cmdインストール_Click();
    void cmd終了_Click();
};

}  // namespace setup
