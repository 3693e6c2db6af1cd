// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_SETUP 1
#define IDB_MENU_EMBLEM 101
#define IDB_MENU_LOGO 102

#ifdef __cplusplus
namespace setup {
inline constexpr int kPictureEmblem = IDB_MENU_EMBLEM;
inline constexpr int kPictureLogo = IDB_MENU_LOGO;
}  // namespace setup
#endif
