// The setup menu: the product's title screen with the install and exit buttons.
#pragma once

#include "windows/forms.h"
#include "win32/form.h"

namespace setup {

class FrmMain : public Form {
public:
    explicit FrmMain(Forms& forms);

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void OnClick(int id) override;

private:
    void cmdインストール_Click();
    void cmd終了_Click();

    Forms& forms_;
};

}  // namespace setup
