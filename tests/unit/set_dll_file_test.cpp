// The run-time component step: ten files into the system folder, attributes normalised, five registered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/install/steps.h"
#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

// Written out, case included: the names are also the text of the failure message.
const std::vector<std::wstring> kRows = {
    L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL", L"TransLh6.ocx", L"MSMAPI32.OCX",
    L"MSMPIJP.DLL",  L"UNLHA32.DLL",  L"vb6jp.DLL",   L"RoVur.dll",    L"ZozuvOvero.dll",
};
const std::vector<int> kRegisteredRows = {1, 2, 4, 5, 10};
const std::wstring kSystem = L"C:\\WINDOWS\\system32\\";
const std::wstring kLocation = L"frmRudIze Function SetDllFile()";

std::wstring Row(int number) { return kRows.at(number - 1); }
std::wstring Registrar(const std::wstring& name) { return L"\"C:\\WINDOWS\\system32\\REGSVR32.exe\" /s " + name; }

// A medium with all ten components in D:\Media\Package and an empty system folder.
FakePlatform Machine() {
    FakePlatform fake;
    fake.system_folder = L"C:\\WINDOWS\\system32";
    fake.program_folder = L"D:\\Media";
    for (const std::wstring& name : kRows) fake.AddFile(L"D:\\Media\\Package\\" + name, kAttrArchive, U(name));
    return fake;
}

// The step, with the records of the medium as it is at the time unless others are given.
bool RunStep(FakePlatform& fake) { return RudIzeSteps(fake, test::RecordsOf(fake)).SetDllFile(); }
bool RunStep(FakePlatform& fake, const PayloadRecords& records) { return RudIzeSteps(fake, records).SetDllFile(); }

// No call names any of the rows after `number`.
testing::AssertionResult LaterRowsUntouched(const FakePlatform& fake, int number) {
    for (int later = number + 1; later <= 10; ++later) {
        auto result = test::NoCallMentions(fake, Row(later));
        if (!result) return result << " (row " << later << ")";
    }
    return testing::AssertionSuccess();
}

TEST(SetDllFile, CopiesTheTenRowsInOrderIntoTheSystemFolder) {
    FakePlatform fake = Machine();
    EXPECT_TRUE(RunStep(fake));

    std::vector<std::string> expected;
    for (const std::wstring& name : kRows) {
        expected.push_back("StageCopy(D:\\Media\\Package\\" + U(name) + " -> C:\\WINDOWS\\system32\\)");
    }
    EXPECT_EQ(CallsOf(fake, "StageCopy"), expected);
    for (const std::wstring& name : kRows) {
        SCOPED_TRACE(U(name));
        ASSERT_TRUE(fake.HasFile(kSystem + name));
        EXPECT_EQ(fake.Content(kSystem + name), U(name));
    }
    // A run with nothing to report shows no box at all.
    EXPECT_TRUE(fake.messages.empty());
}

TEST(SetDllFile, RegistersTheFiveRegisteredRowsInOrder) {
    FakePlatform fake = Machine();
    EXPECT_TRUE(RunStep(fake));

    std::vector<std::string> expected;
    for (int number : kRegisteredRows) expected.push_back(U(Registrar(Row(number))));
    std::vector<std::string> started;
    for (const std::wstring& line : fake.started) started.push_back(U(line));
    EXPECT_EQ(started, expected);
    EXPECT_EQ(started.at(0), "\"C:\\WINDOWS\\system32\\REGSVR32.exe\" /s comdlg32.ocx");
    // Each in the system folder, so that a component missing there is not loaded from the current folder.
    EXPECT_EQ(fake.started_in, std::vector<std::wstring>(5, kSystem));

    // Each registration follows its own row's copy and comes before the next row is looked at.
    for (int number : kRegisteredRows) {
        SCOPED_TRACE(U(Row(number)));
        const int copy = test::IndexOf(fake.calls, "PutInPlace(" + U(kSystem + Row(number)) + ")");
        const int start = test::IndexOf(fake.calls, "StartProgram(" + U(Registrar(Row(number))) + ")");
        EXPECT_LT(copy, start);
        if (number < 10) {
            EXPECT_LT(start, test::IndexOf(fake.calls, "FileExists(" + U(kSystem + Row(number + 1)) + ")"));
        }
    }
}

TEST(SetDllFile, SystemFolderWithOrWithoutTrailingBackslash) {
    for (const std::wstring folder : {L"C:\\WINDOWS\\system32", L"C:\\WINDOWS\\system32\\"}) {
        SCOPED_TRACE(U(folder));
        FakePlatform fake = Machine();
        fake.system_folder = folder;
        EXPECT_TRUE(RunStep(fake));
        EXPECT_EQ(CallsOf(fake, "FileExists").at(0), "FileExists(C:\\WINDOWS\\system32\\comdlg32.ocx)");
        EXPECT_EQ(CallsOf(fake, "StageCopy").at(0),
                  "StageCopy(D:\\Media\\Package\\comdlg32.ocx -> C:\\WINDOWS\\system32\\)");
        EXPECT_EQ(U(fake.started.at(0)), "\"C:\\WINDOWS\\system32\\REGSVR32.exe\" /s comdlg32.ocx");
    }
}

TEST(SetDllFile, SetupProgramAtADriveRootReadsFromItsPackageFolder) {
    FakePlatform fake = Machine();
    fake.program_folder = L"D:\\";
    fake.AddFile(L"D:\\Package\\comdlg32.ocx", kAttrArchive, "from the root");
    RunStep(fake, test::RecordsOf(fake, L"D:\\Package\\"));
    EXPECT_EQ(CallsOf(fake, "StageCopy").at(0), "StageCopy(D:\\Package\\comdlg32.ocx -> C:\\WINDOWS\\system32\\)");
    EXPECT_EQ(fake.Content(kSystem + L"comdlg32.ocx"), "from the root");
}

TEST(SetDllFile, TrappedCheckFailureInRowsOneToEightStopsTheStep) {
    for (int number = 1; number <= 8; ++number) {
        SCOPED_TRACE(testing::Message() << "row " << number << " " << U(Row(number)));
        FakePlatform fake = Machine();
        // An existing read-only file whose read-only bit cannot be cleared.
        fake.AddFile(kSystem + Row(number), kAttrReadOnly, "old");
        fake.LockAttributes(kSystem + Row(number));

        EXPECT_FALSE(RunStep(fake));
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(test::IsErrorReport(fake, 0, kLocation, L"アクセスが拒否されました。"));
        // This row is neither copied nor registered, and nothing after it is looked at.
        EXPECT_EQ(fake.Content(kSystem + Row(number)), "old");
        EXPECT_EQ(test::IndexOf(fake.calls, "StartProgram(" + U(Registrar(Row(number))) + ")"), -1);
        EXPECT_TRUE(LaterRowsUntouched(fake, number));
        // The rows before it were done in full; its own copy, read and checked first, is thrown away.
        EXPECT_EQ(CallsOf(fake, "PutInPlace").size(), static_cast<std::size_t>(number - 1));
    }
}

TEST(SetDllFile, SameFailureInRowsNineAndTenIsIgnored) {
    for (int number : {9, 10}) {
        SCOPED_TRACE(U(Row(number)));
        FakePlatform fake = Machine();
        fake.AddFile(kSystem + Row(number), kAttrReadOnly, "old");
        fake.LockAttributes(kSystem + Row(number));

        EXPECT_TRUE(RunStep(fake));
        EXPECT_TRUE(fake.messages.empty());
        // The row goes on: the copy is tried and, for row 10, the registrar is started.
        EXPECT_NE(test::IndexOf(fake.calls,
                                "StageCopy(D:\\Media\\Package\\" + U(Row(number)) + " -> C:\\WINDOWS\\system32\\)"),
                  -1);
        EXPECT_EQ(fake.started.size(), 5u);
    }
}

TEST(SetDllFile, FailureBeforeTheFirstRowIsTrapped) {
    for (const char* op : {"SystemFolder", "ProgramFolder"}) {
        SCOPED_TRACE(op);
        FakePlatform fake = Machine();
        fake.Fail(op, L"", L"オブジェクトが必要です。");
        EXPECT_FALSE(RunStep(fake));
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(test::IsErrorReport(fake, 0, kLocation, L"オブジェクトが必要です。"));
        EXPECT_TRUE(CallsOf(fake, "FileExists").empty());
        EXPECT_TRUE(fake.started.empty());
    }
}

TEST(SetDllFile, RegistrarThatCannotStartStopsAtItsRow) {
    for (int number : kRegisteredRows) {
        for (const bool fails : {true, false}) {
            SCOPED_TRACE(testing::Message() << "row " << number << " " << U(Row(number))
                                            << (fails ? ": the start fails" : ": the start gives task id 0"));
            FakePlatform fake = Machine();
            if (fails) {
                fake.Fail("StartProgram", Row(number), L"ファイルが見つかりません。");
            } else {
                fake.StartNothing(Row(number));
            }

            EXPECT_FALSE(RunStep(fake));
            // The notice names the file as written, and no error report follows it.
            ASSERT_TRUE(test::MessageTextsAre(fake, {L"必要ファイル（" + Row(number) + L"）を登録できません。"}));
            EXPECT_EQ(fake.messages[0].kind, MessageKind::Information);
            EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
            // The row itself was copied; the rows after it are neither copied nor registered.
            EXPECT_TRUE(fake.HasFile(kSystem + Row(number)));
            EXPECT_TRUE(LaterRowsUntouched(fake, number));
        }
    }
}

TEST(SetDllFile, RegistrationMessageThatCannotBeShownStillStopsWithoutAReport) {
    // The registration belongs to the row's ignored part: a box that fails is skipped, the step still fails.
    FakePlatform fake = Machine();
    fake.Fail("StartProgram", L"TransLh6.ocx");
    fake.Fail("ShowMessage", L"登録できません", L"メッセージを表示できません。");
    EXPECT_FALSE(RunStep(fake));
    EXPECT_EQ(CallsOf(fake, "ShowMessage").size(), 1u);  // the failed box, and no error report after it
    EXPECT_TRUE(LaterRowsUntouched(fake, 4));
}

TEST(SetDllFile, ComponentMissingFromPackageWithAnOlderCopyInPlace) {
    FakePlatform fake = Machine();
    const PayloadRecords made_with_it = test::RecordsOf(fake);
    ASSERT_TRUE(fake.DeleteFileForce(L"D:\\Media\\Package\\comdlg32.ocx").ok());
    fake.AddFile(kSystem + L"comdlg32.ocx", kAttrReadOnly, "older");

    EXPECT_TRUE(RunStep(fake, made_with_it));
    EXPECT_TRUE(fake.messages.empty());
    // The older copy in the system folder is fixed up and registered.
    EXPECT_EQ(fake.Content(kSystem + L"comdlg32.ocx"), "older");
    EXPECT_EQ(fake.Attributes(kSystem + L"comdlg32.ocx"), kAttrArchive);
    EXPECT_EQ(U(fake.started.at(0)), U(Registrar(L"comdlg32.ocx")));
    EXPECT_EQ(fake.started.size(), 5u);
}

TEST(SetDllFile, RegisteredRowWithNoFileInTheSystemFolderStartsNoRegistrar) {
    // Whatever kept the copy from being made, a registrar given a name that is not in the system folder would
    // look for it in its current folder and along PATH: the row fails as if the registrar could not start.
    struct Case {
        const char* label;
        std::string op;  // the operation that fails; empty: the file is missing from Package
    };
    for (const Case& c : {Case{"missing from Package", ""}, Case{"cannot be read", "StageCopy"},
                          Case{"cannot be put in place", "PutInPlace"}}) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        const PayloadRecords made_with_it = test::RecordsOf(fake);
        if (c.op.empty()) {
            ASSERT_TRUE(fake.DeleteFileForce(L"D:\\Media\\Package\\mscomct2.ocx").ok());
        } else {
            fake.Fail(c.op, L"mscomct2.ocx", L"アクセスが拒否されました。");
        }

        EXPECT_FALSE(RunStep(fake, made_with_it));
        EXPECT_TRUE(test::MessageTextsAre(fake, {L"必要ファイル（mscomct2.ocx）を登録できません。"}));
        EXPECT_FALSE(fake.HasFile(kSystem + L"mscomct2.ocx"));
        EXPECT_EQ(test::IndexOf(fake.calls, "StartProgram(" + U(Registrar(L"mscomct2.ocx")) + ")"), -1);
        EXPECT_EQ(fake.started.size(), 1u);  // row 1's
        EXPECT_TRUE(LaterRowsUntouched(fake, 2));
    }
}

TEST(SetDllFile, ComponentThatIsNotWhatTheMediumRecordedIsNeitherPlacedNorRegistered) {
    // Rows 1 to 8 report it and stop, as any trapped failure of theirs does.
    for (int number : {3, 4}) {
        SCOPED_TRACE(testing::Message() << "row " << number << " " << U(Row(number)));
        FakePlatform fake = Machine();
        const PayloadRecords signed_medium = test::RecordsOf(fake);
        fake.AddFile(L"D:\\Media\\Package\\" + Row(number), kAttrArchive, "tampered");
        fake.AddFile(kSystem + Row(number), kAttrReadOnly | kAttrArchive, "old");

        EXPECT_FALSE(RunStep(fake, signed_medium));
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(test::IsErrorReport(fake, 0, kLocation, FakePlatform::kCorrupt));
        // What was in the system folder stays as it was, and nothing is registered in its name.
        EXPECT_EQ(fake.Content(kSystem + Row(number)), "old");
        // Exactly as it was: the read-only bit is cleared only for a copy that has been checked.
        EXPECT_EQ(fake.Attributes(kSystem + Row(number)), kAttrReadOnly | kAttrArchive);
        EXPECT_EQ(test::IndexOf(fake.calls, "StartProgram(" + U(Registrar(Row(number))) + ")"), -1);
        EXPECT_TRUE(LaterRowsUntouched(fake, number));
    }
    // Rows 9 and 10 skip the row and go on.
    for (int number : {9, 10}) {
        SCOPED_TRACE(U(Row(number)));
        FakePlatform fake = Machine();
        const PayloadRecords signed_medium = test::RecordsOf(fake);
        fake.AddFile(L"D:\\Media\\Package\\" + Row(number), kAttrArchive, "tampered");
        fake.AddFile(kSystem + Row(number), 0, "old");

        EXPECT_TRUE(RunStep(fake, signed_medium));
        EXPECT_TRUE(fake.messages.empty());
        EXPECT_EQ(fake.Content(kSystem + Row(number)), "old");
        EXPECT_EQ(fake.Attributes(kSystem + Row(number)), 0u) << "fixed up";
        EXPECT_EQ(test::IndexOf(fake.calls, "StartProgram(" + U(Registrar(Row(number))) + ")"), -1);
        EXPECT_EQ(fake.started.size(), number == 10 ? 4u : 5u);
        EXPECT_EQ(fake.Content(kSystem + Row(10)), number == 10 ? "old" : U(Row(10)));
    }
}

TEST(SetDllFile, NoRecordsAtAllStopsAtTheFirstRow) {
    // A setup.exe whose table was never filled in (not made by make dist).
    FakePlatform fake = Machine();
    EXPECT_FALSE(RunStep(fake, PayloadRecords()));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(test::IsErrorReport(fake, 0, kLocation, FakePlatform::kNoRecord));
    EXPECT_FALSE(fake.HasFile(kSystem + Row(1)));
    EXPECT_TRUE(fake.started.empty());
    EXPECT_TRUE(LaterRowsUntouched(fake, 1));
}

TEST(SetDllFile, AttributeArithmetic) {
    constexpr std::uint32_t R = 1, H = 2, S = 4, A = 32;
    struct Case {
        const char* label;
        bool existing;  // a file already in the system folder
        std::uint32_t existing_attrs;
        std::uint32_t source_attrs;
        bool copy_fails;
        std::vector<std::uint32_t> writes;  // SetAttributes values on the target, in order
        std::uint32_t final_attrs;
    };
    const Case cases[] = {
        {"new file, archive from the copy", false, 0, A, false, {}, A},
        {"read-only source: cleared after the copy", false, 0, R | A, false, {A}, A},
        {"read-only hidden source: hidden kept", false, 0, R | H | A, false, {H | A}, H | A},
        {"existing read-only: cleared before the copy", true, R | A, A, false, {A}, A},
        {"existing read-only hidden system, copy fails", true, R | H | S, A, true, {H | S, H | S | A}, H | S | A},
        {"existing hidden with archive, copy fails: untouched", true, H | A, A, true, {}, H | A},
        {"existing plain, copy fails: archive added", true, 0, A, true, {A}, A},
        {"existing read-only system with archive, copy fails", true, R | S | A, A, true, {S | A}, S | A},
    };
    const std::wstring target = kSystem + L"MSCC2JP.DLL";  // a row that is not registered
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.AddFile(L"D:\\Media\\Package\\MSCC2JP.DLL", c.source_attrs, "new");
        if (c.existing) fake.AddFile(target, c.existing_attrs, "old");
        if (c.copy_fails) fake.Fail("StageCopy", L"MSCC2JP.DLL", L"アクセスが拒否されました。");

        EXPECT_TRUE(RunStep(fake));
        std::vector<std::string> expected;
        for (std::uint32_t value : c.writes)
            expected.push_back("SetAttributes(" + U(target) + "=" + std::to_string(value) + ")");
        std::vector<std::string> writes;
        for (const std::string& call : CallsOf(fake, "SetAttributes")) {
            if (call.find("MSCC2JP.DLL") != std::string::npos) writes.push_back(call);
        }
        EXPECT_EQ(writes, expected);
        EXPECT_EQ(fake.Attributes(target), c.final_attrs);
        EXPECT_TRUE(fake.messages.empty());
    }
}

}  // namespace
}  // namespace setup
