// Win32Platform against the real API (run under Wine by tests/wine/run.sh, or on Windows).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <aclapi.h>
#include <sddl.h>

#include "core/design/progress_design.h"
#include "core/install/steps.h"
#include "win32/folder_lock.h"
#include "win32/form.h"
#include "win32/process_start.h"
#include "win32/handles.h"
#include "win32/responsiveness.h"
#include "win32/system_library.h"
#include "win32/verified_copy.h"
#include "win32/win32_platform.h"
#include "windows/forms.h"
#include "support/utf8.h"
#include "tests/helpers/files.h"
#include "tests/helpers/sides.h"

namespace {

// The value of a call that is to succeed; a failure fails the test with the platform's description of it.
template <class T>
T Ok(const setup::Result<T>& result) {
    EXPECT_TRUE(result.ok()) << ToUtf8(result.error());
    return result.value();
}
// The same for a value that can only be moved (an owner of an object).
template <class T>
T Ok(setup::Result<T>&& result) {
    EXPECT_TRUE(result.ok()) << ToUtf8(result.error());
    return result.take();
}
using setup::WaitResult;
using setup::Win32Platform;
using namespace setup::win32;

// ---------------------------------------------------------------------------------------------------------
// Where Wine behaves differently from Windows. Under Wine the tests expect Wine's behaviour for these and
// fail once Wine stops showing it, so that the entry is removed rather than left to hide a regression.
enum class WineDifference {
    ArchiveAlwaysSet,        // files always report FILE_ATTRIBUTE_ARCHIVE; SetFileAttributesW cannot clear it
    ShowCmdNotLoaded,        // IShellLinkW loaded from a .lnk reports show command 1 whatever the file's header holds
    FileSecurityNotKept,     // a new file's security descriptor is not kept: its DACL is made from the Unix mode
    NoShutdownBlockReason,   // ShutdownBlockReasonCreate fails with ERROR_CALL_NOT_IMPLEMENTED (Query would abort)
    FolderSecurityNotKept,   // SetSecurityInfo on a folder succeeds, but its DACL is then made from the Unix mode
    LinkOpenedFollowed,      // FILE_FLAG_OPEN_REPARSE_POINT follows a link: the handle shows the folder it leads to
    ImageLoadPolicyIgnored,  // the image-load policy is taken at the start, but the program does not run under it
    OwnerNotKept,            // an owner set on a file or folder is not kept: the owner read back is Wine's user
};

bool RunningUnderWine() { return sides::UnderWine(); }

bool Applies(WineDifference) { return RunningUnderWine(); }

// ---------------------------------------------------------------------------------------------------------
// Helpers.

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring HelperPath() { return ModuleFolder() + L"\\wine_helper.exe"; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << "cannot write " << ToUtf8(path) << ": error " << ::GetLastError();
}

// What make dist records of a file: its SHA-256.
setup::Sha256Digest Digest(const std::wstring& path) { return setup::Sha256Of(ReadFileBytes(path)); }

// The component step's copy: staged (read and checked) first, then put in place.
setup::Status CopyFileOverwrite(Win32Platform& platform, const std::wstring& source, const std::wstring& destination,
                                const std::optional<setup::Sha256Digest>& expected) {
    auto staged = platform.StageCopy(source, destination, expected);
    if (!staged.ok()) return staged.failure();
    return staged.value()->PutInPlace();
}

// Names in a folder, for what a failed copy might leave behind.
std::vector<std::wstring> FolderNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Sets an environment variable for one scope; started programs inherit it.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnv() { ::SetEnvironmentVariableW(name_, nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const wchar_t* name_;
};

// The lines of a helper's record file, once it is there (bounded wait).
std::vector<std::wstring> WaitForRecord(const std::wstring& path, DWORD timeout_ms = 15000) {
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    while (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount64() > deadline) return {};
        ::Sleep(20);
    }
    return ReadLines(path);
}

DWORD PidFromRecord(const std::vector<std::wstring>& record) {
    for (const auto& line : record) {
        if (line.rfind(L"pid=", 0) == 0) return static_cast<DWORD>(std::wcstoul(line.c_str() + 4, nullptr, 10));
    }
    return 0;
}

class Win32PlatformTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        static int counter = 0;
        root_ = std::wstring(temp) + L"setup-wine-tests-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr)) << ToUtf8(root_);
    }
    void TearDown() override { DeleteTree(root_); }

    std::wstring Path(const std::wstring& name) const { return root_ + L"\\" + name; }

    Win32Platform platform_;
    std::wstring root_;
};

// ---------------------------------------------------------------------------------------------------------
// Folders and existence.

TEST_F(Win32PlatformTest, SystemFolderExists) {
    const std::wstring folder = Ok(platform_.SystemFolder());
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(Ok(platform_.FolderExists(folder))) << ToUtf8(folder);
    std::wstring lower = folder;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    EXPECT_NE(lower.find(L"system32"), std::wstring::npos) << ToUtf8(folder);
}

TEST_F(Win32PlatformTest, ProgramFolderIsThisProgramsFolder) {
    const std::wstring folder = Ok(platform_.ProgramFolder());
    EXPECT_EQ(folder, ModuleFolder());
    EXPECT_NE(folder.back(), L'\\');
}

TEST_F(Win32PlatformTest, ExistenceChecksTellFilesFromFolders) {
    WriteBytes(Path(L"file.txt"), "x");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"フォルダ").c_str(), nullptr));
    struct Case {
        const char* label;
        std::wstring path;
        bool file;
        bool folder;
    } cases[] = {
        {"file", Path(L"file.txt"), true, false},
        {"folder", Path(L"フォルダ"), false, true},
        {"folder with backslash", Path(L"フォルダ\\"), false, true},
        {"missing", Path(L"missing.txt"), false, false},
        {"missing parent", Path(L"nowhere\\file.txt"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Ok(platform_.FileExists(c.path)), c.file);
        EXPECT_EQ(Ok(platform_.FolderExists(c.path)), c.folder);
    }
}

using sides::DaclText;

TEST_F(Win32PlatformTest, LockFolderRefusesALinkAndWhatIsNoFolder) {
    // A junction made as Windows makes one (under Wine the host's symbolic link, shown as a reparse point by name).
    ASSERT_TRUE(::CreateDirectoryW(Path(L"target").c_str(), nullptr));
    const sides::Junction junction(Path(L"link"), Path(L"target"));
    ASSERT_TRUE(junction.made()) << ToUtf8(junction.why());
    const std::wstring target_before = DaclText(Path(L"target"));
    const auto link = platform_.LockFolder(Path(L"link"));
    ASSERT_FALSE(link.ok());
    EXPECT_EQ(link.refusal(), setup::Refusal::Link);
    EXPECT_EQ(DaclText(Path(L"target")), target_before) << "what the link leads to was changed";
    UniqueFileHandle opened(::CreateFileW(Path(L"link").c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    ASSERT_TRUE(opened);
    FILE_ATTRIBUTE_TAG_INFO info{};
    ASSERT_TRUE(::GetFileInformationByHandleEx(opened.get(), FileAttributeTagInfo, &info, sizeof info));
    if (Applies(WineDifference::LinkOpenedFollowed)) {
        EXPECT_FALSE(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            << "Wine now opens the link itself: remove WineDifference::LinkOpenedFollowed";
    } else {
        // The handle is the junction's own, as LockFolder's is: what it checks is on the handle.
        EXPECT_TRUE(info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        EXPECT_EQ(info.ReparseTag, static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT));
    }
    // The lock's check on the handle alone, without what the name shows: Windows sees the junction there, Wine
    // only by its name.
    EXPECT_EQ(IsLink(opened.get(), 0, nullptr), sides::Expected(true, false));
    EXPECT_TRUE(IsLink(opened.get(), ::GetFileAttributesW(Path(L"link").c_str()), nullptr));

    WriteBytes(Path(L"file.txt"), "x");
    for (const std::wstring& path : {Path(L"file.txt"), Path(L"missing")}) {
        SCOPED_TRACE(ToUtf8(path));
        const auto failure = platform_.LockFolder(path);
        ASSERT_FALSE(failure.ok());
        EXPECT_NE(failure.refusal(), setup::Refusal::Link);
        EXPECT_FALSE(failure.error().empty());
    }
}

// The tree of a held folder, read through its handle: a folder, a junction to it, and a file with two names.
TEST_F(Win32PlatformTest, HeldFolderListsItsTreeWithLinksOwnersAndSecondNames) {
    const std::wstring root = Path(L"tree");
    ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\target").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\target\\Info").c_str(), nullptr));
    const sides::Junction junction(root + L"\\link", root + L"\\target");
    ASSERT_TRUE(junction.made()) << ToUtf8(junction.why());
    WriteBytes(root + L"\\target\\Info\\Ruvok.exe", "tool");
    ASSERT_TRUE(::CreateHardLinkW((root + L"\\target\\second.exe").c_str(),
                                  (root + L"\\target\\Info\\Ruvok.exe").c_str(), nullptr));
    auto lock = platform_.LockFolder(root);
    ASSERT_TRUE(lock.ok()) << ToUtf8(lock.error());
    const std::wstring account = Ok(platform_.SetupAccount());
    EXPECT_EQ(account.rfind(L"S-1-5-", 0), 0u) << ToUtf8(account);
    EXPECT_EQ(lock.value()->Self().owner.rfind(L"S-1-", 0), 0u);

    std::map<std::wstring, setup::TreeEntry> top;
    for (const setup::TreeEntry& e : Ok(lock.value()->List(L""))) top[e.name] = e;
    ASSERT_TRUE(top.count(L"target") && top.count(L"link"));
    EXPECT_TRUE(top[L"target"].folder);
    EXPECT_FALSE(top[L"target"].link);
    EXPECT_TRUE(top[L"link"].link);
    std::map<std::wstring, setup::TreeEntry> below;
    for (const setup::TreeEntry& e : Ok(lock.value()->List(L"target"))) below[e.name] = e;
    EXPECT_TRUE(below[L"Info"].folder);
    EXPECT_TRUE(below[L"second.exe"].link) << "a file with a second name";
    const auto info = Ok(lock.value()->List(L"target\\Info"));
    ASSERT_EQ(info.size(), 1u);
    EXPECT_TRUE(info[0].link) << "the first name of a file with two";
    // What the installer writes as an administrator belongs to the administrators, or to setup's own account.
    EXPECT_TRUE(setup::TrustedOwner(info[0].owner, account)) << ToUtf8(info[0].owner);
    EXPECT_FALSE(info[0].owner_name.empty());
    EXPECT_FALSE(lock.value()->List(L"missing").ok());
    ASSERT_TRUE(::DeleteFileW((root + L"\\target\\second.exe").c_str()));
    EXPECT_FALSE(Ok(lock.value()->List(L"target\\Info"))[0].link);
    Ok(lock.value()->Release(setup::GiveBack::Earlier, L""));
}

// A folder an administrator gave to another account shows that owner through the lock, as the check of the
// tree reads it; Windows keeps the owner given, Wine keeps its own.
TEST_F(Win32PlatformTest, HeldFolderShowsAnOwnerGivenAway) {
    const std::wstring folder = Path(L"given");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const bool given = GiveAway(folder, L"S-1-5-32-545");  // Users
    auto lock = platform_.LockFolder(folder);
    ASSERT_TRUE(lock.ok()) << ToUtf8(lock.error());
    const std::wstring owner = lock.value()->Self().owner;
    if (Applies(WineDifference::OwnerNotKept)) {
        EXPECT_NE(owner, L"S-1-5-32-545") << "Wine now keeps an owner given: remove WineDifference::OwnerNotKept";
    } else {
        ASSERT_TRUE(given);
        EXPECT_EQ(owner, L"S-1-5-32-545");
        EXPECT_FALSE(setup::TrustedOwner(owner, Ok(platform_.SetupAccount())));
    }
}

TEST_F(Win32PlatformTest, LockFolderHoldsTheFolderUntilReleasedAndGivesItsAccessBack) {
    const std::wstring folder = Path(L"DAZov");
    const std::wstring moved = Path(L"DAZov-moved");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring before = DaclText(folder);
    {
        auto lock = platform_.LockFolder(folder);
        ASSERT_TRUE(lock.ok()) << ToUtf8(lock.error());
        EXPECT_FALSE(lock.value()->FoundHeld());
        EXPECT_EQ(DaclText(folder), before) << "changed before it was held";
        Ok(lock.value()->Hold());
        // Nobody can rename the folder and put another in its place while it is held.
        ::SetLastError(0xdeadbeef);
        const BOOL renamed = ::MoveFileW(folder.c_str(), moved.c_str());
        // The lock reads the folder's entries, so its handle takes part in the sharing checks that a rename meets.
        EXPECT_FALSE(renamed);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        ::SetLastError(0xdeadbeef);
        EXPECT_FALSE(::RemoveDirectoryW(folder.c_str()));
        const std::wstring held = DaclText(folder);
        std::printf("      before: %s\n      held:   %s\n", ToUtf8(before).c_str(), ToUtf8(held).c_str());
        if (Applies(WineDifference::FolderSecurityNotKept)) {
            EXPECT_EQ(held.rfind(L"D:P", 0), std::wstring::npos)
                << "Wine now keeps a folder's DACL: remove WineDifference::FolderSecurityNotKept";
            EXPECT_TRUE(sides::UnprivilegedMayAddFile(folder)) << "Wine now keeps a folder's DACL";
        } else {
            EXPECT_EQ(held, L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)");
            EXPECT_FALSE(sides::UnprivilegedMayAddFile(folder)) << "a user without administrator rights may write";
        }
        Ok(lock.value()->Release(setup::GiveBack::Earlier, L""));
        // Released once: the lock's end does nothing more.
    }
    EXPECT_EQ(DaclText(folder), before);
    EXPECT_TRUE(sides::UnprivilegedMayAddFile(folder)) << "the folder's user may not write it again";
    EXPECT_TRUE(::MoveFileW(folder.c_str(), moved.c_str())) << "still held after the release";
}

// A folder setup makes is held from the moment it exists; given back, it takes what its parent passes on, and
// the service tool's folder in it stays the administrators'.
TEST_F(Win32PlatformTest, HeldFolderMadeWithTheHeldAccessIsGivenBackAsItsParentPassesOn) {
    const std::wstring folder = Path(L"DAZov");
    const std::wstring held = L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;OW)";
    {
        auto lock = platform_.CreateHeldFolder(folder);
        ASSERT_TRUE(lock.ok()) << ToUtf8(lock.error());
        EXPECT_FALSE(platform_.CreateHeldFolder(folder).ok());
        EXPECT_FALSE(platform_.CreateHeldFolder(Path(L"no\\parent")).ok());
        ASSERT_TRUE(::CreateDirectoryW((folder + L"\\Info").c_str(), nullptr));
        if (Applies(WineDifference::FolderSecurityNotKept)) {
            EXPECT_NE(DaclText(folder), held) << "Wine now keeps a folder's DACL: remove WineDifference::FolderSecurityNotKept";
            EXPECT_FALSE(lock.value()->FoundHeld());
        } else {
            EXPECT_EQ(DaclText(folder), held);
            EXPECT_TRUE(lock.value()->FoundHeld()) << "a cut-off run would leave it so";
        }
        Ok(lock.value()->Hold());
        Ok(lock.value()->Release(setup::GiveBack::FromParent, L"Info"));
    }
    if (!Applies(WineDifference::FolderSecurityNotKept)) {
        EXPECT_EQ(DaclText(folder).rfind(L"D:AI", 0), 0u) << ToUtf8(DaclText(folder));  // inherited only
        EXPECT_EQ(DaclText(folder + L"\\Info"), held);
    }
    // Not held any more.
    EXPECT_TRUE(::MoveFileW(folder.c_str(), Path(L"moved").c_str()));
}

// The descriptors setup gives what it makes and holds, parsed from their text as Windows parses them.
TEST(SecurityTest, DescriptorsAreProtectedAndGrantExactlyTheirEntries) {
    struct Ace {
        const wchar_t* sid;
        ACCESS_MASK mask;
        BYTE flags;
    };
    constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    constexpr ACCESS_MASK kReadAndRun = 0x1200a9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
    struct Case {
        const char* label;
        const wchar_t* sddl;
        std::vector<Ace> aces;
    };
    const Case cases[] = {
        {"the installer's copy",
         kInstallerCopySecurity,
         {{L"S-1-5-18", FILE_ALL_ACCESS, 0}, {L"S-1-5-32-544", FILE_ALL_ACCESS, 0}, {L"S-1-5-32-545", kReadAndRun, 0}}},
        {"the held install root",
         kHeldFolderSecurity,
         {{L"S-1-5-18", FILE_ALL_ACCESS, kInherited},
          {L"S-1-5-32-544", FILE_ALL_ACCESS, kInherited},
          {L"S-1-5-32-545", kReadAndRun, kInherited},
          {L"S-1-3-4", kReadAndRun, kInherited}}},  // OWNER RIGHTS: the owner may not change the access
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        UniqueLocalMemory descriptor;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            c.sddl, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr));
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "inherits from above";
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
        ASSERT_TRUE(present && dacl);
        ASSERT_EQ(dacl->AceCount, c.aces.size());
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            SCOPED_TRACE(ToUtf8(c.aces[i].sid));
            void* ace = nullptr;
            ASSERT_TRUE(::GetAce(dacl, i, &ace));
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(allowed->Header.AceFlags, c.aces[i].flags);
            EXPECT_EQ(allowed->Mask, c.aces[i].mask);
            UniqueLocalMemory sid;
            ASSERT_TRUE(::ConvertStringSidToSidW(c.aces[i].sid, reinterpret_cast<PSID*>(sid.put())));
            EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), sid.get()));
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Error descriptions.

TEST_F(Win32PlatformTest, FailureCarriesTheSystemsDescriptionOfTheFailingCall) {
    ::SetLastError(0xdeadbeef);
    const auto failure = platform_.GetAttributes(Path(L"missing.txt"));
    ASSERT_FALSE(failure.ok());
    std::printf("      description: %s\n", ToUtf8(failure.error()).c_str());
    // Trimmed and never empty: see DescribeErrorTest.
    EXPECT_EQ(failure.error(), setup::DescribeError(ERROR_FILE_NOT_FOUND));
}

TEST(DescribeErrorTest, TrimsTheLineBreakAndNeverGivesAnEmptyText) {
    struct Case {
        const char* label;
        DWORD code;
    } cases[] = {
        {"file not found", ERROR_FILE_NOT_FOUND},
        {"access denied", ERROR_ACCESS_DENIED},
        {"already exists", ERROR_ALREADY_EXISTS},
        {"HRESULT E_NOINTERFACE", static_cast<DWORD>(E_NOINTERFACE)},
        {"unknown code", 0x2badf00d},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::wstring text = setup::DescribeError(c.code);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), L'\n');
        EXPECT_NE(text.back(), L'\r');
    }
    EXPECT_EQ(setup::DescribeError(0x2badf00d), L"0x2BADF00D");
}

// ---------------------------------------------------------------------------------------------------------
// Attributes.

TEST_F(Win32PlatformTest, AttributesReadAndWriteTheReadOnlyAndArchiveBits) {
    const std::wstring file = Path(L"component.ocx");
    WriteBytes(file, "ocx");
    // A new file has the archive bit on both systems.
    EXPECT_EQ(Ok(platform_.GetAttributes(file)), setup::kAttrArchive);

    struct Case {
        const char* label;
        std::uint32_t written;
        std::uint32_t on_windows;
    } cases[] = {
        {"read-only and archive", setup::kAttrReadOnly | setup::kAttrArchive,
         setup::kAttrReadOnly | setup::kAttrArchive},
        {"archive only", setup::kAttrArchive, setup::kAttrArchive},
        {"read-only only", setup::kAttrReadOnly, setup::kAttrReadOnly},
        {"nothing", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Ok(platform_.SetAttributes(file, c.written));
        const std::uint32_t read = Ok(platform_.GetAttributes(file));
        if (Applies(WineDifference::ArchiveAlwaysSet) && !(c.written & setup::kAttrArchive)) {
            EXPECT_EQ(read, c.on_windows | setup::kAttrArchive)
                << "Wine now clears the archive bit: remove WineDifference::ArchiveAlwaysSet";
        } else {
            EXPECT_EQ(read, c.on_windows);
        }
    }
}

TEST_F(Win32PlatformTest, AttributesOfAMissingFileFail) {
    EXPECT_FALSE(platform_.GetAttributes(Path(L"missing")).ok());
    EXPECT_FALSE(platform_.SetAttributes(Path(L"missing"), setup::kAttrArchive).ok());
}

// ---------------------------------------------------------------------------------------------------------
// Copy and delete.

TEST_F(Win32PlatformTest, CopyIntoAFolderKeepsTheFileNameAndTheSourcesAttributes) {
    WriteBytes(Path(L"source.dll"), "new contents");
    ASSERT_TRUE(::SetFileAttributesW(Path(L"source.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"system").c_str(), nullptr));
    Ok(CopyFileOverwrite(platform_, Path(L"source.dll"), Path(L"system\\"), setup::Sha256Of("new contents")));
    EXPECT_EQ(ReadFileBytes(Path(L"system\\source.dll")), "new contents");
    // As CopyFile leaves it: read-only like the source (a file from a disc), which the component step clears.
    EXPECT_TRUE(Ok(platform_.GetAttributes(Path(L"system\\source.dll"))) & setup::kAttrReadOnly);
    EXPECT_EQ(FolderNames(Path(L"system")), std::vector<std::wstring>{L"source.dll"});
}

TEST_F(Win32PlatformTest, CopyOntoAFilePathRenames) {
    WriteBytes(Path(L"rudize.exe"), "installer");
    Ok(CopyFileOverwrite(platform_, Path(L"rudize.exe"), Path(L"setup.exe"), Digest(Path(L"rudize.exe"))));
    EXPECT_EQ(ReadFileBytes(Path(L"setup.exe")), "installer");
    EXPECT_EQ(ReadFileBytes(Path(L"rudize.exe")), "installer");
}

TEST_F(Win32PlatformTest, CopyOverwritesAnExistingFile) {
    WriteBytes(Path(L"new.dll"), "new");
    WriteBytes(Path(L"old.dll"), "old and longer");
    Ok(CopyFileOverwrite(platform_, Path(L"new.dll"), Path(L"old.dll"), Digest(Path(L"new.dll"))));
    EXPECT_EQ(ReadFileBytes(Path(L"old.dll")), "new");

    ASSERT_TRUE(::CreateDirectoryW(Path(L"into").c_str(), nullptr));
    WriteBytes(Path(L"into\\new.dll"), "stale");
    Ok(CopyFileOverwrite(platform_, Path(L"new.dll"), Path(L"into\\"), Digest(Path(L"new.dll"))));
    EXPECT_EQ(ReadFileBytes(Path(L"into\\new.dll")), "new");
}

TEST_F(Win32PlatformTest, CopyFailuresAreReported) {
    EXPECT_FALSE(CopyFileOverwrite(platform_, Path(L"missing.dll"), Path(L"x.dll"), setup::Sha256Of("")).ok());
    WriteBytes(Path(L"a.dll"), "a");
    EXPECT_FALSE(CopyFileOverwrite(platform_, Path(L"a.dll"), Path(L"no folder\\"), Digest(Path(L"a.dll"))).ok());
}

// A large file, read in several pieces: the digest is the whole file's.
TEST_F(Win32PlatformTest, CopyOfAFileThatDoesNotMatchItsRecordLeavesTheTargetAsItWas) {
    std::string large(300 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 31 + i / 4096);
    WriteBytes(Path(L"comdlg32.ocx"), large);
    ASSERT_TRUE(::CreateDirectoryW(Path(L"system").c_str(), nullptr));
    WriteBytes(Path(L"system\\comdlg32.ocx"), "the copy other programs use");
    std::string changed = large;
    changed[200 * 1024] ^= 1;

    struct Case {
        const char* label;
        std::optional<setup::Sha256Digest> record;
        DWORD code;
    };
    const Case cases[] = {
        {"one byte differs", setup::Sha256Of(changed), ERROR_FILE_CORRUPT},
        {"no record", std::nullopt, 577 /* ERROR_INVALID_IMAGE_HASH */},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto failure = CopyFileOverwrite(platform_, Path(L"comdlg32.ocx"), Path(L"system\\"), c.record);
        ASSERT_FALSE(failure.ok());
        std::printf("      description: %s\n", ToUtf8(failure.error()).c_str());
        EXPECT_EQ(failure.refusal(), setup::Refusal::Unverified);
        EXPECT_EQ(failure.error(), setup::DescribeError(c.code));
        EXPECT_EQ(ReadFileBytes(Path(L"system\\comdlg32.ocx")), "the copy other programs use");
        EXPECT_EQ(FolderNames(Path(L"system")), std::vector<std::wstring>{L"comdlg32.ocx"}) << "left behind";
    }
    Ok(CopyFileOverwrite(platform_, Path(L"comdlg32.ocx"), Path(L"system\\"), setup::Sha256Of(large)));
    EXPECT_TRUE(ReadFileBytes(Path(L"system\\comdlg32.ocx")) == large);
}

// Only meaningful when Wine does not run as root: root ignores the write bits that hold "read-only".
TEST_F(Win32PlatformTest, ReadOnlyFileResistsPlainDeleteButNotForcedDelete) {
    const std::wstring file = Path(L"setup.exe");
    WriteBytes(file, "copy");
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));

    ::SetLastError(0xdeadbeef);
    ASSERT_FALSE(::DeleteFileW(file.c_str()))
        << "a read-only file was deleted without clearing the bit: is Wine running as root?";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CopyFileOverwrite(platform_, Path(L"setup.exe"), file, Digest(file)).ok());

    Ok(platform_.DeleteFileForce(file));
    EXPECT_FALSE(Ok(platform_.FileExists(file)));
}

TEST_F(Win32PlatformTest, ForcedDeleteOfAPlainFileAndOfAMissingOne) {
    WriteBytes(Path(L"plain.txt"), "x");
    Ok(platform_.DeleteFileForce(Path(L"plain.txt")));
    EXPECT_FALSE(Ok(platform_.FileExists(Path(L"plain.txt"))));
    const auto failure = platform_.DeleteFileForce(Path(L"plain.txt"));
    ASSERT_FALSE(failure.ok());
    EXPECT_EQ(failure.error(), setup::DescribeError(ERROR_FILE_NOT_FOUND));
}

// ---------------------------------------------------------------------------------------------------------
// Starting programs.

// A started program takes DLLs named without a path from the system folder before its own: one planted beside
// it under a system DLL's name is not loaded (Windows 10 and later).
void ExpectPrefersSystem32(const std::vector<std::wstring>& record) {
    ASSERT_GE(record.size(), 6u) << "the started program recorded no image-load policy";
    if (Applies(WineDifference::ImageLoadPolicyIgnored)) {
        EXPECT_EQ(record[5], L"prefer_system32=0")
            << "Wine now starts a program under the policy: remove WineDifference::ImageLoadPolicyIgnored";
    } else {
        // Windows 10 and later: 1. Windows 7 and 8.1 refuse the policy: the program reads none.
        EXPECT_EQ(record[5], sides::ExpectedPreferSystem32Record());
    }
}

// CreateProcessW as a system that refuses the image-load policy answers (Windows 7 and 8), or one that cannot
// find the program; every start it is asked for is recorded.
struct StartsSeen {
    std::vector<DWORD> flags;
    std::vector<WORD> show;
    DWORD refuse_with = ERROR_INVALID_PARAMETER;
} g_starts;

BOOL WINAPI RefusingPolicy(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES process_security,
                           LPSECURITY_ATTRIBUTES thread_security, BOOL inherit, DWORD flags, LPVOID environment,
                           LPCWSTR folder, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
    g_starts.flags.push_back(flags);
    g_starts.show.push_back(startup->wShowWindow);
    if (flags & EXTENDED_STARTUPINFO_PRESENT) {
        ::SetLastError(g_starts.refuse_with);
        return FALSE;
    }
    return ::CreateProcessW(application, command_line, process_security, thread_security, inherit, flags, environment,
                            folder, startup, process);
}

TEST_F(Win32PlatformTest, APolicyTheSystemRefusesStartsTheProgramAsBefore) {
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);
    std::wstring command_line = L"\"" + HelperPath() + L"\" /i";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;

    g_starts = {};
    ProcessInformation process;
    ASSERT_TRUE(CreateProcessPreferringSystem32(platform_, nullptr, command_line.data(), 0, nullptr, startup, process.put(),
                                                RefusingPolicy));
    // Asked with the policy, refused, then started without it, with everything else as it was.
    EXPECT_EQ(g_starts.flags, (std::vector<DWORD>{EXTENDED_STARTUPINFO_PRESENT, 0}));
    EXPECT_EQ(g_starts.show, (std::vector<WORD>{SW_SHOWNOACTIVATE, SW_SHOWNOACTIVATE}));
    const auto lines = WaitForRecord(record);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], command_line);
    EXPECT_EQ(lines[3], L"show=4 flags=1");

    // A program that cannot be started is not tried again: the failure is its own, and it is kept.
    g_starts = {};
    g_starts.refuse_with = ERROR_FILE_NOT_FOUND;
    ProcessInformation none;
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        CreateProcessPreferringSystem32(platform_, nullptr, command_line.data(), 0, nullptr, startup, none.put(), RefusingPolicy));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(g_starts.flags, std::vector<DWORD>{EXTENDED_STARTUPINFO_PRESENT});
}

TEST_F(Win32PlatformTest, StartProgramOfAMissingProgramFails) {
    const auto failure = platform_.StartProgram(L"\"" + Path(L"missing\\REGSVR32.exe") + L"\" /s x.dll", L"");
    ASSERT_FALSE(failure.ok());
    std::printf("      description: %s\n", ToUtf8(failure.error()).c_str());
    EXPECT_FALSE(failure.error().empty());
}

TEST_F(Win32PlatformTest, StartProgramPassesTheQuotedPathAndArguments) {
    // A folder with a blank and Japanese: the quoted path must survive both.
    const std::wstring folder = Path(L"ホルンデ Info");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring program = folder + L"\\Ruvok.exe";
    ASSERT_TRUE(::CopyFileW(HelperPath().c_str(), program.c_str(), FALSE)) << ToUtf8(HelperPath());
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);

    const std::wstring command_line = L"\"" + program + L"\" /i \"二つ目 の引数\"";
    Ok(platform_.StartProgram(command_line, L""));

    const auto lines = WaitForRecord(record);
    ASSERT_GE(lines.size(), 5u) << "the started program wrote no record";
    EXPECT_EQ(lines[0], command_line);
    wchar_t current[MAX_PATH * 4];
    ::GetCurrentDirectoryW(MAX_PATH * 4, current);
    EXPECT_EQ(lines[1], current);
    EXPECT_EQ(lines[2], folder);
    EXPECT_EQ(lines[3], L"show=4 flags=1");  // SW_SHOWNOACTIVATE, STARTF_USESHOWWINDOW
    ExpectPrefersSystem32(lines);

    // Given a current folder (the registrar's, the system folder), the program starts in it.
    ASSERT_TRUE(::DeleteFileW(record.c_str()));
    Ok(platform_.StartProgram(command_line, folder + L"\\"));
    const auto in_folder = WaitForRecord(record);
    ASSERT_GE(in_folder.size(), 2u);
    EXPECT_EQ(in_folder[1], folder);
}

TEST_F(Win32PlatformTest, ProgramFolderAtADriveRootKeepsItsBackslash) {
    // tests/wine/run.sh maps drive M: to an empty folder of the test run.
    ASSERT_TRUE(Ok(platform_.FolderExists(L"M:\\"))) << "drive M: is not mapped (run through tests/wine/run.sh)";
    const std::wstring program = L"M:\\setup.exe";
    const std::wstring record = Path(L"root-record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);

    EXPECT_EQ(Ok(platform_.RunCopyAndWait(HelperPath(), program, Digest(HelperPath()), 15000)).result, WaitResult::Finished);
    const auto lines = WaitForRecord(record, 1000);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], L"M:\\");
    ::DeleteFileW(program.c_str());
}

TEST_F(Win32PlatformTest, RunCopyAndWaitFinishesWithAProgramThatEnds) {
    const std::wstring program = Path(L"setup.exe");
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);
    ScopedEnv code(L"SETUP_HELPER_EXIT_CODE", L"3");  // the exit code is not looked at

    EXPECT_EQ(Ok(platform_.RunCopyAndWait(HelperPath(), program, Digest(HelperPath()), 15000)).result, WaitResult::Finished);
    EXPECT_EQ(ReadFileBytes(program), ReadFileBytes(HelperPath()));
    // Finished means ended: the record is already complete.
    const auto lines = WaitForRecord(record, 0);
    ASSERT_GE(lines.size(), 1u);
    // With no command line the program sees its own path as its command line.
    EXPECT_NE(lines[0].find(program), std::wstring::npos) << ToUtf8(lines[0]);
    ExpectPrefersSystem32(lines);
}

TEST_F(Win32PlatformTest, RunCopyAndWaitTimesOutAndLeavesTheProgramRunning) {
    const std::wstring program = Path(L"setup.exe");
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);
    ScopedEnv sleep(L"SETUP_HELPER_SLEEP_MS", L"20000");

    const ULONGLONG start = ::GetTickCount64();
    setup::CopyRun run = Ok(platform_.RunCopyAndWait(HelperPath(), program, Digest(HelperPath()), 500));
    EXPECT_EQ(run.result, WaitResult::TimedOut);
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_GE(elapsed, 450u);
    EXPECT_LT(elapsed, 5000u);
    ASSERT_NE(run.still_running, nullptr);
    bool ended = false;
    platform_.WhenEnded(std::move(run.still_running), [&ended] { ended = true; });

    const DWORD pid = PidFromRecord(WaitForRecord(record));
    ASSERT_NE(pid, 0u);
    UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
    ASSERT_TRUE(process);
    EXPECT_EQ(::WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "no longer running";
    EXPECT_FALSE(ended);
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), 5000);
    // Told from the message loop once it has ended.
    MSG message;
    for (ULONGLONG until = ::GetTickCount64() + 10000; !ended && ::GetTickCount64() < until;) {
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) {
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        }
    }
    EXPECT_TRUE(ended);
}

TEST_F(Win32PlatformTest, RunCopyAndWaitOfAFileThatIsNoProgramIsNotStarted) {
    WriteBytes(Path(L"rudize.exe"), "not a program");
    EXPECT_EQ(
        Ok(platform_.RunCopyAndWait(Path(L"rudize.exe"), Path(L"setup.exe"), setup::Sha256Of("not a program"), 1000)).result,
        WaitResult::NotStarted);
}

TEST_F(Win32PlatformTest, RunCopyAndWaitStartsNothingItCouldNotCopyAsANewCheckedFile) {
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);
    // A file that is there already (planted before the copy, say) is never written into or started.
    WriteBytes(Path(L"setup.exe"), "planted");
    auto failure = platform_.RunCopyAndWait(HelperPath(), Path(L"setup.exe"), Digest(HelperPath()), 15000);
    ASSERT_FALSE(failure.ok());
    EXPECT_EQ(failure.error(), setup::DescribeError(ERROR_FILE_EXISTS));
    EXPECT_NE(failure.refusal(), setup::Refusal::Unverified);
    EXPECT_EQ(ReadFileBytes(Path(L"setup.exe")), "planted");
    ASSERT_TRUE(::DeleteFileW(Path(L"setup.exe").c_str()));

    // A copy that is not what was recorded is not left behind.
    std::string changed = ReadFileBytes(HelperPath());
    changed[changed.size() / 2] ^= 1;
    failure = platform_.RunCopyAndWait(HelperPath(), Path(L"setup.exe"), setup::Sha256Of(changed), 15000);
    ASSERT_FALSE(failure.ok());
    EXPECT_EQ(failure.refusal(), setup::Refusal::Unverified);
    EXPECT_EQ(failure.error(), setup::DescribeError(ERROR_FILE_CORRUPT));
    EXPECT_FALSE(Ok(platform_.FileExists(Path(L"setup.exe"))));
    failure = platform_.RunCopyAndWait(HelperPath(), Path(L"setup.exe"), std::nullopt, 15000);
    EXPECT_EQ(failure.refusal(), setup::Refusal::Unverified);
    EXPECT_FALSE(Ok(platform_.FileExists(Path(L"setup.exe"))));
    EXPECT_TRUE(WaitForRecord(record, 0).empty()) << "a program was started";
}

// The installer's copy, as it is until it has been started.
TEST_F(Win32PlatformTest, HeldCopyCanBeStartedButNotChanged) {
    const std::wstring copy = Path(L"setup.exe");
    UniqueFileHandle held;
    Ok(setup::win32::WriteHeldCopy(platform_, HelperPath(), copy, Digest(HelperPath()), held));
    ASSERT_TRUE(held);
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(HelperPath()));

    // No one can write, rename or delete it meanwhile; reading it, and starting it, still work.
    ::SetLastError(0);
    UniqueFileHandle writer(::CreateFileW(copy.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(copy.c_str()));
    EXPECT_FALSE(::MoveFileW(copy.c_str(), Path(L"moved.exe").c_str()));
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(HelperPath())) << "cannot be read";
    const std::wstring record = Path(L"record.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ProcessInformation process;
    ASSERT_TRUE(
        ::CreateProcessW(copy.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put()))
        << ::GetLastError();
    EXPECT_EQ(::WaitForSingleObject(process.process(), 15000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_FALSE(WaitForRecord(record, 0).empty());

    // Only administrators and the system may change it, and users read and run it; nothing is inherited.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(held.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    UniqueLocalMemory owned(descriptor);
    std::vector<std::pair<std::string, ACCESS_MASK>> allowed;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t* sid = nullptr;
        ::ConvertSidToStringSidW(&entry->SidStart, &sid);
        allowed.emplace_back(sid ? ToUtf8(sid) : "?", entry->Mask);
        if (sid) ::LocalFree(sid);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const std::vector<std::pair<std::string, ACCESS_MASK>> ours = {
        {"S-1-5-18", FILE_ALL_ACCESS}, {"S-1-5-32-544", FILE_ALL_ACCESS}, {"S-1-5-32-545", 0x1200a9}};
    if (Applies(WineDifference::FileSecurityNotKept)) {
        EXPECT_NE(allowed, ours) << "Wine now keeps a file's security: remove WineDifference::FileSecurityNotKept";
    } else {
        EXPECT_EQ(allowed, ours);
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
    }

    held.reset();
    EXPECT_TRUE(::DeleteFileW(copy.c_str())) << "still held";
}

// A window of the waiting thread, counting what reaches it.
struct Counts {
    LONG user_input = 0;
    LONG app = 0;
};

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* counts = reinterpret_cast<Counts*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (counts != nullptr) {
        if (setup::IsUserInputMessage(message)) ::InterlockedIncrement(&counts->user_input);
        if (message == WM_APP) ::InterlockedIncrement(&counts->app);
    }
    return ::DefWindowProcW(window, message, w, l);
}

struct Pinger {
    HWND window = nullptr;
    DWORD waiting_thread = 0;
    std::wstring started_marker;  // written by the waited-for program once it runs
    UniqueHandle stop;
    LONG answered = 0;
    LONG unanswered = 0;
    ULONGLONG worst_ms = 0;
};

DWORD WINAPI PingThread(void* parameter) {
    auto* p = static_cast<Pinger*>(parameter);
    bool quit_posted = false;
    // Starting the program blocks the thread in CreateProcess, which is not the wait under test: ping only
    // once the program runs (bounded, in case it never does).
    for (int i = 0; i < 2000 && ::GetFileAttributesW(p->started_marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        if (::WaitForSingleObject(p->stop.get(), 10) != WAIT_TIMEOUT) return 0;
    }
    while (::WaitForSingleObject(p->stop.get(), 25) == WAIT_TIMEOUT) {
        const ULONGLONG start = ::GetTickCount64();
        DWORD_PTR result = 0;
        if (::SendMessageTimeoutW(p->window, WM_NULL, 0, 0, SMTO_NORMAL, 300, &result)) {
            ++p->answered;
        } else {
            ++p->unanswered;
        }
        p->worst_ms = std::max(p->worst_ms, ::GetTickCount64() - start);
        // What a user would do to the waiting window, and one message that is not input.
        ::PostMessageW(p->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::PostMessageW(p->window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        ::PostMessageW(p->window, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(p->window, WM_SYSKEYDOWN, VK_F4, 1 << 29);
        ::PostMessageW(p->window, WM_NCLBUTTONDOWN, HTCLOSE, 0);
        ::PostMessageW(p->window, WM_APP, 0, 0);
        if (!quit_posted) {
            ::PostThreadMessageW(p->waiting_thread, WM_QUIT, 7, 0);
            quit_posted = true;
        }
    }
    return 0;
}

TEST_F(Win32PlatformTest, RunCopyAndWaitKeepsAnsweringMessagesAndDropsUserInput) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = CountingWindowProc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"SetupWineTestsWaitingWindow";
    ::RegisterClassW(&window_class);
    Counts counts;
    HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"待機", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&counts));

    const std::wstring program = Path(L"setup.exe");
    ScopedEnv sleep(L"SETUP_HELPER_SLEEP_MS", L"3000");
    const std::wstring record = Path(L"started.txt");
    ScopedEnv env(L"SETUP_HELPER_RECORD", record);

    Pinger pinger;
    pinger.started_marker = record;
    pinger.window = window;
    pinger.waiting_thread = ::GetCurrentThreadId();
    pinger.stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle thread(::CreateThread(nullptr, 0, PingThread, &pinger, 0, nullptr));
    ASSERT_TRUE(thread);
    const HANDLE thread_handle = thread.get();

    const ULONGLONG start = ::GetTickCount64();
    const WaitResult result = Ok(platform_.RunCopyAndWait(HelperPath(), program, Digest(HelperPath()), 20000)).result;
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    ::SetEvent(pinger.stop.get());
    // A ping sent as the wait ended is answered here, as the program's own message loop would.
    for (ULONGLONG until = ::GetTickCount64() + 10000; ::GetTickCount64() < until;) {
        const DWORD woke = ::MsgWaitForMultipleObjects(1, &thread_handle, FALSE, 100, QS_SENDMESSAGE);
        if (woke == WAIT_OBJECT_0) break;
        MSG pending;
        ::PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }

    std::printf("      waited %llu ms; %ld pings answered, %ld unanswered, worst latency %llu ms\n", elapsed,
                pinger.answered, pinger.unanswered, pinger.worst_ms);
    EXPECT_EQ(result, WaitResult::Finished);
    EXPECT_GE(elapsed, 2500u);
    EXPECT_GT(pinger.answered, 10);
    EXPECT_EQ(pinger.unanswered, 0);
    EXPECT_LT(pinger.worst_ms, 300u);
    EXPECT_EQ(counts.user_input, 0) << "user input reached a window during the wait";
    EXPECT_GT(counts.app, 0) << "posted messages were not dispatched during the wait";

    // The quit request seen during the wait is there again for the caller's loop.
    MSG message;
    bool quit = false;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(message.wParam, 7u);
        }
    }
    EXPECT_TRUE(quit) << "WM_QUIT was swallowed by the wait";
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
}

// ---------------------------------------------------------------------------------------------------------
// Shell folders and shortcuts.

TEST_F(Win32PlatformTest, ShellFoldersOfTheShortcutStep) {
    struct Case {
        setup::ShellFolderId id;
        const wchar_t* ends_with;
    };
    for (const Case& c : {Case{setup::ShellFolderId::Desktop, L"\\Desktop"},
                          Case{setup::ShellFolderId::Programs, L"\\Start Menu\\Programs"}}) {
        SCOPED_TRACE(ToUtf8(c.ends_with));
        const auto folder = platform_.ShellFolder(c.id, nullptr);
        ASSERT_TRUE(folder.has_value());
        // The desk user's is the same folder here: setup runs as the user of the shell.
        const auto desk = Ok(platform_.FindDeskUser());
        ASSERT_NE(desk, nullptr);
        EXPECT_EQ(platform_.ShellFolder(c.id, desk.get()), folder);
        EXPECT_TRUE(Ok(platform_.FolderExists(*folder))) << ToUtf8(*folder);
        const std::wstring end = c.ends_with;
        EXPECT_TRUE(folder->size() > end.size() && folder->compare(folder->size() - end.size(), end.size(), end) == 0)
            << ToUtf8(*folder);
    }
}

// Every property of `shortcut` set through the platform's shortcut object, then saved to `file`.
setup::Status SaveShortcut(Win32Platform& platform, const std::wstring& file,
                           const setup::ShortcutDefinition& shortcut) {
    const auto created = platform.CreateShortcut();
    if (!created.ok()) return created.failure();
    setup::ShortcutFile& link = *created.value();
    for (const setup::Status& set :
         {link.SetTargetPath(shortcut.target_path), link.SetWindowStyle(shortcut.window_style),
          link.SetIconLocation(shortcut.icon_location, shortcut.icon_index), link.SetDescription(shortcut.description),
          link.SetWorkingDirectory(shortcut.working_directory)}) {
        if (!set.ok()) return set;
    }
    const auto desk = platform.FindDeskUser();
    return link.Save(file, desk.ok() ? desk.value().get() : nullptr);
}

TEST_F(Win32PlatformTest, ShortcutOnTheDesktopReadsBackEveryProperty) {
    const auto desktop = platform_.ShellFolder(setup::ShellFolderId::Desktop, nullptr);
    ASSERT_TRUE(desktop.has_value());
    // The application's files stand in a folder of this test.
    ASSERT_TRUE(::CreateDirectoryW(Path(L"DAZov").c_str(), nullptr));
    WriteBytes(Path(L"DAZov\\DAZov.mde"), "mde");
    WriteBytes(Path(L"DAZov\\DAZov.ico"), "ico");

    setup::ShortcutDefinition shortcut;
    shortcut.target_path = Path(L"DAZov\\DAZov.mde");
    shortcut.window_style = 3;
    shortcut.icon_location = Path(L"DAZov\\DAZov.ico");
    shortcut.icon_index = 2;
    shortcut.description = L"≪ホルンデ≫サンプル版";
    shortcut.working_directory = Path(L"DAZov");

    const std::wstring file = *desktop + L"\\ホルンデ.lnk";
    Ok(SaveShortcut(platform_, file, shortcut));
    ASSERT_TRUE(Ok(platform_.FileExists(file))) << ToUtf8(file);

    ShortcutProps r = ReadShortcut(file);
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(r.target, shortcut.target_path);
    if (Applies(WineDifference::ShowCmdNotLoaded)) {
        EXPECT_EQ(r.showCmd, 1) << "Wine now loads the show command: remove WineDifference::ShowCmdNotLoaded";
    } else {
        EXPECT_EQ(r.showCmd, 3);
    }
    EXPECT_EQ(r.icon, shortcut.icon_location);
    EXPECT_EQ(r.iconIndex, 2);
    EXPECT_EQ(r.description, shortcut.description);
    EXPECT_EQ(r.workdir, shortcut.working_directory);

    // The show command also sits in the file's header at offset 0x3C.
    const std::string bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 0x40u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0x3C]), 3u);

    // Saving again replaces the file.
    shortcut.window_style = 1;
    shortcut.description = L"二度目";
    Ok(SaveShortcut(platform_, file, shortcut));
    r = ReadShortcut(file);
    EXPECT_EQ(r.showCmd, 1);
    EXPECT_EQ(r.description, L"二度目");
    // Left on the desktop on purpose: run.sh checks it landed inside the prefix and parses it with lnkinfo.
}

TEST_F(Win32PlatformTest, ShortcutIntoAMissingFolderFails) {
    setup::ShortcutDefinition shortcut;
    shortcut.target_path = Path(L"x.mde");
    const auto failure = SaveShortcut(platform_, Path(L"no folder\\ホルンデ.lnk"), shortcut);
    ASSERT_FALSE(failure.ok());
    std::printf("      description: %s\n", ToUtf8(failure.error()).c_str());
    EXPECT_FALSE(failure.error().empty());
}

TEST(ComInitGuardTest, UninitialisesOnSFalseToo) {
    {
        ComInitGuard outer;
        ASSERT_TRUE(SUCCEEDED(outer.result()));
        {
            ComInitGuard inner;
            EXPECT_EQ(inner.result(), S_FALSE);
        }
        // Still initialised once: a second guard again gets S_FALSE.
        ComInitGuard again;
        EXPECT_EQ(again.result(), S_FALSE);
    }
    // Fully uninitialised: a new guard is the first again.
    ComInitGuard fresh;
    EXPECT_EQ(fresh.result(), S_OK);
}

// ---------------------------------------------------------------------------------------------------------
// Message boxes, answered by a thread that plays the user.

struct BoxUser {
    std::wstring title;
    int press = 0;
    bool found = false;
    std::wstring text;
    bool ok = false, yes = false, no = false, cancel = false;
    bool yes_is_default = false;
    HICON icon = nullptr;  // the icon the box shows
    ULONGLONG started = ::GetTickCount64();
    ULONGLONG found_after_ms = 0;
};

DWORD WINAPI AnswerBox(void* parameter) {
    auto* user = static_cast<BoxUser*>(parameter);
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    HWND box = nullptr;
    // Found once it is on screen: the buttons are arranged before the box is shown.
    while (!(box = ::FindWindowW(L"#32770", user->title.c_str())) || !::IsWindowVisible(box)) {
        if (::GetTickCount64() > deadline) return 1;
        ::Sleep(20);
    }
    user->found = true;
    user->found_after_ms = ::GetTickCount64() - user->started;
    // The message is the longest text among the box's static controls; the icon is the one showing an icon.
    for (HWND child = nullptr; (child = ::FindWindowExW(box, child, L"Static", nullptr)) != nullptr;) {
        wchar_t text[1024] = {};
        ::GetWindowTextW(child, text, 1024);
        if (wcslen(text) > user->text.size()) user->text = text;
        if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            user->icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        }
    }
    // A box may keep buttons it does not use as hidden controls.
    auto shown = [box](int id) {
        HWND button = ::GetDlgItem(box, id);
        return button != nullptr && ::IsWindowVisible(button);
    };
    user->ok = shown(IDOK);
    user->yes = shown(IDYES);
    user->no = shown(IDNO);
    user->cancel = shown(IDCANCEL);
    if (HWND yes = ::GetDlgItem(box, IDYES)) {
        user->yes_is_default = (::GetWindowLongW(yes, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    }
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(user->press, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, user->press)));
    return 0;
}

TEST(ShowMessageTest, ButtonsAndIconFollowTheKindAndTheAnswerComesBack) {
    using setup::Answer;
    using setup::MessageKind;
    struct Case {
        const char* label;
        MessageKind kind;
        const wchar_t* icon;  // the system's own icon the box shows
        int press;
        Answer answer;
        bool ok, yes, no;
    } cases[] = {
        {"warning", MessageKind::Warning, IDI_WARNING, IDOK, Answer::Ok, true, false, false},
        {"information", MessageKind::Information, IDI_INFORMATION, IDOK, Answer::Ok, true, false, false},
        {"question answered no", MessageKind::Question, IDI_QUESTION, IDNO, Answer::No, false, true, true},
        {"question answered yes", MessageKind::Question, IDI_QUESTION, IDYES, Answer::Yes, false, true, true},
    };
    Win32Platform platform;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        BoxUser user;
        user.title = L"≪ホルンデ≫サンプル版のセットアップ " + FromUtf8(c.label);
        user.press = c.press;
        UniqueHandle thread(::CreateThread(nullptr, 0, AnswerBox, &user, 0, nullptr));
        const Answer answer = Ok(platform.ShowMessage(L"エラー  テスト\r\n情報   ", c.kind, user.title));
        ::WaitForSingleObject(thread.get(), 10000);
        std::printf("      %s: box on screen after %llu ms, answered after %llu ms\n", c.label, user.found_after_ms,
                    ::GetTickCount64() - user.started);
        ASSERT_TRUE(user.found);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(user.icon, ::LoadIconW(nullptr, c.icon));
        EXPECT_EQ(user.ok, c.ok);
        EXPECT_EQ(user.yes, c.yes);
        EXPECT_EQ(user.no, c.no);
        EXPECT_FALSE(user.cancel);
        if (c.yes) {
            EXPECT_TRUE(user.yes_is_default);
        }
    }
}

TEST(ShowMessageTest, KeysTypedBeforeTheBoxDoNotAnswerIt) {
    // A window of this thread in front, and an Enter typed while the thread was busy: it waits in the queue.
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = ::DefWindowProcW;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"SetupWineTestsTypingWindow";
    ::RegisterClassW(&window_class);
    HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"入力", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                    100, nullptr, nullptr, window_class.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::SetForegroundWindow(window);
    ::SetFocus(window);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_RETURN;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(::SendInput(2, keys, sizeof(INPUT)), 2u);
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    while (!(HIWORD(::GetQueueStatus(QS_KEY)) & QS_KEY) && ::GetTickCount64() < deadline) ::Sleep(10);
    ASSERT_TRUE(HIWORD(::GetQueueStatus(QS_KEY)) & QS_KEY) << "the typed Enter never reached this thread";

    // The question's default is Yes: only No, pressed once the box is there, may answer it.
    BoxUser user;
    user.title = L"≪ホルンデ≫サンプル版のセットアップ 先行入力";
    user.press = IDNO;
    UniqueHandle thread(::CreateThread(nullptr, 0, AnswerBox, &user, 0, nullptr));
    const setup::Answer answer =
        Ok(Win32Platform().ShowMessage(L"セットアップを継続しますか？", setup::MessageKind::Question, user.title));
    ::WaitForSingleObject(thread.get(), 10000);
    EXPECT_TRUE(user.found);
    EXPECT_EQ(answer, setup::Answer::No) << "the Enter typed before the box answered it";
    ::DestroyWindow(window);
}

// ---------------------------------------------------------------------------------------------------------
// Windows of the program.

class CountingForm : public setup::Form {
public:
    using Form::Form;
    int unloads = 0;
    int clicks = 0;

protected:
    void Form_Unload() override { ++unloads; }
    void OnClick(int) override { ++clicks; }
};

TEST(FormTest, WhileTheInstallRunsNoWindowClosesActsOnAClickOrLetsTheSessionEnd) {
    setup::InstallRun run;
    Win32Platform platform;
    CountingForm form(setup::progress_design::kDesign, run, platform);
    ASSERT_TRUE(form.Show().ok());
    HWND window = form.hwnd();
    ASSERT_NE(window, nullptr);
    HWND button = form.Child(setup::progress_design::kOK);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    {
        const setup::InstallRun::Running running(run, window);
        EXPECT_TRUE(run.Busy());
        EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
        ::SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::SendMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(::IsWindow(window));
        EXPECT_EQ(form.unloads, 0);
        // A click from anywhere (another program posting BM_CLICK, say) reaches no handler.
        ::SendMessageW(button, BM_CLICK, 0, 0);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(setup::progress_design::kOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        EXPECT_EQ(form.clicks, 0);
        if (Applies(WineDifference::NoShutdownBlockReason)) {
            EXPECT_FALSE(::ShutdownBlockReasonCreate(window, L"確認"))
                << "Wine now keeps a shutdown reason: remove WineDifference::NoShutdownBlockReason";
        } else {
            wchar_t reason[128] = {};
            DWORD size = 128;
            EXPECT_TRUE(::ShutdownBlockReasonQuery(window, reason, &size));
            EXPECT_STREQ(reason, L"≪ホルンデ≫サンプル版のセットアップ中です。");
        }
    }
    EXPECT_FALSE(run.Busy());
    ::SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_EQ(form.clicks, 1);
    EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(form.unloads, 1);
    EXPECT_FALSE(::IsWindow(window));
}

// The helper makes a window whose creation fails, in a process of its own: the program ends there.
TEST(FormTest, AWindowThatCannotBeCreatedEndsTheProgramWithAReport) {
    ScopedEnv mode(L"SETUP_HELPER_FORM", L"uncreatable");
    BoxUser user;
    user.title = L"≪ホルンデ≫サンプル版のセットアップ";
    user.press = IDOK;
    UniqueHandle thread(::CreateThread(nullptr, 0, AnswerBox, &user, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ProcessInformation process;
    ASSERT_TRUE(::CreateProcessW(HelperPath().c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 process.put()));
    ASSERT_EQ(::WaitForSingleObject(process.process(), 20000), static_cast<DWORD>(WAIT_OBJECT_0)) << "still running";
    ::WaitForSingleObject(thread.get(), 10000);
    DWORD exit_code = 0;
    ::GetExitCodeProcess(process.process(), &exit_code);
    EXPECT_EQ(exit_code, 1u);
    ASSERT_TRUE(user.found) << "no report";
    EXPECT_TRUE(user.ok && !user.yes && !user.cancel);
    const std::wstring start = L"エラー  frmKyodaku Form_Initialize()\r\n情報   ";
    std::printf("      report: %s\n", ToUtf8(user.text).c_str());
    EXPECT_EQ(ToUtf8(user.text.substr(0, start.size())), ToUtf8(start));
    EXPECT_GT(user.text.size(), start.size()) << "no description";
}

}  // namespace

int main(int argc, char** argv) {
    // Plain output: under Wine the console colour calls only add noise.
    testing::GTEST_FLAG(color) = "no";
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
