// Small helpers shared by the sample stand-ins: a folder maker and a UTF-8 line appender. Handles and UTF-8
// are the project's own (src/win32/handles.h, support/utf8).
#pragma once

#include <windows.h>

#include <string>

#include "support/utf8.h"
#include "win32/handles.h"

namespace sample {

using File = setup::win32::UniqueFileHandle;

// Creates every missing folder of an absolute path like C:\A\B (CreateDirectoryW makes one level only).
inline bool EnsureFolder(const std::wstring& path) {
    for (size_t pos = path.find(L'\\', 3); ; pos = path.find(L'\\', pos + 1)) {
        std::wstring part = path.substr(0, pos);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        if (pos == std::wstring::npos) return true;
    }
}

// Appends one CR LF terminated UTF-8 line. FILE_APPEND_DATA makes each write land at the current end,
// so two instances started close together do not overwrite each other's line.
inline bool AppendLine(const std::wstring& file, const std::wstring& line) {
    File f(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return false;
    std::string bytes = ToUtf8(line + L"\r\n");
    DWORD written = 0;
    return WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace sample
