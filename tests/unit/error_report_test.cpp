#include "core/error_report.h"

#include <gtest/gtest.h>

#include "install_test_support.h"

namespace setup {
namespace {

using test::kExpectedTitle;
using test::U;

TEST(ShowErrorMessage, ShowsTwoLabelledLinesInOneWarningBox) {
    struct Case {
        const char* label;
        std::wstring location;
        std::wstring description;
        std::wstring text;
    };
    const Case cases[] = {
        {"setup step", L"frmRudIze Function SetProgram()", L"指定されたファイルが見つかりません。",
         L"エラー  frmRudIze Function SetProgram()\r\n情報   指定されたファイルが見つかりません。"},
        {"menu load keeps its odd name", L"frmMain Form_Initialize()", L"アクセスが拒否されました。",
         L"エラー  frmMain Form_Initialize()\r\n情報   アクセスが拒否されました。"},
        {"empty description still gives the second line", L"frmRudIze cmdOK_Click", L"",
         L"エラー  frmRudIze cmdOK_Click\r\n情報   "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform fake;
        ShowErrorMessage(fake, c.location, c.description);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(U(fake.messages[0].text), U(c.text));
        EXPECT_EQ(fake.messages[0].kind, MessageKind::Warning);
        EXPECT_EQ(U(fake.messages[0].title), U(kExpectedTitle));
    }
}

TEST(ShowErrorMessage, LabelsUseOrdinaryBlanks) {
    // Two blanks after the error label, three after the information label, all U+0020, and a CR LF between.
    const std::wstring text = ErrorMessageText(L"L", L"D");
    EXPECT_EQ(text, std::wstring(L"\u30A8\u30E9\u30FC\u0020\u0020L\u000D\u000A\u60C5\u5831\u0020\u0020\u0020D"));
}

TEST(ErrorModes, TrapReportsTheFirstFailureOnlyAndTellsTheRegionToStop) {
    FakePlatform fake;
    Trap trap(fake, L"frmRudIze DeleteSetupExe()");
    EXPECT_TRUE(trap.Check(Status(Done{})));
    EXPECT_FALSE(trap.reported());
    EXPECT_FALSE(trap.Check(Status(PlatformError{L"使用中です。"})));
    EXPECT_TRUE(trap.reported());
    // A routine that went on regardless would not report a second time.
    EXPECT_FALSE(trap.Check(Result<int>(PlatformError{L"別の失敗"})));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmRudIze DeleteSetupExe()", L"使用中です。"));
}

TEST(ErrorModes, ReportThatCannotBeShownStillStopsTheRegionQuietly) {
    FakePlatform fake;
    fake.Fail("ShowMessage", L"", L"メッセージを表示できません。");
    Trap trap(fake, L"frmRudIze DeleteSetupExe()");
    EXPECT_FALSE(trap.Check(Status(PlatformError{L"使用中です。"})));
    EXPECT_TRUE(trap.reported());
    EXPECT_EQ(test::CallsOf(fake, "ShowMessage").size(), 1u);
    EXPECT_TRUE(fake.messages.empty());
    // Neither the failure nor the box that could not show it goes unrecorded.
    EXPECT_EQ(fake.noted, (std::vector<std::string>{"frmRudIze DeleteSetupExe(): 使用中です。",
                                                    "ShowErrorMessage: メッセージを表示できません。"}));
}

}  // namespace
}  // namespace setup
