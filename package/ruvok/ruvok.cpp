// Sample system monitoring service tool. It monitors nothing: it records how it was started, so a test can
// see that it ran, how often, and with which arguments. One line per start is appended to
// C:\DAZov\Info\Ruvok.log (UTF-8): the command line as GetCommandLineW gives it, a TAB, then the
// arguments as CommandLineToArgvW parses them (program name left out), joined by TAB. With SAMPLE_SEEN_FILE set
// it also records what it sees (sample_seen.h).

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "sample_seen.h"
#include "sample_win.h"

namespace {

constexpr wchar_t kLogFolder[] = L"C:\\DAZov\\Info";
constexpr wchar_t kLogFile[] = L"C:\\DAZov\\Info\\Ruvok.log";

class ArgList {
public:
    explicit ArgList(const wchar_t* commandLine) : argv_(CommandLineToArgvW(commandLine, &argc_)) {}
    ~ArgList() { if (argv_) LocalFree(argv_); }
    ArgList(const ArgList&) = delete;
    ArgList& operator=(const ArgList&) = delete;
    int count() const { return argv_ ? argc_ : 0; }
    const wchar_t* operator[](int i) const { return argv_[i]; }
private:
    int argc_ = 0;
    wchar_t** argv_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* commandLine = GetCommandLineW();
    std::wstring line = commandLine;
    line += L'\t';
    ArgList args(commandLine);
    for (int i = 1; i < args.count(); ++i) {
        if (i > 1) line += L'\t';
        line += args[i];
    }
    sample::RecordSeen(L"Ruvok");
    if (!sample::EnsureFolder(kLogFolder)) return 1;
    return sample::AppendLine(kLogFile, line) ? 0 : 1;
}
