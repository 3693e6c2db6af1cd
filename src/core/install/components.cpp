#include "core/install/components.h"

#include "core/texts.h"
#include "core/error_report.h"

namespace setup {

Result<ComponentFolders> ReadComponentFolders(Platform& platform) {
    const Result<std::wstring> system = platform.SystemFolder();
    if (!system.ok()) return system.failure();
    const Result<std::wstring> setup = platform.ProgramFolder();
    if (!setup.ok()) return setup.failure();
    return ComponentFolders{WithTrailingBackslash(system.value()), WithTrailingBackslash(setup.value())};
}

namespace {

// Before the copy: an existing read-only file would refuse to be overwritten, so clear that bit first.
// Stops at the first failure and gives it back.
Status ClearReadOnlyIfPresent(Platform& platform, const std::wstring& target) {
    const Result<bool> exists = platform.FileExists(target);
    if (!exists.ok()) return exists.failure();
    if (!exists.value()) return Done{};  // nothing there yet: nothing to clear
    const Result<std::uint32_t> attributes = platform.GetAttributes(target);
    if (!attributes.ok()) return attributes.failure();
    if (attributes.value() & kAttrReadOnly) return platform.SetAttributes(target, attributes.value() - kAttrReadOnly);
    return Done{};
}

// After the copy: each write stands alone, so that a refused one does not keep the other from being tried.
void NormaliseAttributes(Platform& platform, const std::wstring& target) {
    const Result<std::uint32_t> read = platform.GetAttributes(target);
    if (!read.ok()) return;  // no file to fix up
    std::uint32_t attributes = read.value();
    if (attributes & kAttrReadOnly) {
        attributes -= kAttrReadOnly;
        Ignored(platform, platform.SetAttributes(target, attributes), L"SetAttributes");
    }
    if (!(attributes & kAttrArchive)) {
        attributes += kAttrArchive;
        Ignored(platform, platform.SetAttributes(target, attributes), L"SetAttributes");
    }
}

}  // namespace

bool PlaceComponent(Platform& platform, const ComponentFolders& folders, const ComponentRow& row,
                    const PayloadRecords& records, Trap& trap) {
    const std::wstring target = folders.system + std::wstring(row.name);
    const std::wstring source = folders.setup + std::wstring(kSourceFolder) + std::wstring(row.name);

    // The copy is read and checked against the medium's record before anything in the system folder changes: a
    // file the records do not vouch for leaves the folder exactly as it was, and whatever is there is neither
    // fixed up nor registered in its name. A trapped row reports it and stops, an ignored row is skipped.
    const Result<std::unique_ptr<StagedCopy>> staged =
        platform.StageCopy(source, folders.system, records.Find(row.name));
    if (staged.refusal() == Refusal::Unverified) {
        if (row.check == CheckMode::Ignored) return true;
        trap.Check(staged);
        return false;
    }

    // The row's check: an existing read-only file would refuse to be replaced.
    const Status cleared = ClearReadOnlyIfPresent(platform, target);
    if (row.check == CheckMode::Trapped && !trap.Check(cleared)) return false;
    Ignored(platform, cleared, L"ClearReadOnly");

    // From here on nothing is reported: a copy that could not be made (source missing) or put in place (target
    // protected) leaves whatever file is in the system folder, and that one is normalised and registered.
    if (Ignored(platform, staged, L"StageCopy")) Ignored(platform, staged.value()->PutInPlace(), L"PutInPlace");
    NormaliseAttributes(platform, target);
    if (!row.registered) return true;

    // Only a file that is in the system folder is registered: for a name that is not there, the registrar would
    // go on to look in its current folder and along PATH, which may hold a folder any user can write. The
    // registrar is not waited for: its outcome is never looked at, and "/s" keeps it silent. A start that fails,
    // one that starts nothing and a file that is not there are the same to the row.
    const Result<bool> present = platform.FileExists(target);
    if (Ignored(platform, present, L"FileExists") && present.value()) {
        const Result<TaskId> registrar =
            platform.StartProgram(RegistrarCommandLine(folders.system, row.name), folders.system);
        if (Ignored(platform, registrar, L"StartProgram registrar") && registrar.value() != 0) return true;
    }
    // Still in the row's ignored part: a box that cannot be shown is skipped, and the row still fails.
    Ignored(
        platform,
        platform.ShowMessage(RegistrationFailedText(row.name), MessageKind::Information, std::wstring(kMessageTitle)),
        L"registration message");
    return false;
}

}  // namespace setup
