// The component procedure: one shared run-time file placed in the Windows system folder from the medium's
// Package folder, its attributes normalised, and (for a registered file) the component registrar started.
// The setup menu applies it to the progress-bar control at start-up, the install step to its ten components.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/error_report.h"
#include "core/install/install_paths.h"
#include "core/install/payload_records.h"
#include "core/platform.h"

namespace setup {

// How a failure of the existence check (and the read-only clearing before the copy) is handled.
enum class CheckMode {
    Trapped,  // the failure leaves the caller's trapped region and is reported there
    Ignored,  // the failure is skipped and the row goes on with the copy
};

struct ComponentRow {
    std::wstring_view name;  // used exactly as written, case included
    CheckMode check;
    bool registered;
};

// The ten components of the install step, in the order they are processed.
inline constexpr std::array<ComponentRow, 10> kComponents{{
    {.name = L"comdlg32.ocx", .check = CheckMode::Trapped, .registered = true},
    {.name = L"mscomct2.ocx", .check = CheckMode::Trapped, .registered = true},
    {.name = L"MSCC2JP.DLL", .check = CheckMode::Trapped, .registered = false},
    {.name = L"TransLh6.ocx", .check = CheckMode::Trapped, .registered = true},
    {.name = L"MSMAPI32.OCX", .check = CheckMode::Trapped, .registered = true},
    {.name = L"MSMPIJP.DLL", .check = CheckMode::Trapped, .registered = false},
    {.name = L"UNLHA32.DLL", .check = CheckMode::Trapped, .registered = false},
    {.name = L"vb6jp.DLL", .check = CheckMode::Trapped, .registered = false},
    {.name = L"RoVur.dll", .check = CheckMode::Ignored, .registered = false},
    {.name = L"ZozuvOvero.dll", .check = CheckMode::Ignored, .registered = true},
}};

// The common-controls file the menu places before it first shows.
inline constexpr ComponentRow kProgressBarControl{
    .name = L"mscomctl.ocx", .check = CheckMode::Trapped, .registered = true};

// The two folders the procedure works between, each ending in a backslash.
struct ComponentFolders {
    std::wstring system;  // the Windows system folder
    std::wstring setup;   // the folder of the running setup program
};

// Reads both folders from the platform and normalises them.
Result<ComponentFolders> ReadComponentFolders(Platform& platform);

// Runs the procedure for one row. The copy is read and checked against the row's record first: a file that is
// not what the signed medium holds ends the row at once, with the system folder as it was, reported in a
// trapped row and skipped in an ignored one, and nothing of it is fixed up or registered. A failure of a
// trapped existence check is reported through the caller's trapped region, and the row ends there; everything
// after the check runs with failures ignored. Returns false when the row ended on a reported failure, or when
// the row is registered and either its file is not in the system folder or the registrar could not be started
// (after showing the registration-failed message). The registrar starts in the system folder, so that a
// component missing there is never loaded from the setup program's current folder.
bool PlaceComponent(Platform& platform, const ComponentFolders& folders, const ComponentRow& row,
                    const PayloadRecords& records, Trap& trap);

}  // namespace setup
