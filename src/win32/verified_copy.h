// Copying the medium's files so that what is written is exactly what the signed medium recorded.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/platform.h"
#include "win32/handles.h"

namespace setup::win32 {

// A file refused for having no record in setup.exe (ERROR_INVALID_IMAGE_HASH).
PlatformError Unrecorded();

// Reads `source` to its end, writing what it reads to `destination` and hashing it on the way: the bytes
// checked are the bytes written, read once. A digest other than `expected` is an unverified failure with the
// system's description of a corrupt file (ERROR_FILE_CORRUPT); the caller throws away what was written.
Status CopyChecked(HANDLE source, HANDLE destination, const Sha256Digest& expected);

// Opens a file of the medium for that one read: shared for reading only, so no one writes it meanwhile.
UniqueFileHandle OpenForCopy(const std::wstring& path);

// Writes the package installer's copy: `copy` must not exist yet, is made with a security descriptor that lets
// only administrators and the system change it (and users read and run it), and is checked as it is written.
// On success `held` holds it open for reading, shared for reading only: until it is closed no one can write,
// rename or delete the file, while the program itself may still be started from it. A copy that does not
// match is removed again.
Status WriteHeldCopy(const std::wstring& source, const std::wstring& copy, const std::optional<Sha256Digest>& expected,
                     UniqueFileHandle& held);

}  // namespace setup::win32
