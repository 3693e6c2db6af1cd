#include "core/install/menu_load.h"

#include "core/error_report.h"
#include "core/install/components.h"

namespace setup {

void MenuFormLoad(Platform& platform, const PayloadRecords& records) {
    Trap trap(platform, kLocMenuLoad);
    const Result<ComponentFolders> folders = ReadComponentFolders(platform);
    if (!trap.Check(folders)) return;
    // A failed registrar start only shows its message here: the menu opens all the same.
    PlaceComponent(platform, folders.value(), kProgressBarControl, records, trap);
}

}  // namespace setup
