#include "win32/folder_lock.h"

#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <vector>

#include "win32/errors.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace setup::win32 {

namespace {

// ERROR_REPARSE_POINT_ENCOUNTERED, which older headers do not name.
constexpr DWORD kReparsePointEncountered = 4395;

PlatformError Win32Error(DWORD code) { return PlatformError{DescribeError(code)}; }

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtStatusToErrorFn = ULONG(NTAPI*)(NTSTATUS);

// Opens `name`, a path relative to the open folder `folder`, as NtCreateFile does it: from that handle, not
// from a path looked up anew, and without following a link at its end. Null with the last error set when it
// cannot be opened.
UniqueFileHandle OpenBelow(HANDLE folder, const std::wstring& name, ACCESS_MASK access, bool directory) {
    static const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    static const auto create = ProcAddress<NtCreateFileFn>(ntdll, "NtCreateFile");
    static const auto to_error = ProcAddress<NtStatusToErrorFn>(ntdll, "RtlNtStatusToDosError");
    if (!create || !to_error) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return UniqueFileHandle();
    }
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<wchar_t*>(name.c_str());
    unicode.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    unicode.MaximumLength = unicode.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    constexpr ULONG kSynchronous = 0x20;     // FILE_SYNCHRONOUS_IO_NONALERT
    constexpr ULONG kForBackup = 0x4000;     // FILE_OPEN_FOR_BACKUP_INTENT: folders as well as files
    constexpr ULONG kDirectoryFile = 0x1;    // FILE_DIRECTORY_FILE
    const NTSTATUS status = create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                   FILE_OPEN_REPARSE_POINT | kSynchronous | kForBackup | (directory ? kDirectoryFile : 0),
                                   nullptr, 0);
    if (status < 0) {
        ::SetLastError(to_error(status));
        return UniqueFileHandle();
    }
    return UniqueFileHandle(handle);
}

}  // namespace

bool IsLink(HANDLE handle, DWORD named, bool* folder) {
    FILE_ATTRIBUTE_TAG_INFO held{};
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &held, sizeof held)) held.FileAttributes = named;
    if (folder) *folder = (held.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((held.FileAttributes | named) & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    // A file with a second name elsewhere: what is written to it is written there too.
    FILE_STANDARD_INFO standard{};
    return !(held.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           ::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) &&
           standard.NumberOfLinks > 1;
}

namespace {

// The held access as a DACL, made once for the run.
PACL HeldDacl() {
    static UniqueLocalMemory descriptor;
    static PACL dacl = nullptr;
    if (!dacl) {
        bool protect = true;
        PACL made = nullptr;
        if (SecurityDescriptorFromText(kHeldFolderSecurity, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) &&
            DaclOfDescriptor(descriptor.get(), &made, &protect)) {
            dacl = made;
        }
    }
    return dacl;
}

bool SameDacl(PACL a, PACL b) {
    return a && b && a->AclSize == b->AclSize && a->AceCount == b->AceCount && std::memcmp(a, b, a->AclSize) == 0;
}

class HeldFolder : public FolderLock {
public:
    HeldFolder(std::wstring path, UniqueFileHandle handle, TreeEntry self, UniqueLocalMemory saved, PACL saved_dacl,
               bool saved_protected)
        : path_(std::move(path)),
          handle_(std::move(handle)),
          self_(std::move(self)),
          saved_(std::move(saved)),
          saved_dacl_(saved_dacl),
          saved_protected_(saved_protected) {}
    ~HeldFolder() override {
        if (handle_) (void)Release(GiveBack::Earlier, L"");
    }

    const TreeEntry& Self() const override { return self_; }
    bool FoundHeld() const override { return saved_protected_ && SameDacl(saved_dacl_, HeldDacl()); }

    Status Hold() override {
        if (!HeldDacl()) return LastError();
        // A DACL that could be set only in part (on some of what is inside, say) is given back by the release.
        held_ = true;
        if (const DWORD error = SetFileDacl(handle_.get(), HeldDacl(), true)) return Win32Error(error);
        return Done{};
    }

    Result<std::vector<TreeEntry>> List(const std::wstring& folder) override {
        UniqueFileHandle opened;
        if (!folder.empty()) {
            opened = OpenBelow(handle_.get(), folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, true);
            if (!opened) return LastError();
        }
        const HANDLE listed = folder.empty() ? handle_.get() : opened.get();
        std::vector<TreeEntry> entries;
        std::vector<unsigned char> buffer(64 * 1024);
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        for (;;) {
            if (!::GetFileInformationByHandleEx(listed, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
                if (::GetLastError() == ERROR_NO_MORE_FILES) break;
                return LastError();
            }
            kind = FileIdBothDirectoryInfo;
            for (std::size_t at = 0;;) {
                const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
                std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
                if (name != L"." && name != L"..") {
                    Result<TreeEntry> entry = Read(listed, std::move(name), info->FileAttributes);
                    if (!entry.ok()) return entry.failure();
                    entries.push_back(entry.take());
                }
                if (info->NextEntryOffset == 0) break;
                at += info->NextEntryOffset;
            }
        }
        return entries;
    }

    // The service tool's folder first, while nothing can change it: its own protected access, so that nothing
    // the root passes on reaches it. Then the root, and the lock ends.
    Status Release(GiveBack back_to, std::wstring_view keep) override {
        if (!handle_) return Done{};
        Status kept = Done{};
        if (held_ && !keep.empty()) kept = Keep(std::wstring(keep));
        DWORD error = ERROR_SUCCESS;
        if (held_ && back_to == GiveBack::Earlier) error = SetFileDacl(handle_.get(), saved_dacl_, saved_protected_);
        if (held_ && back_to == GiveBack::FromParent) {
            // No entry of its own: only what the parent passes on.
            ACL empty{};
            empty.AclRevision = ACL_REVISION;
            empty.AclSize = sizeof empty;
            error = SetFileDacl(handle_.get(), &empty, false);
        }
        handle_.reset();
        held_ = false;
        if (error != ERROR_SUCCESS) return Win32Error(error);
        return kept;
    }

private:
    // One entry of the folder `folder`, opened from its handle.
    Result<TreeEntry> Read(HANDLE folder, std::wstring name, DWORD listed_attributes) {
        TreeEntry entry;
        UniqueFileHandle handle = OpenBelow(folder, name, READ_CONTROL | FILE_READ_ATTRIBUTES, false);
        if (!handle) return LastError();
        entry.link = IsLink(handle.get(), listed_attributes, &entry.folder);
        if (const DWORD error = FileOwner(handle.get(), &entry.owner, &entry.owner_name)) return Win32Error(error);
        entry.name = std::move(name);
        return entry;
    }

    Status Keep(const std::wstring& name) {
        UniqueFileHandle kept = OpenBelow(handle_.get(), name, READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES, true);
        if (!kept) {
            // Not there (the installer never ran, say): nothing to keep.
            if (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND) return Done{};
            return LastError();
        }
        // Checked with the tree, and held since: still, nothing is given an access through a link.
        const DWORD named = ::GetFileAttributesW((path_ + L"\\" + name).c_str());
        if (IsLink(kept.get(), named == INVALID_FILE_ATTRIBUTES ? 0 : named, nullptr)) {
            return PlatformError{DescribeError(kReparsePointEncountered), Refusal::Link};
        }
        if (const DWORD error = SetFileDacl(kept.get(), HeldDacl(), true)) return Win32Error(error);
        return Done{};
    }

    std::wstring path_;
    UniqueFileHandle handle_;
    TreeEntry self_;
    UniqueLocalMemory saved_;  // the descriptor saved_dacl_ lies in
    PACL saved_dacl_;
    bool saved_protected_;
    bool held_ = false;
};

}  // namespace

Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path) {
    // No FILE_SHARE_DELETE: while this handle is open the folder cannot be deleted, renamed or replaced.
    UniqueFileHandle handle(::CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return LastError();
    // What the handle holds, not what the name was a moment ago: Windows opens a junction or a symbolic link
    // itself here. Wine follows a link even so, and shows one only by its name; the name is held now, so its
    // attributes say the same.
    const DWORD named = ::GetFileAttributesW(path.c_str());
    bool folder = false;
    if (IsLink(handle.get(), named == INVALID_FILE_ATTRIBUTES ? 0 : named, &folder)) {
        return PlatformError{DescribeError(kReparsePointEncountered), Refusal::Link};
    }
    if (!folder) return Win32Error(ERROR_DIRECTORY);

    TreeEntry self;
    self.folder = true;
    if (const DWORD error = FileOwner(handle.get(), &self.owner, &self.owner_name)) return Win32Error(error);
    PSECURITY_DESCRIPTOR saved = nullptr;
    if (const DWORD error = FileDaclDescriptor(handle.get(), &saved)) return Win32Error(error);
    UniqueLocalMemory saved_owner(saved);
    PACL saved_dacl = nullptr;
    bool saved_protected = false;
    if (!DaclOfDescriptor(saved, &saved_dacl, &saved_protected)) return LastError();
    return std::unique_ptr<FolderLock>(std::make_unique<HeldFolder>(path, std::move(handle), std::move(self),
                                                                    std::move(saved_owner), saved_dacl,
                                                                    saved_protected));
}

Result<std::unique_ptr<FolderLock>> CreateHeldFolder(const std::wstring& path) {
    UniqueLocalMemory descriptor;
    if (!SecurityDescriptorFromText(kHeldFolderSecurity, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()))) {
        return LastError();
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    if (!::CreateDirectoryW(path.c_str(), &security)) return LastError();
    return LockFolder(path);
}

}  // namespace setup::win32
