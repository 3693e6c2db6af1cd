#include "core/responsive_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/error_report.h"
#include "install_test_support.h"

namespace setup {
namespace {

// Every operation once, in the order of the interface; what they give back does not matter here.
void CallEveryOperation(Platform& platform) {
    const std::wstring file = L"C:\\DAZov\\setup.exe";
    (void)platform.SystemFolder();
    (void)platform.ProgramFolder();
    (void)platform.FolderExists(L"C:\\DAZov");
    (void)platform.CreateHeldFolder(L"C:\\DAZov");
    // The held folder answers before each folder of its tree it reads, and before it changes access.
    if (Result<std::unique_ptr<FolderLock>> lock = platform.LockFolder(L"C:\\DAZov"); lock.ok()) {
        (void)lock.value()->Hold();
        (void)lock.value()->List(L"");
        (void)lock.value()->List(L"Info");
        (void)lock.value()->Release(GiveBack::Earlier, L"");
    }
    (void)platform.FileExists(file);
    (void)platform.GetAttributes(file);
    (void)platform.SetAttributes(file, kAttrArchive);
    (void)platform.StageCopy(file, L"C:\\DAZov\\", std::nullopt);
    (void)platform.DeleteFileForce(file);
    (void)platform.StartProgram(L"\"C:\\DAZov\\Info\\Ruvok.exe\" /i", L"");
    (void)platform.RunCopyAndWait(file, L"C:\\DAZov\\setup.exe", std::nullopt, 50000);
    platform.WhenEnded(nullptr, [] {});
    (void)platform.SetupAccount();
    (void)platform.FindDeskUser();
    (void)platform.ShellFolder(ShellFolderId::Desktop, nullptr);
    (void)platform.CreateShortcut();
    (void)platform.ShowMessage(L"text", MessageKind::Information, L"title");
    platform.NoteFailure(L"what", L"description");
}

TEST(ResponsivePlatform, WindowsAnswerBeforeEachOperationThatMayTakeTime) {
    FakePlatform fake;
    ResponsivePlatform responsive(fake, [&fake] { fake.calls.push_back("answer"); });
    CallEveryOperation(responsive);

    std::vector<std::string> answered, direct;
    for (std::size_t i = 0; i < fake.calls.size(); ++i) {
        if (fake.calls[i] == "answer") continue;
        const std::string op = fake.calls[i].substr(0, fake.calls[i].find('('));
        (i > 0 && fake.calls[i - 1] == "answer" ? answered : direct).push_back(op);
    }
    EXPECT_EQ(answered, (std::vector<std::string>{"FolderExists", "CreateHeldFolder", "LockFolder", "HoldFolder",
                                                  "ListFolder", "ListFolder", "ReleaseFolder", "FileExists",
                                                  "GetAttributes", "SetAttributes", "StageCopy", "DeleteFileForce",
                                                  "StartProgram", "RunCopyAndWait", "FindDeskUser", "ShellFolder",
                                                  "CreateShortcut"}));
    // Quick, or answering by themselves (a lock let go unreleased gives the folder back at once).
    EXPECT_EQ(direct,
              (std::vector<std::string>{"SystemFolder", "ProgramFolder", "ReleaseFolder", "WhenEnded", "ShowMessage"}));
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "answer"), 17);
    EXPECT_EQ(fake.noted, std::vector<std::string>{"what: description"});
}

TEST(ResponsivePlatform, HandsTheOutcomeBack) {
    FakePlatform fake;
    fake.Fail("StageCopy", L"", L"アクセスが拒否されました。");
    fake.AddFile(L"C:\\a.dll");
    ResponsivePlatform responsive(fake, [] {});
    EXPECT_EQ(responsive.StageCopy(L"C:\\a.dll", L"C:\\b.dll", Sha256Of("x")).error(), L"アクセスが拒否されました。");
    EXPECT_TRUE(responsive.FileExists(L"C:\\a.dll").value());
}

}  // namespace
}  // namespace setup
