// Holding a folder that elevated code runs from: the install root, from the existing-installation question to
// the end of the install.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "core/platform.h"

namespace setup::win32 {

// The access of a held folder: SYSTEM and the administrators may do anything; users may read and run; and so
// may the folder's owner, whose implicit right to change the access itself this takes away (OWNER RIGHTS). All
// of it passes on to what is inside. Protected: nothing comes from the drive root, which lets every user change
// what is below it. The service tool's folder keeps it after the install.
inline constexpr wchar_t kHeldFolderSecurity[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)";

// Platform::LockFolder on Windows. The folder is opened without following a link at its end and without
// letting anyone else delete or rename it, and checked through that handle to be a folder and not a link; the
// lock keeps the handle and the DACL it had. Entries of its tree are opened from that handle
// (NtCreateFile relative to it), never following a link at their end.
Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path);
// True when what `handle` holds is a link of any kind (a reparse point, or a file with a second name); `folder`,
// when given, is told whether it is a folder. `named` adds the attributes its name showed: Wine follows a link
// even when it is opened not to be, and shows one only by its name.
bool IsLink(HANDLE handle, DWORD named, bool* folder);

// Platform::CreateHeldFolder on Windows: CreateDirectoryW with kHeldFolderSecurity, then LockFolder.
Result<std::unique_ptr<FolderLock>> CreateHeldFolder(const std::wstring& path);

}  // namespace setup::win32
