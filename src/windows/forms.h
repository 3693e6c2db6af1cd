// The program's three windows, one instance each for the whole run, and the services they share.
#pragma once

#include "core/install/payload_records.h"
#include "core/platform.h"

namespace setup {

class Form;

struct Forms {
    Form* frmMain = nullptr;     // the setup menu, the start-up window
    Form* frmKyodaku = nullptr;  // the terms agreement
    Form* frmRudIze = nullptr;   // the setup progress window
    Platform* platform = nullptr;
    // The digests of the medium's files, as setup.exe records them.
    const PayloadRecords* records = nullptr;
};

}  // namespace setup
