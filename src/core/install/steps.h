// The install steps of the progress window. Each takes no argument and returns its success flag: true lets
// the sequence go on, false stops it. A step that returns false has already told the user why.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
    // After the last step that ran, whatever the outcome: the install root, held since SetProgram, is given back.
    virtual void ReleaseInstallRoot() = 0;
};

inline constexpr std::wstring_view kPackageInstaller = L"rudize.exe";
// A package installer that has not ended after this long counts as not run; it is left running.
inline constexpr std::uint32_t kInstallerWaitMs = 50000;

std::wstring ExistingInstallationQuestion();
std::wstring InstallerNotRunText();
// Shown when the service tool's start reports that nothing was started.
std::wstring ServiceToolNotRunText();
// The description of the report when the install root is a link to elsewhere.
std::wstring InstallRootIsLinkText();
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
    Platform& platform_;
    const PayloadRecords& records_;
    // The install root, from SetProgram to the end of the sequence.
    std::unique_ptr<FolderLock> root_lock_;
};

}  // namespace setup
