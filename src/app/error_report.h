// Reporting trapped errors, and the two failure modes every trapping routine switches between.
//
// A routine is either in a trapped region, where a failure stops the region, is reported once through
// ShowErrorMessage with the routine's fixed location and makes the routine's result false, or in an ignored
// region, where a failing operation is skipped and the next one runs. Clean-up always runs ignored.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace setup {

// Location texts, one per trapping routine, shown exactly as they stand.
inline constexpr std::wstring_view kLocMenuLoad = L"frmMain Form_Initialize()";
inline constexpr std::wstring_view kLocSetProgram = L"frmRudIze Function SetProgram()";
inline constexpr std::wstring_view kLocSetDllFile = L"frmRudIze Function SetDllFile()";
inline constexpr std::wstring_view kLocExecuteRuvok = L"frmRudIze ExecuteRuvok()";
inline constexpr std::wstring_view kLocDeleteSetupExe = L"frmRudIze DeleteSetupExe()";
inline constexpr std::wstring_view kLocSequence = L"frmRudIze cmdOK_Click";

// "エラー  " + location + CR LF + "情報   " + description.
std::wstring ErrorMessageText(std::wstring_view location, std::wstring_view description);

// Shows the two-line report in a warning box (code 48) with the shared title and waits for OK.
void ShowErrorMessage(Platform& platform, std::wstring_view location, std::wstring_view description);

// Runs `region` trapped: a PlatformError thrown inside ends the region and is reported once under `location`.
// Returns false when an error was reported.
template <class Region>
bool Trapped(Platform& platform, std::wstring_view location, Region&& region) {
    try {
        std::forward<Region>(region)();
        return true;
    } catch (const PlatformError& error) {
        // The routine goes on to its clean-up either way; a report box that cannot be shown must not carry the
        // failure out of the routine (the callers run inside window procedures).
        try {
            ShowErrorMessage(platform, location, error.description);
        } catch (const PlatformError&) {
        }
        return false;
    }
}

// Runs one operation with failures ignored: a PlatformError skips it and nothing is reported.
// Returns false when the operation failed, for the few callers that go on differently.
template <class Operation>
bool Ignored(Operation&& operation) {
    try {
        std::forward<Operation>(operation)();
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

}  // namespace setup
