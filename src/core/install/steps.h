// The install steps of the progress window. Each takes no argument and returns its success flag: true lets
// the sequence go on, false stops it. A step that returns false has already told the user why.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/error_report.h"
#include "core/install/install_paths.h"
#include "core/install/payload_records.h"
#include "core/platform.h"

namespace setup {

class InstallSteps {
public:
    virtual ~InstallSteps() = default;
    virtual bool SetProgram() = 0;
    virtual bool SetDllFile() = 0;
    virtual bool MakeIcon() = 0;
    virtual bool ExecuteRuvok() = 0;
    virtual bool DeleteSetupExe() = 0;
    // After the last step that ran, whatever the outcome: the install root, held since SetProgram, is given back,
    // or, while the package installer still runs after its time, once it has ended.
    virtual void ReleaseInstallRoot() = 0;
};

inline constexpr std::wstring_view kPackageInstaller = L"rudize.exe";
// A package installer that has not ended after this long counts as not run; it is left running.
inline constexpr std::uint32_t kInstallerWaitMs = 50000;

// The owners whose folders setup runs, writes and deletes in: the administrators, the system, the installer
// service of Windows, and `setup_account`, the account setup runs as. Anyone else may change the access of
// what they own at any time, also while setup holds it.
bool TrustedOwner(std::wstring_view owner, std::wstring_view setup_account);

// What the check of a held install tree found that setup must not go through.
struct TreeFinding {
    std::wstring path;  // the full path
    bool link = false;  // a link to elsewhere; otherwise an owner who is not trusted
    std::wstring owner_name;
};

// Walks the whole tree of a held folder `root` (its path `root_path`), folder by folder through the lock. Found:
// a link anywhere; a folder anywhere, or anything inside the service tool's folder, whose owner is not trusted.
// Nothing when all is well; a failure when a folder cannot be read.
Result<std::optional<TreeFinding>> CheckInstallTree(FolderLock& root, const std::wstring& root_path,
                                                    std::wstring_view setup_account);
// The definition both shortcuts carry.
ShortcutDefinition ApplicationShortcut();

// The steps as they run on a machine, through the platform. Every file copied from the medium is checked
// against `records`.
class RudIzeSteps : public InstallSteps {
public:
    RudIzeSteps(Platform& platform, const PayloadRecords& records) : platform_(platform), records_(records) {}
    bool SetProgram() override;
    bool SetDllFile() override;
    bool MakeIcon() override;
    bool ExecuteRuvok() override;
    bool DeleteSetupExe() override;
    void ReleaseInstallRoot() override;

private:
    // Holds the install root and checks what is in it. False, after the report, when it must not be used.
    bool TakeInstallRoot(Trap& trap, bool exists);
    void GiveBackInstallRoot();

    Platform& platform_;
    const PayloadRecords& records_;
    // The install root, from SetProgram to the end of the sequence (or of the package installer, if later).
    std::unique_ptr<FolderLock> root_lock_;
    bool made_root_ = false;     // setup made the root (it had nothing of its own to give back)
    bool tree_checked_ = false;  // the whole tree passed the check
    bool in_sequence_ = false;   // from SetProgram to ReleaseInstallRoot
    // The package installer, while it runs on after its time.
    std::unique_ptr<RunningProgram> installer_;
    bool release_waits_ = false;  // the root is given back when the installer ends
};

}  // namespace setup
