#include "win32/process_start.h"

#include <vector>

#include "win32/errors.h"

namespace setup::win32 {

namespace {

// PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_PREFER_SYSTEM32_ALWAYS_ON, which the headers give only to
// programs built for Windows 10.
constexpr DWORD64 kPreferSystem32Images = 0x1ULL << 60;

// The attribute list the start is given: one attribute, the image-load policy.
class PolicyList {
public:
    explicit PolicyList(Platform& notes) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);  // fails, giving the size it needs
        if (size == 0) return;
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        list_ = list;
        if (!::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY, &policy_, sizeof policy_,
                                         nullptr, nullptr)) {
            notes.NoteFailure(L"UpdateProcThreadAttribute image-load policy", LastError().description);
            return;
        }
        ready_ = true;
    }
    ~PolicyList() {
        if (list_) ::DeleteProcThreadAttributeList(list_);
    }
    PolicyList(const PolicyList&) = delete;
    PolicyList& operator=(const PolicyList&) = delete;

    // Null when the system refused the attribute.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return ready_ ? list_ : nullptr; }

private:
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    DWORD64 policy_ = kPreferSystem32Images;  // read by the start, so it lives as long as the list
    bool ready_ = false;
};

}  // namespace

BOOL CreateProcessPreferringSystem32(Platform& notes, const wchar_t* application, wchar_t* command_line, DWORD flags,
                                     const wchar_t* current_folder, STARTUPINFOW& startup, PROCESS_INFORMATION* process,
                                     CreateProcessFn create) {
    {
        const PolicyList policy(notes);
        if (policy.get()) {
            STARTUPINFOEXW extended{};
            extended.StartupInfo = startup;
            extended.StartupInfo.cb = sizeof extended;
            extended.lpAttributeList = policy.get();
            if (create(application, command_line, nullptr, nullptr, FALSE, flags | EXTENDED_STARTUPINFO_PRESENT,
                       nullptr, current_folder, &extended.StartupInfo, process)) {
                return TRUE;
            }
            const DWORD error = ::GetLastError();
            // Any other failure is the program's own (not found, not a program): starting again would not help.
            if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED) {
                ::SetLastError(error);
                return FALSE;
            }
            notes.NoteFailure(L"CreateProcessW image-load policy", DescribeError(error));
        }
    }
    return create(application, command_line, nullptr, nullptr, FALSE, flags, nullptr, current_folder, &startup,
                  process);
}

}  // namespace setup::win32
