// Copying the medium's files so that what is written is exactly what the signed medium recorded.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "core/platform.h"
#include "win32/handles.h"

namespace setup::win32 {

// SYSTEM and the administrators may do anything with the installer's copy, users may read and run it, and
// nothing is inherited from the install root.
inline constexpr wchar_t kInstallerCopySecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// Platform::StageCopy on Windows: the source is read once into a new file beside the destination (a temporary
// name in the destination's folder) and checked as it is read. Put in place, that file takes the destination's
// place with the source's time of last writing and attributes, marked for backup; never put in place, it is
// removed again. A copy without a record, or whose digest differs, is refused before anything is written. The
// staged file is on disk before it takes the destination's place, so that after a power loss the destination
// is either the old file or the new one, whole. Failures nobody needs to see go to `notes`.
Result<std::unique_ptr<StagedCopy>> StageCheckedCopy(Platform& notes, const std::wstring& source,
                                                     const std::wstring& destination,
                                                     const std::optional<Sha256Digest>& expected);

// Writes the package installer's copy: `copy` must not exist yet, is made with a security descriptor that lets
// only administrators and the system change it (and users read and run it), and is checked as it is written.
// On success `held` holds it open for reading, shared for reading only: until it is closed no one can write,
// rename or delete the file, while the program itself may still be started from it. A copy that does not
// match is removed again.
Status WriteHeldCopy(Platform& notes, const std::wstring& source, const std::wstring& copy,
                     const std::optional<Sha256Digest>& expected, UniqueFileHandle& held);

}  // namespace setup::win32
