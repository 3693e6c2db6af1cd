// The start-up work of the setup menu, after its caption: the progress-bar control file placed in the system
// folder and registered, before the menu is first shown.
#pragma once

#include "core/install/payload_records.h"
#include "core/platform.h"

namespace setup {

// Runs the menu's load work. An error up to and including the check of an existing control file is reported
// once under the menu's location, and nothing is then copied or registered; from the copy on, failures are
// skipped, except a control file that is not what `records` say the signed medium holds, which is reported as
// well and neither placed nor registered.
void MenuFormLoad(Platform& platform, const PayloadRecords& records);

}  // namespace setup
