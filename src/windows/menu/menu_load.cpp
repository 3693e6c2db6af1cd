#include "windows/menu/menu_load.h"

#include "app/constants.h"
#include "app/error_report.h"
#include "install/components.h"

namespace setup {

std::wstring MenuCaption() { return std::wstring(kProductName) + std::wstring(kCaptionSuffix); }

void MenuFormLoad(Platform& platform, const std::function<Status(const std::wstring&)>& set_caption) {
    Trap trap(platform, kLocMenuLoad);
    if (!trap.Check(set_caption(MenuCaption()))) return;
    const Result<ComponentFolders> folders = ReadComponentFolders(platform);
    if (!trap.Check(folders)) return;
    // A failed registrar start only shows its message here: the menu opens all the same.
    PlaceComponent(platform, folders.value(), kProgressBarControl, trap);
}

}  // namespace setup
