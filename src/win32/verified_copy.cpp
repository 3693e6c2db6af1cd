#include "win32/verified_copy.h"

#include <vector>

#include "win32/errors.h"
#include "win32/system_library.h"

namespace setup::win32 {

namespace {

// SYSTEM and the administrators may do anything with the installer's copy, users may read and run it, and
// nothing is inherited from the install root, which (made under C:\) lets every user change what is in it.
constexpr wchar_t kInstallerCopySecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// ERROR_INVALID_IMAGE_HASH, which MinGW's headers do not name: "Windows cannot verify the digital signature for
// this file", in the system's language.
constexpr DWORD kInvalidImageHash = 577;

}  // namespace

PlatformError Unrecorded() { return PlatformError{DescribeError(kInvalidImageHash), true}; }

UniqueFileHandle OpenForCopy(const std::wstring& path) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

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
    if (hash.Finish() != expected) return PlatformError{DescribeError(ERROR_FILE_CORRUPT), true};
    return Done{};
}

Status WriteHeldCopy(const std::wstring& source, const std::wstring& copy, const std::optional<Sha256Digest>& expected,
                     UniqueFileHandle& held) {
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
        ::DeleteFileW(copy.c_str());
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
