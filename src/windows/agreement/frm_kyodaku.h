// The terms agreement window: the terms of use in a read-only text box, and the agree and decline buttons.
#pragma once

#include "windows/forms.h"
#include "win32/form.h"

namespace setup {

class FrmKyodaku : public Form {
public:
    explicit FrmKyodaku(Forms& forms);

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void OnClick(int id) override;

private:
    void cmd次へ_Click();
    void cmd戻る_Click();

    Forms& forms_;
};

}  // namespace setup
