// The two small steps after the installer has run: removing its copy, and starting the service tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

const std::wstring kCopy = L"C:\\DAZov\\setup.exe";
// Neither step copies from the medium.
const PayloadRecords kNoRecords;

TEST(DeleteSetupExe, RemovesTheInstallerCopyIfItIsThere) {
    struct Case {
        const char* label;
        bool present;
        std::uint32_t attributes;
    };
    const Case cases[] = {
        {"present", true, kAttrArchive},
        {"present and read-only", true, kAttrArchive | kAttrReadOnly},
        {"already gone", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake;
        if (c.present) fake.AddFile(kCopy, c.attributes);

        EXPECT_TRUE(RudIzeSteps(fake, kNoRecords).DeleteSetupExe());
        EXPECT_FALSE(fake.HasFile(kCopy));
        EXPECT_EQ(CallsOf(fake, "DeleteFileForce").size(), c.present ? 1u : 0u);
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST(DeleteSetupExe, SecondCallFindsNothingAndSucceeds) {
    FakePlatform fake;
    fake.AddFile(kCopy);
    RudIzeSteps steps(fake, kNoRecords);
    EXPECT_TRUE(steps.DeleteSetupExe());
    EXPECT_TRUE(steps.DeleteSetupExe());
    EXPECT_EQ(CallsOf(fake, "DeleteFileForce").size(), 1u);
}

TEST(DeleteSetupExe, FailureIsReportedOnce) {
    struct Case {
        const char* label;
        std::string op;
    };
    for (const Case& c : {Case{"copy still in use", "DeleteFileForce"}, Case{"cannot look", "FileExists"}}) {
        SCOPED_TRACE(c.label);
        FakePlatform fake;
        fake.AddFile(kCopy);
        fake.Fail(c.op, L"setup.exe", L"プロセスはファイルにアクセスできません。");

        EXPECT_FALSE(RudIzeSteps(fake, kNoRecords).DeleteSetupExe());
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(
            test::IsErrorReport(fake, 0, L"frmRudIze DeleteSetupExe()", L"プロセスはファイルにアクセスできません。"));
    }
}

TEST(ExecuteRuvok, StartsTheServiceToolWithSlashI) {
    FakePlatform fake;
    EXPECT_TRUE(RudIzeSteps(fake, kNoRecords).ExecuteRuvok());
    ASSERT_EQ(fake.started.size(), 1u);
    EXPECT_EQ(U(fake.started[0]), "\"C:\\DAZov\\Info\\Ruvok.exe\" /i");
    EXPECT_EQ(fake.started_in, std::vector<std::wstring>{L""});  // in the setup program's current folder
    EXPECT_TRUE(fake.waited.empty());                            // not waited for
    EXPECT_TRUE(fake.messages.empty());
}

TEST(ExecuteRuvok, ToolThatCannotBeStartedIsAnErrorReport) {
    FakePlatform fake;
    fake.Fail("StartProgram", L"Ruvok.exe", L"指定されたファイルが見つかりません。");
    EXPECT_FALSE(RudIzeSteps(fake, kNoRecords).ExecuteRuvok());
    ASSERT_EQ(fake.messages.size(), 1u);  // no service message after the report
    EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmRudIze ExecuteRuvok()", L"指定されたファイルが見つかりません。"));
}

TEST(ExecuteRuvok, StartThatGivesNoTaskShowsTheServiceMessage) {
    FakePlatform fake;
    fake.StartNothing(L"Ruvok.exe");
    EXPECT_FALSE(RudIzeSteps(fake, kNoRecords).ExecuteRuvok());
    ASSERT_TRUE(test::MessageTextsAre(fake, {L"システム監視サービスを実行することができません"}));
    EXPECT_EQ(fake.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
}

}  // namespace
}  // namespace setup
