// The terms agreement window: the terms of use in a read-only text box, and the agree and decline buttons.
#pragma once

#include "windows/forms.h"

namespace setup {

class FrmKyodaku : public ProgramWindow {
public:
    explicit FrmKyodaku(const Program& program);

protected:
    void Form_Load() override;
    void OnClick(int id) override;

private:
    void cmd次へ_Click();
    void cmd戻る_Click();
};

}  // namespace setup
