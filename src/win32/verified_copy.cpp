#include "win32/verified_copy.h"

#include <vector>

#include "win32/attributes.h"
#include "win32/errors.h"
#include "win32/system_library.h"

namespace setup::win32 {

namespace {

// ERROR_INVALID_IMAGE_HASH, which MinGW's headers do not name: "Windows cannot verify the digital signature for
// this file", in the system's language.
constexpr DWORD kInvalidImageHash = 577;

// A file refused for having no record in setup.exe (ERROR_INVALID_IMAGE_HASH).
PlatformError Unrecorded() { return PlatformError{DescribeError(kInvalidImageHash), Refusal::Unverified}; }

// Opens a file of the medium for that one read: shared for reading only, so no one writes it meanwhile.
UniqueFileHandle OpenForCopy(const std::wstring& path) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads `source` to its end, writing what it reads to `destination` and hashing it on the way: the bytes
// checked are the bytes written, read once. A digest other than `expected` is an unverified failure with the
// system's description of a corrupt file (ERROR_FILE_CORRUPT); the caller throws away what was written.
Status CopyChecked(HANDLE source, HANDLE destination, const Sha256Digest& expected) {
    std::vector<char> buffer(64 * 1024);
    Sha256 hash;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return LastError();
        if (read == 0) break;
        hash.Update(buffer.data(), read);
        DWORD written = 0;
        if (!::WriteFile(destination, buffer.data(), read, &written, nullptr)) return LastError();
        if (written != read) return PlatformError{DescribeError(ERROR_WRITE_FAULT)};
    }
    if (hash.Finish() != expected) return PlatformError{DescribeError(ERROR_FILE_CORRUPT), Refusal::Unverified};
    return Done{};
}

std::wstring FileNameOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

class StagedFile : public StagedCopy {
public:
    StagedFile(Platform& notes, std::wstring temporary, std::wstring target, DWORD attributes)
        : notes_(notes), temporary_(std::move(temporary)), target_(std::move(target)), attributes_(attributes) {}
    ~StagedFile() override {
        if (!placed_ && !::DeleteFileW(temporary_.c_str())) {
            notes_.NoteFailure(L"DeleteFileW " + temporary_, LastError().description);
        }
    }

    Status PutInPlace() override {
        // An existing read-only file is not replaced, as CopyFile does not overwrite it.
        const DWORD present = ::GetFileAttributesW(target_.c_str());
        if (present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_READONLY)) {
            return PlatformError{DescribeError(ERROR_ACCESS_DENIED)};
        }
        // The staged file's data went to disk when it was written; the rename itself is on disk when this returns.
        if (!::MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return LastError();
        }
        placed_ = true;
        // As CopyFile: the source's attributes, marked for backup. The contents are in place: the step fixes
        // the attributes up after.
        if (!::SetFileAttributesW(target_.c_str(), SettableAttributes(attributes_ | FILE_ATTRIBUTE_ARCHIVE))) {
            notes_.NoteFailure(L"SetFileAttributesW " + target_, LastError().description);
        }
        return Done{};
    }

private:
    Platform& notes_;
    std::wstring temporary_;
    std::wstring target_;
    DWORD attributes_;
    bool placed_ = false;
};

}  // namespace

Result<std::unique_ptr<StagedCopy>> StageCheckedCopy(Platform& notes, const std::wstring& source,
                                                     const std::wstring& destination,
                                                     const std::optional<Sha256Digest>& expected) {
    if (!expected) return Unrecorded();
    std::wstring target = destination;
    if (!target.empty() && target.back() == L'\\') target += FileNameOf(source);
    const UniqueFileHandle from = OpenForCopy(source);
    if (!from) return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(from.get(), &info)) return LastError();

    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    wchar_t temporary[MAX_PATH];
    if (!::GetTempFileNameW(folder.c_str(), L"stp", 0, temporary)) return LastError();
    // From here on the temporary file is the staged copy's, which removes it unless it is put in place.
    auto staged = std::make_unique<StagedFile>(notes, temporary, target, info.dwFileAttributes);
    UniqueFileHandle to(
        ::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!to) return LastError();
    const Status copied = CopyChecked(from.get(), to.get(), *expected);
    if (!copied.ok()) return copied.failure();
    // As CopyFile: the source's time of last writing. The copy is right without it.
    if (!::SetFileTime(to.get(), nullptr, nullptr, &info.ftLastWriteTime)) {
        notes.NoteFailure(L"SetFileTime " + target, LastError().description);
    }
    // On disk before it can replace anything: a staged copy that cannot be flushed replaces nothing.
    if (!::FlushFileBuffers(to.get())) return LastError();
    return staged;
}

Status WriteHeldCopy(Platform& notes, const std::wstring& source, const std::wstring& copy,
                     const std::optional<Sha256Digest>& expected, UniqueFileHandle& held) {
    if (!expected) return Unrecorded();
    const UniqueFileHandle from = OpenForCopy(source);
    if (!from) return LastError();

    UniqueLocalMemory descriptor;
    if (!SecurityDescriptorFromText(kInstallerCopySecurity,
                                    reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()))) {
        return LastError();
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    // A new file, never one that is there already (put there by someone else in the meantime, say).
    UniqueFileHandle writing(::CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!writing) return LastError();
    const Status copied = CopyChecked(from.get(), writing.get(), *expected);
    if (!copied.ok()) {
        writing.reset();
        if (!::DeleteFileW(copy.c_str())) notes.NoteFailure(L"DeleteFileW " + copy, LastError().description);
        return copied;
    }

    // From writing to reading without ever letting go of the file: a handle that still lets the writer be,
    // then, the writer gone, the one that lets no one else write, rename or delete it.
    UniqueFileHandle bridge(::CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!bridge) return LastError();
    writing.reset();
    held.reset(::CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!held) return LastError();
    return Done{};
}

}  // namespace setup::win32
