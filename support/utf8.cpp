#include "support/utf8.h"

#include <cstdint>

namespace {

constexpr bool kUtf16 = sizeof(wchar_t) == 2;
// By the number of bytes that follow the first: its marker bits, and the bits of the code point it holds.
constexpr std::uint32_t kLeadMark[] = {0x00, 0xC0, 0xE0, 0xF0};
constexpr std::uint32_t kLeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<std::uint32_t>(text[i]);
        if (kUtf16 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {  // a surrogate pair
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        }
        const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(kLeadMark[tail] | (c >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i++]);
        const int tail = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        std::uint32_t c = lead & kLeadBits[tail];
        for (int k = 0; k < tail && i < text.size(); ++k) c = (c << 6) | (text[i++] & 0x3F);
        if (kUtf16 && c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::vector<std::wstring> SplitCrLf(std::wstring_view text) {
    std::vector<std::wstring> lines;
    for (std::size_t start = 0;;) {
        const std::size_t at = text.find(L"\r\n", start);
        lines.emplace_back(text.substr(start, at == std::wstring_view::npos ? std::wstring_view::npos : at - start));
        if (at == std::wstring_view::npos) return lines;
        start = at + 2;
    }
}
