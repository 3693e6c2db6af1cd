#include "win32/errors.h"

namespace setup {

std::wstring DescribeError(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (text.empty()) {
        // No text for this code: show the code itself, as Windows does ("0x0000007B").
        static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
        text = L"0x";
        for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xF];
    }
    return text;
}

PlatformError LastError() {
    const DWORD code = ::GetLastError();  // before anything else can overwrite it
    return PlatformError{DescribeError(code)};
}

}  // namespace setup
