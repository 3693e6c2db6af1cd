// Win32 failures in the program's own terms: the system's text for an error code.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/result.h"

namespace setup {

// The system's text for a Win32 error code or an HRESULT, without the trailing line break. Never empty:
// a code the system has no text for is given in hexadecimal.
std::wstring DescribeError(DWORD code);
// The failure of the Win32 call that has just failed, described.
PlatformError LastError();

}  // namespace setup
