// The test kit's own program, which run.cmd calls for what a batch file cannot do well on every Windows and
// under Wine's cmd.exe alike:
//   kit.exe elevated                  exit 0 when this runs elevated (an administrator's full token); else one
//                                     line on standard error and exit 2
//   kit.exe drive M: FOLDER           drive M: shows FOLDER (as subst makes it); "kit.exe drive M:" removes it
//   kit.exe junction LINK TARGET      LINK made a junction to TARGET (FSCTL_SET_REPARSE_POINT; see sides.h)
//   kit.exe unjunction LINK           the link LINK removed, and only it
//   kit.exe tee LOG PROGRAM ARGS...   runs PROGRAM, its output shown as it comes and appended to LOG; exits
//                                     with its exit code
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
        if (skipped > 0 || disabled > 0)
            line += ", " + std::to_string(skipped + disabled) + " not run (counted failed)";
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

// Each argument quoted as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

int Tee(int argc, wchar_t** argv) {
    FILE* log = _wfopen(argv[2], L"ab");
    std::wstring command_line;
    for (int i = 3; i < argc; ++i) command_line += (i > 3 ? L" " : L"") + Quoted(argv[i]);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_raw = nullptr, write_raw = nullptr;
    if (!::CreatePipe(&read_raw, &write_raw, &inherit, 0)) return 2;
    setup::win32::UniqueHandle read_end(read_raw), write_end(write_raw);
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        Say(log, "kit: cannot start " + ToUtf8(command_line) + " (error " + std::to_string(::GetLastError()) + ")");
        if (log) std::fclose(log);
        return 2;
    }
    setup::win32::UniqueHandle child(process.hProcess), thread(process.hThread);
    write_end.reset();  // the pipe ends when the child's last copy of it is closed
    char buffer[4096];
    DWORD got = 0;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    while (::ReadFile(read_end.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        DWORD written = 0;
        ::WriteFile(out, buffer, got, &written, nullptr);
        if (log) {
            std::fwrite(buffer, 1, got, log);
            std::fflush(log);
        }
    }
    ::WaitForSingleObject(child.get(), INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(child.get(), &code);
    if (log) std::fclose(log);
    return static_cast<int>(code);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kit.exe elevated | drive M: [FOLDER] | junction LINK TARGET | unjunction LINK | "
                 "tee LOG PROGRAM ARGS... | summary LOG NAME=XML=CODE...\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"elevated") {
        if (Elevated()) return 0;
        std::fprintf(stderr,
                     "run.cmd: not run as administrator: open the command prompt with \"Run as "
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
    if (command == L"tee" && argc >= 4) return Tee(argc, argv);
    return Usage();
}
