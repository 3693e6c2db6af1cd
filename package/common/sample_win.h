// Small helpers shared by the sample stand-ins: handle owners and a UTF-8 line appender.
#pragma once

#include <windows.h>

#include <string>

namespace sample {

// File handles use INVALID_HANDLE_VALUE as "none"; keep them apart from null-handle types.
class File {
public:
    explicit File(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~File() { if (valid()) CloseHandle(h_); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
private:
    HANDLE h_;
};

inline std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

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
    if (!f.valid()) return false;
    std::string bytes = ToUtf8(line + L"\r\n");
    DWORD written = 0;
    return WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace sample
