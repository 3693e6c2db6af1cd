// The menu's load work: the progress-bar control placed in the system folder and registered.
// The component procedure itself, which the install step shares, is tested there (set_dll_file_test.cpp).
#include "core/install/menu_load.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_test_support.h"

namespace setup {
namespace {

using test::CallsOf;
using test::U;

const std::wstring kTarget = L"C:\\WINDOWS\\system32\\mscomctl.ocx";
const std::wstring kSource = L"D:\\Media\\Package\\mscomctl.ocx";
const std::string kPutCall = "PutInPlace(C:\\WINDOWS\\system32\\mscomctl.ocx)";
const std::string kRegistrar = "\"C:\\WINDOWS\\system32\\REGSVR32.exe\" /s mscomctl.ocx";

FakePlatform Machine() {
    FakePlatform fake;
    fake.system_folder = L"C:\\WINDOWS\\system32";
    fake.program_folder = L"D:\\Media";
    fake.AddFile(kSource, kAttrArchive, "new");
    return fake;
}

// With the records of the medium as it is at the time, unless others are given.
void Load(FakePlatform& fake, const PayloadRecords& records) { MenuFormLoad(fake, records); }
void Load(FakePlatform& fake) { Load(fake, test::RecordsOf(fake)); }

std::vector<std::string> Started(const FakePlatform& fake) {
    std::vector<std::string> lines;
    for (const std::wstring& line : fake.started) lines.push_back(U(line));
    return lines;
}

TEST(MenuFormLoad, PlacesAndRegistersTheControlFile) {
    struct Case {
        const char* label;
        bool present;
        std::uint32_t present_attrs;
        std::uint32_t source_attrs;
        std::vector<std::uint32_t> writes;  // SetAttributes values on the control file, in order
    };
    const Case cases[] = {
        {"absent: copied and marked for backup", false, 0, 0, {}},
        {"absent, read-only on the medium: cleared after the copy", false, 0, kAttrReadOnly, {kAttrArchive}},
        {"present and read-only: cleared before it is replaced", true, kAttrReadOnly, 0, {0}},
        {"present, archive set: left as it is", true, kAttrArchive, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.AddFile(kSource, c.source_attrs, "new");
        if (c.present) fake.AddFile(kTarget, c.present_attrs, "old");

        Load(fake);
        EXPECT_EQ(fake.Content(kTarget), "new");
        EXPECT_EQ(fake.Attributes(kTarget) & (kAttrReadOnly | kAttrArchive), kAttrArchive);
        std::vector<std::string> expected;
        for (std::uint32_t v : c.writes)
            expected.push_back("SetAttributes(" + U(kTarget) + "=" + std::to_string(v) + ")");
        EXPECT_EQ(CallsOf(fake, "SetAttributes"), expected);
        if (c.present && (c.present_attrs & kAttrReadOnly)) {
            EXPECT_LT(test::IndexOf(fake.calls, expected.at(0)), test::IndexOf(fake.calls, kPutCall));
        }
        // Registered on every run, also when the file was already in place; in the system folder.
        EXPECT_EQ(Started(fake), std::vector<std::string>{kRegistrar});
        EXPECT_EQ(fake.started_in, std::vector<std::wstring>{L"C:\\WINDOWS\\system32\\"});
        EXPECT_LT(test::IndexOf(fake.calls, kPutCall), test::IndexOf(fake.calls, "StartProgram(" + kRegistrar + ")"));
        EXPECT_TRUE(fake.messages.empty());
    }
}

TEST(MenuFormLoad, TrappedErrorIsReportedOnceAndNothingIsPlaced) {
    struct Case {
        const char* label;
        std::string op;  // empty: the read-only bit of an existing file cannot be cleared
    };
    const Case cases[] = {
        {"system folder unknown", "SystemFolder"}, {"setup folder unknown", "ProgramFolder"},
        {"existence check fails", "FileExists"},   {"attributes cannot be read", "GetAttributes"},
        {"read-only bit cannot be cleared", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.AddFile(kTarget, kAttrReadOnly, "old");
        if (c.op.empty()) {
            fake.LockAttributes(kTarget);
        } else {
            fake.Fail(c.op, L"", L"アクセスが拒否されました。");
        }

        Load(fake);
        ASSERT_EQ(fake.messages.size(), 1u);  // the report, and no registration message
        EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmMain Form_Initialize()", L"アクセスが拒否されました。"));
        EXPECT_TRUE(CallsOf(fake, "PutInPlace").empty());
        EXPECT_TRUE(fake.started.empty());
        EXPECT_EQ(fake.Content(kTarget), "old");
    }
}

TEST(MenuFormLoad, ControlFileThatIsNotWhatTheMediumRecordedIsReportedAndNotPlaced) {
    struct Case {
        const char* label;
        bool recorded;
        std::wstring description;
    };
    for (const Case& c :
         {Case{"one byte differs", true, FakePlatform::kCorrupt}, Case{"no record", false, FakePlatform::kNoRecord}}) {
        SCOPED_TRACE(c.label);
        FakePlatform fake = Machine();
        fake.AddFile(kTarget, kAttrArchive, "old");
        Load(fake, PayloadRecords(test::TableOf(
                       c.recorded ? std::vector<std::pair<std::string, std::string>>{{"mscomctl.ocx", "nex"}}
                                  : std::vector<std::pair<std::string, std::string>>{})));

        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmMain Form_Initialize()", c.description));
        EXPECT_EQ(fake.Content(kTarget), "old");
        EXPECT_TRUE(fake.started.empty()) << "registered all the same";
    }
}

TEST(MenuFormLoad, RegistrarThatCannotStartShowsOneNotice) {
    for (const bool fails : {true, false}) {
        SCOPED_TRACE(fails ? "the start fails" : "the start gives task id 0");
        FakePlatform fake = Machine();
        if (fails) {
            fake.Fail("StartProgram", L"REGSVR32", L"指定されたファイルが見つかりません。");
        } else {
            fake.StartNothing(L"REGSVR32");
        }
        Load(fake);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(U(fake.messages[0].text), "必要ファイル（mscomctl.ocx）を登録できません。");
        EXPECT_EQ(fake.messages[0].kind, MessageKind::Information);
        EXPECT_EQ(U(fake.messages[0].title), U(test::kExpectedTitle));
    }
}

}  // namespace
}  // namespace setup
