// The terms text checked against its line plan, line by line: the text box shows it as it is, so a stray blank,
// a missing empty line or a line break of the wrong kind would show on screen. Each line's kind is read from
// the text itself; the plan only says which kinds follow each other. Whether the lines fit the box is measured
// under Wine (tests/wine/terms_window_test.cpp).
#include "core/texts.h"
#include "support/utf8.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace setup {
namespace {

constexpr wchar_t kIdeographicSpace = L'\u3000';

// One letter per line, in order: H article heading, B body line (articles 1 and 2; a B after a B continues
// it), C clause line, K continuation of a clause, E the empty line between two articles.
constexpr std::string_view kPlan =
    "HBB"
    "E"
    "HBB"
    "E"
    "HCKC"
    "E"
    "HCKCK"
    "E"
    "HCKCKC"
    "E"
    "HCKKC"
    "E"
    "HCK";

std::vector<std::wstring> Lines() { return SplitCrLf(TermsText()); }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsBlank(wchar_t c) { return c == L' ' || c == kIdeographicSpace || c == L'\t'; }

// The kind a line shows by how it starts ("第n条", " (n)", two U+3000, one U+3000, nothing); '?' for none.
char KindOf(const std::wstring& line) {
    if (line.empty()) return 'E';
    if (line.size() > 3 && line[0] == L'第' && IsDigit(line[1]) && line[2] == L'条') return 'H';
    if (line.size() > 4 && line.compare(0, 2, L" (") == 0 && IsDigit(line[2]) && line[3] == L')') return 'C';
    if (line.size() > 2 && line[0] == kIdeographicSpace && line[1] == kIdeographicSpace) return 'K';
    if (line.size() > 1 && line[0] == kIdeographicSpace) return 'B';
    return '?';
}

std::string Kinds(const std::vector<std::wstring>& lines) {
    std::string kinds;
    for (const std::wstring& line : lines) kinds += KindOf(line);
    return kinds;
}

std::size_t Count(const std::wstring& s, const std::wstring& what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::wstring::npos; at = s.find(what, at + what.size())) ++n;
    return n;
}

TEST(TermsText, LinesAreSeparatedByCrLfAlone) {
    const std::wstring text = TermsText();
    ASSERT_FALSE(text.empty());
    for (wchar_t end : {text.front(), text.back()}) {
        EXPECT_NE(end, L'\r');
        EXPECT_NE(end, L'\n');
    }
    const std::vector<std::wstring> lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find_first_of(L"\r\n"), std::wstring::npos) << "line " << i + 1;
    }
}

// 35 lines, the empty ones between the articles, each article's lines of the planned kinds in the planned order.
TEST(TermsText, KindsOfLinesFollowThePlan) { EXPECT_EQ(Kinds(Lines()), kPlan); }

TEST(TermsText, HeadingsAndClausesAreNumberedInOrder) {
    const std::vector<std::wstring> lines = Lines();
    int article = 0;
    int clause = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        const std::wstring& line = lines[i];
        if (KindOf(line) == 'H') {
            ++article;
            clause = 0;
            // ASCII digit, ASCII parentheses; a blank before "(" in every article but the first.
            const std::wstring lead =
                std::wstring(L"第") + static_cast<wchar_t>(L'0' + article) + L"条" + (article == 1 ? L"(" : L" (");
            ASSERT_EQ(line.compare(0, lead.size(), lead), 0);
            ASSERT_GT(line.size(), lead.size() + 1);
            EXPECT_EQ(line.back(), L')');
            const std::wstring title = line.substr(lead.size(), line.size() - lead.size() - 1);
            EXPECT_EQ(title.find_first_of(L"() \u3000（）"), std::wstring::npos);
        } else if (KindOf(line) == 'C') {
            EXPECT_EQ(line[2], static_cast<wchar_t>(L'0' + ++clause));
        }
    }
    EXPECT_EQ(article, 7);
}

// The indent is exactly one U+3000 (body), " (n)" (clause) or two U+3000 (continuation): no blank after it.
TEST(TermsText, NoBlankFollowsAnIndent) {
    const std::vector<std::wstring> lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const char kind = KindOf(lines[i]);
        const std::size_t text_at = kind == 'B' ? 1 : kind == 'K' ? 2 : kind == 'C' ? 4 : 0;
        if (text_at == 0) continue;
        EXPECT_FALSE(IsBlank(lines[i][text_at])) << "line " << i + 1;
    }
}

// Characters are counted as code points from the first one, the indent included; a line that goes on in the
// next holds 46 to 50 of them, and no line is longer.
TEST(TermsText, CutLinesHold46To50Characters) {
    const std::vector<std::wstring> lines = Lines();
    const std::string kinds = Kinds(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        for (wchar_t c : lines[i]) {
            // Outside the BMP one character would take two UTF-16 units on Windows and the count would differ.
            EXPECT_FALSE(c >= 0xD800 && c <= 0xDFFF);
            EXPECT_LE(static_cast<unsigned long>(c), 0xFFFFul);
        }
        EXPECT_LE(lines[i].size(), 50u);
        const bool cut = i + 1 < lines.size() && (kinds[i + 1] == 'K' || (kinds[i] == 'B' && kinds[i + 1] == 'B'));
        if (cut) {
            EXPECT_GE(lines[i].size(), 46u);
        }
    }
}

TEST(TermsText, NamesTheProductInHalfWidthCornerBrackets) {
    const std::wstring text = TermsText();
    EXPECT_GE(Count(text, L"｢ホルンデ｣"), 1u);
    EXPECT_EQ(Count(text, L"ホルンデ"), Count(text, L"｢ホルンデ｣"));
    EXPECT_EQ(Count(text, L"≪"), 0u);
    EXPECT_EQ(Count(text, L"「ホルンデ」"), 0u);
}

TEST(TermsText, MixesHalfAndFullWidthPunctuation) {
    const std::wstring text = TermsText();
    EXPECT_NE(text.find(L'\uFF64'), std::wstring::npos);  // ､
    EXPECT_NE(text.find(L'\uFF61'), std::wstring::npos);  // ｡
    EXPECT_NE(text.find(L'\u3001'), std::wstring::npos);  // 、
    EXPECT_NE(text.find(L'\u3002'), std::wstring::npos);  // 。
}

TEST(TermsTitleLine, FramesTheProductName) {
    // Full-width hyphen-minus (U+FF0D) and an ASCII blank at each end.
    EXPECT_EQ(TermsTitleLine(), L"\uFF0D ≪ホルンデ≫サンプル版の使用許諾契約書 \uFF0D");
}

// The texts the windows and the reports show that no test of a step looks at, exactly as they stand.
TEST(Texts, CaptionsTitlesAndLocationsAsTheyStand) {
    EXPECT_EQ(MenuCaption(), L"≪ホルンデ≫サンプル版のセットアップメニュー");
    EXPECT_EQ(ProgressTitleText(), L"○≪ホルンデ≫サンプル版をセットアップします。");
    EXPECT_EQ(kMessageTitle, L"≪ホルンデ≫サンプル版のセットアップ");
    EXPECT_EQ(kSetupRunningReason, L"≪ホルンデ≫サンプル版のセットアップ中です。");
    const std::wstring_view locations[] = {kLocMenuLoad, kLocSetProgram, kLocSetDllFile,
                                           kLocExecuteRuvok, kLocDeleteSetupExe, kLocSequence};
    const std::wstring_view expected[] = {L"frmMain Form_Initialize()",  L"frmRudIze Function SetProgram()",
                                          L"frmRudIze Function SetDllFile()", L"frmRudIze ExecuteRuvok()",
                                          L"frmRudIze DeleteSetupExe()", L"frmRudIze cmdOK_Click"};
    for (std::size_t i = 0; i < std::size(locations); ++i) EXPECT_EQ(locations[i], expected[i]);
    EXPECT_EQ(WindowCreationLocation(L"frmKyodaku"), L"frmKyodaku Form_Initialize()");
}

}  // namespace
}  // namespace setup
