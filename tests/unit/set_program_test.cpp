// The first install step: the install root, the question over an existing one, and the package installer
// copied into the root and waited for.
#include <gtest/gtest.h>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

const std::wstring kInstallerNotRun = L"≪ホルンデ≫サンプル版のセットアップファイルを実行することができません。";
const std::wstring kQuestion =
    L"既に≪ホルンデ≫サンプル版がセットアップされています。\r\n"
    L"セットアップを継続すると、既存の≪ホルンデ≫サンプル版と入力したデータは全て削除されます。\r\n"
    L"セットアップを継続しますか？";

class SetProgramTest : public testing::Test {
protected:
    SetProgramTest() {
        fake.program_folder = L"D:\\Media";
        fake.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
    }
    bool Run() { return RudIzeSteps(fake).SetProgram(); }

    FakePlatform fake;
};

TEST_F(SetProgramTest, NoInstallRootCreatesItWithoutAQuestion) {
    ASSERT_FALSE(fake.HasFolder(L"C:\\DAZov"));
    EXPECT_TRUE(Run());
    EXPECT_TRUE(fake.HasFolder(L"C:\\DAZov"));
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(CallsOf(fake, "CreateFolder"), std::vector<std::string>{"CreateFolder(C:\\DAZov)"});
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\setup.exe"), "installer");
    EXPECT_EQ(CallsOf(fake, "CopyFileOverwrite"),
              std::vector<std::string>{"CopyFileOverwrite(D:\\Media\\Package\\rudize.exe -> C:\\DAZov\\setup.exe)"});
}

TEST_F(SetProgramTest, WaitsFiftySecondsForTheCopyInTheInstallRoot) {
    EXPECT_TRUE(Run());
    EXPECT_EQ(CallsOf(fake, "RunAndWait"), std::vector<std::string>{"RunAndWait(C:\\DAZov\\setup.exe 50000)"});
    // The copy is made before it is run.
    EXPECT_LT(test::IndexOf(fake.calls, "CopyFileOverwrite(D:\\Media\\Package\\rudize.exe -> C:\\DAZov\\setup.exe)"),
              test::IndexOf(fake.calls, "RunAndWait(C:\\DAZov\\setup.exe 50000)"));
    EXPECT_TRUE(fake.started.empty());
}

TEST_F(SetProgramTest, ExistingRootAskedWithThreeLinesAsAQuestion) {
    fake.AddFolder(L"C:\\DAZov");
    fake.answers = {kAnswerYes};
    Run();
    ASSERT_FALSE(fake.messages.empty());
    EXPECT_EQ(U(fake.messages[0].text), U(kQuestion));
    EXPECT_EQ(fake.messages[0].code, 36);
    EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
}

TEST_F(SetProgramTest, ExistingRootAnswerNoTouchesNothing) {
    fake.AddFolder(L"C:\\DAZov");
    fake.AddFile(L"C:\\DAZov\\DAZov.mde", kAttrArchive, "data");
    fake.AddFile(L"C:\\DAZov\\setup.exe", kAttrArchive | kAttrReadOnly, "old");
    fake.answers = {kAnswerNo};

    EXPECT_FALSE(Run());
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"FolderExists(C:\\DAZov)", "ShowMessage(" + U(kQuestion) + ")"}));
    EXPECT_EQ(fake.messages.size(), 1u);  // nothing more from this step
    EXPECT_TRUE(fake.waited.empty());
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\DAZov.mde"), "data");
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\setup.exe"), "old");
    EXPECT_EQ(fake.Attributes(L"C:\\DAZov\\setup.exe"), kAttrArchive | kAttrReadOnly);
}

TEST_F(SetProgramTest, ExistingRootAnswerYesGoesOnAndRemovesNothing) {
    fake.AddFolder(L"C:\\DAZov");
    fake.AddFile(L"C:\\DAZov\\DAZov.mde", kAttrArchive, "data");
    fake.answers = {kAnswerYes};

    EXPECT_TRUE(Run());
    EXPECT_TRUE(CallsOf(fake, "CreateFolder").empty());
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\DAZov.mde"), "data");
    EXPECT_EQ(CallsOf(fake, "DeleteFileForce"), std::vector<std::string>{});
    EXPECT_EQ(fake.waited.size(), 1u);
    EXPECT_EQ(fake.messages.size(), 1u);  // the question only
}

TEST_F(SetProgramTest, ReadOnlyLeftoverCopyIsReplaced) {
    fake.AddFolder(L"C:\\DAZov");
    fake.AddFile(L"C:\\DAZov\\setup.exe", kAttrReadOnly, "old");
    EXPECT_TRUE(Run());
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\setup.exe"), "installer");
    EXPECT_EQ(fake.messages.size(), 1u);  // the question, and no error report
}

TEST_F(SetProgramTest, SetupFolderAtADriveRoot) {
    fake.program_folder = L"D:\\";
    fake.AddFile(L"D:\\Package\\rudize.exe", kAttrArchive, "root installer");
    EXPECT_TRUE(Run());
    EXPECT_EQ(CallsOf(fake, "CopyFileOverwrite"),
              std::vector<std::string>{"CopyFileOverwrite(D:\\Package\\rudize.exe -> C:\\DAZov\\setup.exe)"});
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\setup.exe"), "root installer");
}

TEST_F(SetProgramTest, OnlyEndingWithinTheLimitCountsAsRun) {
    struct Case {
        const char* label;
        WaitResult wait;
        bool ok;
    };
    const Case cases[] = {
        // The installer's exit code is never looked at: ending in time is success whatever it returned.
        {"ended within the limit, any exit code", WaitResult::Finished, true},
        {"could not be started", WaitResult::NotStarted, false},
        {"still running after 50 s", WaitResult::TimedOut, false},
        {"the wait failed", WaitResult::Failed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe");
        f.wait_result = c.wait;

        EXPECT_EQ(RudIzeSteps(f).SetProgram(), c.ok);
        if (c.ok) {
            EXPECT_TRUE(f.messages.empty());
        } else {
            ASSERT_EQ(f.messages.size(), 1u);
            EXPECT_EQ(U(f.messages[0].text), U(kInstallerNotRun));
            EXPECT_EQ(f.messages[0].code, 64);
            EXPECT_EQ(U(f.messages[0].title), U(test::kExpectedTitle));
        }
    }
}

TEST_F(SetProgramTest, TrappedFailuresAreReportedOnceAndStopTheStep) {
    struct Case {
        const char* label;
        bool root_exists;
        std::string op;
        std::wstring argument;
    };
    const Case cases[] = {
        {"install root cannot be looked at", false, "FolderExists", L""},
        {"install root cannot be created", false, "CreateFolder", L"C:\\DAZov"},
        {"setup folder unknown", false, "ProgramFolder", L""},
        {"leftover copy cannot be deleted", true, "DeleteFileForce", L"setup.exe"},
        {"package installer cannot be copied", false, "CopyFileOverwrite", L"rudize.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe");
        if (c.root_exists) f.AddFile(L"C:\\DAZov\\setup.exe");
        f.Fail(c.op, c.argument, L"アクセスが拒否されました。");

        EXPECT_FALSE(RudIzeSteps(f).SetProgram());
        std::size_t report = c.root_exists ? 1 : 0;  // after the question when the root was there
        ASSERT_EQ(f.messages.size(), report + 1);
        EXPECT_TRUE(test::IsErrorReport(f, report, L"frmRudIze Function SetProgram()", L"アクセスが拒否されました。"));
        EXPECT_TRUE(f.waited.empty());
    }
}

TEST_F(SetProgramTest, InstallerMissingFromPackageIsAnErrorNotANotRunMessage) {
    FakePlatform f;  // no Package\rudize.exe at all
    EXPECT_FALSE(RudIzeSteps(f).SetProgram());
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_TRUE(test::IsErrorReport(f, 0, L"frmRudIze Function SetProgram()", L"指定されたファイルが見つかりません。"));
    EXPECT_TRUE(f.waited.empty());
    // The install root it made stays: nothing is rolled back.
    EXPECT_TRUE(f.HasFolder(L"C:\\DAZov"));
}

}  // namespace
}  // namespace setup
