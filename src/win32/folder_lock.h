// Holding a folder that elevated code runs from: the install root, from the existing-installation question to
// the end of the install.
#pragma once

#include <memory>
#include <string>

#include "core/platform.h"

namespace setup::win32 {

// The access of a held folder: SYSTEM and the administrators may do anything; users may read and run; and so
// may the folder's owner, whose implicit right to change the access itself this takes away (any user can make
// the folder before setup runs, and then owns it). All of it passes on to what is inside. Protected: nothing
// comes from the drive root, which lets every user change what is below it.
inline constexpr wchar_t kHeldFolderSecurity[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)";

// Platform::LockFolder on Windows. The folder is opened without following a link at its end and without
// letting anyone else delete or rename it, checked through that handle to be a folder and not a link, and
// given kHeldFolderSecurity; the lock keeps the handle and the DACL it had, which Release gives back.
Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path);

}  // namespace setup::win32
