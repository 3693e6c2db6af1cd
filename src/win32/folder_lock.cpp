#include "win32/folder_lock.h"

#include <windows.h>

#include "win32/errors.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace setup::win32 {

namespace {

// ERROR_REPARSE_POINT_ENCOUNTERED, which older headers do not name.
constexpr DWORD kReparsePointEncountered = 4395;

PlatformError Win32Error(DWORD code) { return PlatformError{DescribeError(code)}; }

class HeldFolder : public FolderLock {
public:
    HeldFolder(UniqueFileHandle handle, UniqueLocalMemory saved, PACL saved_dacl, bool saved_protected)
        : handle_(std::move(handle)),
          saved_(std::move(saved)),
          saved_dacl_(saved_dacl),
          saved_protected_(saved_protected) {}
    ~HeldFolder() override {
        if (handle_) (void)Release();
    }

    HANDLE handle() const { return handle_.get(); }

    // The DACL as it was, protected or taking what the drive root passes on as before; the folder's contents
    // take it on too. Then the folder is let go.
    Status Release() override {
        if (!handle_) return Done{};
        const DWORD error = SetFileDacl(handle_.get(), saved_dacl_, saved_protected_);
        handle_.reset();
        if (error != ERROR_SUCCESS) return Win32Error(error);
        return Done{};
    }

private:
    UniqueFileHandle handle_;
    UniqueLocalMemory saved_;  // the descriptor saved_dacl_ lies in
    PACL saved_dacl_;
    bool saved_protected_;
};

}  // namespace

Result<std::unique_ptr<FolderLock>> LockFolder(const std::wstring& path) {
    // No FILE_SHARE_DELETE: while this handle is open the folder cannot be deleted, renamed or replaced.
    UniqueFileHandle handle(::CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return LastError();
    // What the handle holds, not what the name was a moment ago: Windows opens a junction or a symbolic link
    // itself here. Wine follows a link even so, and shows one only by its name; the name is held now, so its
    // attributes say the same.
    FILE_ATTRIBUTE_TAG_INFO held{};
    if (!::GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &held, sizeof held)) return LastError();
    const DWORD named = ::GetFileAttributesW(path.c_str());
    if ((held.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT))) {
        return PlatformError{DescribeError(kReparsePointEncountered), Refusal::Link};
    }
    if (!(held.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Win32Error(ERROR_DIRECTORY);

    PSECURITY_DESCRIPTOR saved = nullptr;
    if (const DWORD error = FileDaclDescriptor(handle.get(), &saved)) return Win32Error(error);
    UniqueLocalMemory saved_owner(saved);
    PACL saved_dacl = nullptr;
    bool saved_protected = false;
    if (!DaclOfDescriptor(saved, &saved_dacl, &saved_protected)) return LastError();

    UniqueLocalMemory locked;
    PACL locked_dacl = nullptr;
    bool protect = true;
    if (!SecurityDescriptorFromText(kHeldFolderSecurity, reinterpret_cast<PSECURITY_DESCRIPTOR*>(locked.put())) ||
        !DaclOfDescriptor(locked.get(), &locked_dacl, &protect)) {
        return LastError();
    }
    auto lock = std::make_unique<HeldFolder>(std::move(handle), std::move(saved_owner), saved_dacl, saved_protected);
    // A DACL that could be set only in part (on some of what is inside, say) is given back by the lock's end.
    if (const DWORD error = SetFileDacl(lock->handle(), locked_dacl, true)) return Win32Error(error);
    return lock;
}

}  // namespace setup::win32
