// UTF-8 for the tests, the UI driver and the sample programs: what they write to logs and test output, and
// read back from files and other programs. The same code on Linux (wchar_t holds a code point) and Windows (UTF-16).
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// The lines of `text` split on CR LF only, so a lone CR or LF stays inside a line where a check can find it.
std::vector<std::wstring> SplitCrLf(std::wstring_view text);
