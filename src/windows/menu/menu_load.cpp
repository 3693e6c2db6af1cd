#include "windows/menu/menu_load.h"

#include "app/constants.h"
#include "app/error_report.h"
#include "install/components.h"

namespace setup {

std::wstring MenuCaption() { return std::wstring(kProductName) + std::wstring(kCaptionSuffix); }

void MenuFormLoad(Platform& platform, const std::function<void(const std::wstring&)>& set_caption) {
    // A failed registrar start only shows its message here: the menu opens all the same.
    Trapped(platform, kLocMenuLoad, [&] {
        set_caption(MenuCaption());
        const ComponentFolders folders = ReadComponentFolders(platform);
        PlaceComponent(platform, folders, kProgressBarControl);
    });
}

}  // namespace setup
