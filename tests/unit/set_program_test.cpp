// The first install step: the install root, the question over an existing one, and the package installer
// copied into the root and waited for.
#include <gtest/gtest.h>

#include <functional>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

const std::wstring kInstallerNotRun = L"≪ホルンデ≫サンプル版のセットアップファイルを実行することができません。";
const std::string kRunCall = "RunCopyAndWait(D:\\Media\\Package\\rudize.exe -> C:\\DAZov\\setup.exe 50000)";
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
    // With the records of the medium as it is at the time.
    bool Run() { return RudIzeSteps(fake, test::RecordsOf(fake)).SetProgram(); }

    FakePlatform fake;
};

TEST_F(SetProgramTest, NoInstallRootCreatesItWithoutAQuestion) {
    ASSERT_FALSE(fake.HasFolder(L"C:\\DAZov"));
    EXPECT_TRUE(Run());
    EXPECT_TRUE(fake.HasFolder(L"C:\\DAZov"));
    EXPECT_TRUE(fake.messages.empty());
    // Made with the held access: there is no moment at which another user may change it.
    EXPECT_EQ(CallsOf(fake, "CreateHeldFolder"), std::vector<std::string>{"CreateHeldFolder(C:\\DAZov)"});
    EXPECT_TRUE(CallsOf(fake, "LockFolder").empty());
    EXPECT_EQ(fake.Access(L"C:\\DAZov"), "held");
    EXPECT_EQ(fake.Content(L"C:\\DAZov\\setup.exe"), "installer");
}

TEST_F(SetProgramTest, RunsTheCopyInTheInstallRootAndWaitsFiftySeconds) {
    EXPECT_TRUE(Run());
    // One operation copies, checks, holds and starts the copy, so nothing can come between.
    EXPECT_EQ(CallsOf(fake, "RunCopyAndWait"), std::vector<std::string>{kRunCall});
    EXPECT_TRUE(CallsOf(fake, "StageCopy").empty());
    EXPECT_EQ(fake.waited, std::vector<std::wstring>{L"C:\\DAZov\\setup.exe"});
    EXPECT_TRUE(fake.started.empty());
}

TEST_F(SetProgramTest, ExistingRootAskedWithThreeLinesAsAQuestion) {
    fake.AddFolder(L"C:\\DAZov");
    fake.answers = {Answer::Yes};
    Run();
    ASSERT_FALSE(fake.messages.empty());
    EXPECT_EQ(U(fake.messages[0].text), U(kQuestion));
    EXPECT_EQ(fake.messages[0].kind, MessageKind::Question);
    EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
}

TEST_F(SetProgramTest, ExistingRootAnswerNoTouchesNothing) {
    fake.AddFolder(L"C:\\DAZov");
    fake.AddFile(L"C:\\DAZov\\DAZov.mde", kAttrArchive, "data");
    fake.AddFile(L"C:\\DAZov\\setup.exe", kAttrArchive | kAttrReadOnly, "old");
    fake.answers = {Answer::No};

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
    fake.answers = {Answer::Yes};

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
    fake.calls.clear();
    EXPECT_TRUE(RudIzeSteps(fake, test::RecordsOf(fake, L"D:\\Package\\")).SetProgram());
    EXPECT_EQ(CallsOf(fake, "RunCopyAndWait"),
              std::vector<std::string>{"RunCopyAndWait(D:\\Package\\rudize.exe -> C:\\DAZov\\setup.exe 50000)"});
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

        EXPECT_EQ(RudIzeSteps(f, test::RecordsOf(f)).SetProgram(), c.ok);
        if (c.ok) {
            EXPECT_TRUE(f.messages.empty());
        } else {
            ASSERT_EQ(f.messages.size(), 1u);
            EXPECT_EQ(U(f.messages[0].text), U(kInstallerNotRun));
            EXPECT_EQ(f.messages[0].kind, MessageKind::Information);
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
        {"install root cannot be created", false, "CreateHeldFolder", L"C:\\DAZov"},
        {"install root cannot be held", true, "LockFolder", L""},
        {"install root's access cannot be narrowed", true, "HoldFolder", L""},
        {"setup's own account unknown", false, "SetupAccount", L""},
        {"a folder of the tree cannot be read", true, "ListFolder", L"Info"},
        {"setup folder unknown", false, "ProgramFolder", L""},
        {"leftover copy cannot be deleted", true, "DeleteFileForce", L"setup.exe"},
        {"package installer cannot be copied", false, "RunCopyAndWait", L"rudize.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe");
        if (c.root_exists) f.AddFile(L"C:\\DAZov\\setup.exe");
        if (c.root_exists) f.AddFolder(L"C:\\DAZov\\Info");
        f.Fail(c.op, c.argument, L"アクセスが拒否されました。");

        EXPECT_FALSE(RudIzeSteps(f, test::RecordsOf(f)).SetProgram());
        std::size_t report = c.root_exists ? 1 : 0;  // after the question when the root was there
        ASSERT_EQ(f.messages.size(), report + 1);
        EXPECT_TRUE(test::IsErrorReport(f, report, L"frmRudIze Function SetProgram()", L"アクセスが拒否されました。"));
        EXPECT_TRUE(f.waited.empty());
    }
}

TEST_F(SetProgramTest, InstallerMissingFromPackageIsAnErrorNotANotRunMessage) {
    FakePlatform f;  // no Package\rudize.exe at all, though the medium was made with one
    EXPECT_FALSE(RudIzeSteps(f, PayloadRecords(test::TableOf({{"rudize.exe", "installer"}}))).SetProgram());
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_TRUE(test::IsErrorReport(f, 0, L"frmRudIze Function SetProgram()", L"指定されたファイルが見つかりません。"));
    EXPECT_TRUE(f.waited.empty());
    // The install root it made stays: nothing is rolled back.
    EXPECT_TRUE(f.HasFolder(L"C:\\DAZov"));
}

TEST_F(SetProgramTest, InstallerThatIsNotWhatTheMediumRecordedIsNeverStarted) {
    struct Case {
        const char* label;
        PayloadTable table;
        std::wstring description;
    };
    const Case cases[] = {
        {"one byte differs", test::TableOf({{"rudize.exe", "installes"}}), FakePlatform::kCorrupt},
        {"no record (a table never filled in)", test::TableOf({}), FakePlatform::kNoRecord},
        {"a record under another name only", test::TableOf({{"RUDIZE.EXE", "installer"}}), FakePlatform::kNoRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");

        EXPECT_FALSE(RudIzeSteps(f, PayloadRecords(c.table)).SetProgram());
        ASSERT_EQ(f.messages.size(), 1u);  // the report, and no installer-not-run message
        EXPECT_TRUE(test::IsErrorReport(f, 0, L"frmRudIze Function SetProgram()", c.description));
        EXPECT_TRUE(f.waited.empty());
        EXPECT_FALSE(f.HasFile(L"C:\\DAZov\\setup.exe"));
    }
}

const std::wstring kRootIsALink =
    L"セットアップ先 C:\\DAZov は別の場所を指すリンク"
    L"（ジャンクションまたはシンボリック リンク）のため、使用できません。";

TEST_F(SetProgramTest, InstallRootIsHeldBeforeAnythingGoesThroughIt) {
    fake.AddFolder(L"C:\\DAZov");
    fake.AddFile(L"C:\\DAZov\\setup.exe", kAttrArchive, "left over");
    const PayloadRecords records = test::RecordsOf(fake);
    RudIzeSteps steps(fake, records);
    EXPECT_TRUE(steps.SetProgram());
    const int locked = test::IndexOf(fake.calls, "LockFolder(C:\\DAZov)");
    ASSERT_NE(locked, -1);
    EXPECT_GT(locked, test::IndexOf(fake.calls, "ShowMessage(" + U(kQuestion) + ")")) << "held before the question";
    EXPECT_LT(locked, test::IndexOf(fake.calls, "FileExists(C:\\DAZov\\setup.exe)"));
    EXPECT_LT(locked, test::IndexOf(fake.calls, "DeleteFileForce(C:\\DAZov\\setup.exe)"));
    EXPECT_TRUE(CallsOf(fake, "ReleaseFolder").empty()) << "given back before the sequence ends";
    // Narrowed, then walked, before anything in it is touched.
    EXPECT_LT(locked, test::IndexOf(fake.calls, "HoldFolder(C:\\DAZov)"));
    EXPECT_LT(test::IndexOf(fake.calls, "HoldFolder(C:\\DAZov)"), test::IndexOf(fake.calls, "ListFolder(C:\\DAZov)"));
    EXPECT_LT(test::IndexOf(fake.calls, "ListFolder(C:\\DAZov)"), test::IndexOf(fake.calls, "FileExists(C:\\DAZov\\setup.exe)"));
    steps.ReleaseInstallRoot();
    EXPECT_EQ(fake.calls.back(), "ReleaseFolder(C:\\DAZov earlier keep Info)");
}

// Each case: an install tree as a user may have left it, and what the check of the held tree must say.
TEST_F(SetProgramTest, InstallTreeWithSomethingAUserControlsIsRefusedBeforeAnythingGoesThroughIt) {
    const std::wstring user = L"S-1-5-21-7-7-7-1001";
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> plant;
        std::wstring report;  // empty: the tree is fine
    };
    const Case cases[] = {
        {"the root owned by a user", [&](FakePlatform& f) { f.SetOwner(L"C:\\DAZov", user); },
         L"セットアップ先の C:\\DAZov は管理者以外のユーザー（PC\\S-1-5-21-7-7-7-1001）が所有しているため、使用できません。"},
        {"Info a link", [](FakePlatform& f) { f.AddLink(L"C:\\DAZov\\Info"); },
         L"セットアップ先の C:\\DAZov\\Info は別の場所を指すリンク（ジャンクション、シンボリック リンクまたはハード リンク）のため、使用できません。"},
        {"a link deep down", [](FakePlatform& f) { f.AddLink(L"C:\\DAZov\\Work\\Data\\Old"); },
         L"セットアップ先の C:\\DAZov\\Work\\Data\\Old は別の場所を指すリンク（ジャンクション、シンボリック リンクまたはハード リンク）のため、使用できません。"},
        {"a file that is a link", [](FakePlatform& f) { f.AddLink(L"C:\\DAZov\\DAZov.mde"); },
         L"セットアップ先の C:\\DAZov\\DAZov.mde は別の場所を指すリンク（ジャンクション、シンボリック リンクまたはハード リンク）のため、使用できません。"},
        {"a folder deep down owned by a user", [&](FakePlatform& f) { f.SetOwner(L"C:\\DAZov\\Work\\Data", user); },
         L"セットアップ先の C:\\DAZov\\Work\\Data は管理者以外のユーザー（PC\\S-1-5-21-7-7-7-1001）が所有しているため、使用できません。"},
        {"the service tool owned by a user",
         [&](FakePlatform& f) {
             f.AddFile(L"C:\\DAZov\\Info\\Ruvok.exe");
             f.SetOwner(L"C:\\DAZov\\Info\\Ruvok.exe", user);
         },
         L"セットアップ先の C:\\DAZov\\Info\\Ruvok.exe は管理者以外のユーザー（PC\\S-1-5-21-7-7-7-1001）が所有しているため、使用できません。"},
        // The application's data is the users': a file of theirs outside Info is fine, and so is what the
        // account setup runs as, the system and the installer service own.
        {"a data file owned by a user", [&](FakePlatform& f) { f.SetOwner(L"C:\\DAZov\\Work\\Data\\a.mdb", user); }, L""},
        {"owners to trust",
         [](FakePlatform& f) {
             f.SetOwner(L"C:\\DAZov", f.setup_account);
             f.SetOwner(L"C:\\DAZov\\Info", L"S-1-5-18");
             f.SetOwner(L"C:\\DAZov\\Info\\Ruvok.exe",
                        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
         },
         L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
        f.AddFile(L"C:\\DAZov\\setup.exe", kAttrArchive, "left over");
        f.AddFile(L"C:\\DAZov\\Info\\Ruvok.exe");
        f.AddFile(L"C:\\DAZov\\Work\\Data\\a.mdb");
        c.plant(f);
        const PayloadRecords records = test::RecordsOf(f);
        RudIzeSteps steps(f, records);

        EXPECT_EQ(steps.SetProgram(), c.report.empty());
        steps.ReleaseInstallRoot();
        if (c.report.empty()) {
            EXPECT_EQ(f.waited.size(), 1u);
            continue;
        }
        ASSERT_EQ(f.messages.size(), 2u);  // the question, then the report
        EXPECT_TRUE(test::IsErrorReport(f, 1, L"frmRudIze Function SetProgram()", c.report));
        // Nothing deleted, copied or started; the root given back as it was, and Info not kept.
        for (const char* op : {"FileExists", "DeleteFileForce", "RunCopyAndWait", "StartProgram"}) {
            EXPECT_TRUE(CallsOf(f, op).empty()) << op;
        }
        EXPECT_EQ(f.Content(L"C:\\DAZov\\setup.exe"), "left over");
        EXPECT_EQ(f.Access(L"C:\\DAZov"), "own");
        EXPECT_EQ(f.Access(L"C:\\DAZov\\Info"), "own");
        // A root whose owner may undo any hold is not even narrowed.
        if (c.label == std::string("the root owned by a user")) {
            EXPECT_TRUE(CallsOf(f, "HoldFolder").empty());
        }
    }
}

TEST_F(SetProgramTest, InstallRootIsGivenBackAsItWasOrAsItsParentPassesOnAndInfoStaysTheAdministrators) {
    struct Case {
        const char* label;
        bool exists;
        bool left_held;  // by a run that was cut off
        std::string root_after;
    };
    const Case cases[] = {
        {"made by setup", false, false, "parent"},
        {"there before", true, false, "own"},
        {"left held by a cut-off run", true, true, "parent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
        if (c.exists) f.AddFolder(L"C:\\DAZov\\Info");
        if (c.left_held) f.MarkHeld(L"C:\\DAZov");
        const PayloadRecords records = test::RecordsOf(f);
        RudIzeSteps steps(f, records);
        EXPECT_TRUE(steps.SetProgram());
        f.AddFolder(L"C:\\DAZov\\Info");  // as the package installer leaves it
        EXPECT_EQ(f.Access(L"C:\\DAZov"), "held");
        steps.ReleaseInstallRoot();
        EXPECT_EQ(f.Access(L"C:\\DAZov"), c.root_after);
        EXPECT_EQ(f.Access(L"C:\\DAZov\\Info"), "kept");
    }
}

TEST_F(SetProgramTest, InstallRootThatIsALinkIsRefusedAndNothingGoesThroughIt) {
    struct Case {
        const char* label;
        bool link_from_the_start;  // or made while the question is open
    };
    for (const Case& c : {Case{"a link from the start", true}, Case{"swapped for a link during the question", false}}) {
        SCOPED_TRACE(c.label);
        FakePlatform f;
        f.AddFile(L"D:\\Media\\Package\\rudize.exe", kAttrArchive, "installer");
        f.AddFolder(L"C:\\DAZov");
        f.AddFile(L"C:\\DAZov\\setup.exe", kAttrArchive, "there");
        if (c.link_from_the_start) {
            f.AddLink(L"C:\\DAZov");
        } else {
            f.while_message_open = [&f](const std::wstring&) { f.AddLink(L"C:\\DAZov"); };
        }

        EXPECT_FALSE(RudIzeSteps(f, test::RecordsOf(f)).SetProgram());
        ASSERT_EQ(f.messages.size(), 2u);  // the question, then the report
        EXPECT_TRUE(test::IsErrorReport(f, 1, L"frmRudIze Function SetProgram()", kRootIsALink));
        // Nothing looked at, deleted, copied or started through it.
        EXPECT_EQ(f.calls.back(), "ShowMessage(" + U(f.messages[1].text) + ")");
        for (const char* op : {"CreateHeldFolder", "HoldFolder", "FileExists", "DeleteFileForce", "RunCopyAndWait",
                               "StartProgram"}) {
            EXPECT_TRUE(CallsOf(f, op).empty()) << op;
        }
        EXPECT_EQ(f.Content(L"C:\\DAZov\\setup.exe"), "there");
    }
}

}  // namespace
}  // namespace setup
