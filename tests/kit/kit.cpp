// The test kit's own program, which run.cmd calls for what a batch file cannot do well on every Windows and
// under Wine's cmd.exe alike:
//   kit.exe elevated                  exit 0 when this runs elevated (an administrator's full token); else one
//                                     line on standard error and exit 2
//   kit.exe drive M: FOLDER           drive M: shows FOLDER (as subst makes it); "kit.exe drive M:" removes it
//   kit.exe junction LINK TARGET      LINK made a junction to TARGET (FSCTL_SET_REPARSE_POINT; see sides.h)
//   kit.exe unjunction LINK           the link LINK removed, and only it
//   kit.exe summary LOG NAME=XML=CODE ...
//                                     the tests' results from each suite's JUnit XML (gtest's) and exit code:
//                                     one line per suite and the last line "N passed, M failed", on standard
//                                     output and appended to LOG; exit 0 only when nothing failed. A suite that
//                                     ended without its XML, or with an exit code its XML does not explain,
//                                     counts as one failed test more.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/utf8.h"
#include "tests/helpers/files.h"
#include "tests/helpers/sides.h"
#include "win32/handles.h"

namespace {

bool Elevated() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const setup::win32::UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated) {
        return true;
    }
    // Without UAC (switched off) an administrator's token is the full one and says "default".
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeLimited;
    if (!::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size) ||
        type != TokenElevationTypeDefault) {
        return false;
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof administrators;
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sid_size) &&
           ::CheckTokenMembership(nullptr, administrators, &member) && member;
}

// The number in attribute `name` of the first element that has it; -1 when there is none.
long Attribute(const std::string& xml, const char* name) {
    const std::string key = std::string(" ") + name + "=\"";
    const std::size_t at = xml.find(key);
    if (at == std::string::npos) return -1;
    return std::strtol(xml.c_str() + at + key.size(), nullptr, 10);
}

long Count(const std::string& text, const std::string& what) {
    long n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

void Say(FILE* log, const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (log) std::fprintf(log, "%s\r\n", line.c_str());
}

int Summary(int argc, wchar_t** argv) {
    FILE* log = _wfopen(argv[2], L"ab");
    long passed = 0, failed = 0;
    for (int i = 3; i < argc; ++i) {
        const std::wstring item = argv[i];
        const std::size_t first = item.find(L'='), last = item.rfind(L'=');
        if (first == std::wstring::npos || first == last) {
            Say(log, "kit: not NAME=XML=CODE: " + ToUtf8(item));
            ++failed;
            continue;
        }
        const std::string name = ToUtf8(item.substr(0, first));
        const std::wstring xml_path = item.substr(first + 1, last - first - 1);
        const long code = std::wcstol(item.c_str() + last + 1, nullptr, 10);
        const std::string xml = ReadFileBytes(xml_path);
        const long tests = Attribute(xml, "tests"), failures = Attribute(xml, "failures"),
                   errors = Attribute(xml, "errors"), disabled = Attribute(xml, "disabled");
        if (tests < 0 || failures < 0) {
            Say(log, name + ": no results (" + ToUtf8(xml_path) + " missing or unreadable), exit code " +
                         std::to_string(code));
            ++failed;
            continue;
        }
        const long skipped = Count(xml, "result=\"skipped\"");
        const long bad = failures + (errors > 0 ? errors : 0);
        const long ok = tests - bad - (disabled > 0 ? disabled : 0) - skipped;
        std::string line = name + ": " + std::to_string(ok) + " passed, " + std::to_string(bad) + " failed";
        if (skipped > 0 || disabled > 0) line += ", " + std::to_string(skipped + disabled) + " not run (counted failed)";
        passed += ok;
        failed += bad + skipped + (disabled > 0 ? disabled : 0);
        if (code != 0 && bad == 0) {
            line += "; but it ended with exit code " + std::to_string(code) + " (counted as one failed)";
            ++failed;
        }
        Say(log, line);
    }
    Say(log, std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
    if (log) std::fclose(log);
    return failed == 0 ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "usage: kit.exe elevated | drive M: [FOLDER] | junction LINK TARGET | unjunction LINK | "
                         "summary LOG NAME=XML=CODE...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"elevated") {
        if (Elevated()) return 0;
        std::fprintf(stderr, "run.cmd: not run as administrator: open the command prompt with \"Run as "
                             "administrator\" and start run.cmd there\n");
        return 2;
    }
    if (command == L"drive" && (argc == 3 || argc == 4)) {
        const std::wstring folder = argc == 4 ? argv[3] : L"";
        if (sides::MapDrive(argv[2], folder)) return 0;
        std::fprintf(stderr, "kit: drive %s could not be %s (error %lu)\n", ToUtf8(argv[2]).c_str(),
                     folder.empty() ? "removed" : ("made for " + ToUtf8(folder)).c_str(), ::GetLastError());
        return 1;
    }
    if (command == L"junction" && argc == 4) {
        std::wstring why;
        if (sides::MakeJunction(argv[2], argv[3], &why)) return 0;
        std::fprintf(stderr, "kit: no junction %s: %s\n", ToUtf8(argv[2]).c_str(), ToUtf8(why).c_str());
        return 1;
    }
    if (command == L"unjunction" && argc == 3) return sides::RemoveJunction(argv[2]) ? 0 : 1;
    if (command == L"summary" && argc >= 3) return Summary(argc, argv);
    return Usage();
}
