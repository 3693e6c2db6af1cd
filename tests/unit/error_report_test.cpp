#include "app/error_report.h"

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
        EXPECT_EQ(fake.messages[0].code, 48);
        EXPECT_EQ(U(fake.messages[0].title), U(kExpectedTitle));
    }
}

TEST(ShowErrorMessage, LabelsUseOrdinaryBlanks) {
    // Two blanks after the error label, three after the information label, all U+0020, and a CR LF between.
    const std::wstring text = ErrorMessageText(L"L", L"D");
    EXPECT_EQ(text, std::wstring(L"\u30A8\u30E9\u30FC\u0020\u0020L\u000D\u000A\u60C5\u5831\u0020\u0020\u0020D"));
}

TEST(ErrorModes, TrappedReportsOnceAndSkipsTheRestOfTheRegion) {
    FakePlatform fake;
    bool after_failure_ran = false;
    const bool ok = Trapped(fake, L"frmRudIze DeleteSetupExe()", [&] {
        throw PlatformError{L"使用中です。"};
        after_failure_ran = true;  // never reached
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(after_failure_ran);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(test::IsErrorReport(fake, 0, L"frmRudIze DeleteSetupExe()", L"使用中です。"));
}

TEST(ErrorModes, ReportThatCannotBeShownStillEndsTheRegionQuietly) {
    FakePlatform fake;
    fake.Fail("ShowMessage", L"", L"メッセージを表示できません。");
    bool ok = true;
    EXPECT_NO_THROW(ok = Trapped(fake, L"frmRudIze DeleteSetupExe()", [] { throw PlatformError{L"使用中です。"}; }));
    EXPECT_FALSE(ok);
    EXPECT_EQ(test::CallsOf(fake, "ShowMessage").size(), 1u);
}

TEST(ErrorModes, TrappedRegionWithoutFailureShowsNothing) {
    FakePlatform fake;
    EXPECT_TRUE(Trapped(fake, L"x", [] {}));
    EXPECT_TRUE(fake.messages.empty());
}

TEST(ErrorModes, IgnoredSkipsOneOperationSilently) {
    FakePlatform fake;
    EXPECT_FALSE(Ignored([] { throw PlatformError{L"失敗"}; }));
    EXPECT_TRUE(Ignored([] {}));
    EXPECT_TRUE(fake.messages.empty());
}

}  // namespace
}  // namespace setup
