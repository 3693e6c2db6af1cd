// The terms text is checked against its line plan character by character: the text box shows it as it is,
// so a stray blank, a missing empty line or a line break of the wrong kind would show on screen.
#include "core/terms_text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace setup {
namespace {

constexpr wchar_t kIdeographicSpace = L'\u3000';
constexpr std::size_t kCutMin = 46;
constexpr std::size_t kCutMax = 50;

enum class Kind {
  Heading,       // "第n条(…)" / "第n条 (…)"
  Body,          // U+3000 + text (articles 1 and 2)
  BodyContinued, // U+3000 + rest of the body sentence
  Clause,        // " (n)" + text
  Continued,     // U+3000 U+3000 + rest of the clause
  Empty,         // between articles
};

struct PlannedLine {
  Kind kind;
  int number;  // article number of a heading, clause number of a clause, else 0
};

// The 35 lines in order.
constexpr PlannedLine kPlan[] = {
    {Kind::Heading, 1}, {Kind::Body, 0},   {Kind::BodyContinued, 0},
    {Kind::Empty, 0},
    {Kind::Heading, 2}, {Kind::Body, 0},   {Kind::BodyContinued, 0},
    {Kind::Empty, 0},
    {Kind::Heading, 3}, {Kind::Clause, 1}, {Kind::Continued, 0}, {Kind::Clause, 2},
    {Kind::Empty, 0},
    {Kind::Heading, 4}, {Kind::Clause, 1}, {Kind::Continued, 0}, {Kind::Clause, 2}, {Kind::Continued, 0},
    {Kind::Empty, 0},
    {Kind::Heading, 5}, {Kind::Clause, 1}, {Kind::Continued, 0}, {Kind::Clause, 2}, {Kind::Continued, 0},
    {Kind::Clause, 3},
    {Kind::Empty, 0},
    {Kind::Heading, 6}, {Kind::Clause, 1}, {Kind::Continued, 0}, {Kind::Continued, 0}, {Kind::Clause, 2},
    {Kind::Empty, 0},
    {Kind::Heading, 7}, {Kind::Clause, 1}, {Kind::Continued, 0},
};
constexpr std::size_t kPlanSize = sizeof kPlan / sizeof kPlan[0];
static_assert(kPlanSize == 35, "the plan has 35 lines");

bool IsContinuation(Kind kind) { return kind == Kind::BodyContinued || kind == Kind::Continued; }

// Splits on CR LF only, so a lone CR or LF stays inside a line where the checks below find it.
std::vector<std::wstring> SplitCrLf(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(L"\r\n", start);
    if (at == std::wstring::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
}

bool StartsWith(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool IsBlank(wchar_t c) { return c == L' ' || c == kIdeographicSpace || c == L'\t'; }

std::size_t Count(const std::wstring& s, const std::wstring& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::wstring::npos; at = s.find(what, at + what.size())) ++n;
  return n;
}

TEST(TermsText, HasNoBreakAtEitherEnd) {
  const std::wstring text = TermsText();
  ASSERT_FALSE(text.empty());
  EXPECT_FALSE(StartsWith(text, L"\r\n"));
  EXPECT_NE(text.front(), L'\r');
  EXPECT_NE(text.front(), L'\n');
  EXPECT_NE(text.back(), L'\r');
  EXPECT_NE(text.back(), L'\n');
}

TEST(TermsText, Has35LinesAndNoLoneCrOrLf) {
  const std::vector<std::wstring> lines = SplitCrLf(TermsText());
  ASSERT_EQ(lines.size(), kPlanSize);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    EXPECT_EQ(lines[i].find(L'\r'), std::wstring::npos);
    EXPECT_EQ(lines[i].find(L'\n'), std::wstring::npos);
  }
}

TEST(TermsText, EmptyLinesSeparateTheArticles) {
  const std::vector<std::wstring> lines = SplitCrLf(TermsText());
  ASSERT_EQ(lines.size(), kPlanSize);
  std::vector<std::size_t> empty;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty()) empty.push_back(i + 1);
  }
  EXPECT_EQ(empty, (std::vector<std::size_t>{4, 8, 13, 19, 26, 32}));
}

TEST(TermsText, EachLineFollowsThePlan) {
  const std::vector<std::wstring> lines = SplitCrLf(TermsText());
  ASSERT_EQ(lines.size(), kPlanSize);
  for (std::size_t i = 0; i < kPlanSize; ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    const std::wstring& line = lines[i];
    const PlannedLine& plan = kPlan[i];
    switch (plan.kind) {
      case Kind::Heading: {
        // ASCII digit, ASCII parentheses; a blank before "(" in every article but the first.
        const std::wstring lead = L"第" + std::wstring(1, static_cast<wchar_t>(L'0' + plan.number)) + L"条";
        const std::wstring open = plan.number == 1 ? L"(" : L" (";
        ASSERT_TRUE(StartsWith(line, lead + open));
        ASSERT_GT(line.size(), lead.size() + open.size() + 1);
        EXPECT_EQ(line.back(), L')');
        const std::wstring title = line.substr(lead.size() + open.size(), line.size() - lead.size() - open.size() - 1);
        EXPECT_EQ(title.find_first_of(L"() \u3000（）"), std::wstring::npos);
        break;
      }
      case Kind::Body:
      case Kind::BodyContinued:
        ASSERT_GE(line.size(), 2u);
        EXPECT_EQ(line[0], kIdeographicSpace);
        EXPECT_FALSE(IsBlank(line[1]));
        break;
      case Kind::Clause: {
        const std::wstring number = L" (" + std::wstring(1, static_cast<wchar_t>(L'0' + plan.number)) + L")";
        ASSERT_TRUE(StartsWith(line, number));
        ASSERT_GT(line.size(), number.size());
        EXPECT_FALSE(IsBlank(line[number.size()]));
        break;
      }
      case Kind::Continued:
        ASSERT_GE(line.size(), 3u);
        EXPECT_EQ(line[0], kIdeographicSpace);
        EXPECT_EQ(line[1], kIdeographicSpace);
        EXPECT_FALSE(IsBlank(line[2]));
        break;
      case Kind::Empty:
        EXPECT_TRUE(line.empty());
        break;
    }
  }
}

// Characters are counted as code points from the first one, the indent included; a line that goes on in the
// next holds 46 to 50 of them, and no line is longer.
TEST(TermsText, CutLinesHold46To50Characters) {
  const std::vector<std::wstring> lines = SplitCrLf(TermsText());
  ASSERT_EQ(lines.size(), kPlanSize);
  int cut = 0;
  for (std::size_t i = 0; i < kPlanSize; ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    for (wchar_t c : lines[i]) {
      // Outside the BMP one character would take two UTF-16 units on Windows and the count would differ.
      EXPECT_FALSE(c >= 0xD800 && c <= 0xDFFF);
      EXPECT_LE(static_cast<unsigned long>(c), 0xFFFFul);
    }
    EXPECT_LE(lines[i].size(), kCutMax);
    const bool isCut = i + 1 < kPlanSize && IsContinuation(kPlan[i + 1].kind);
    if (isCut) {
      ++cut;
      EXPECT_GE(lines[i].size(), kCutMin);
    }
  }
  EXPECT_EQ(cut, 10);
}

TEST(TermsText, ContinuationsFollowTheLineTheyContinue) {
  for (std::size_t i = 0; i < kPlanSize; ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    if (kPlan[i].kind == Kind::BodyContinued) {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(kPlan[i - 1].kind, Kind::Body);
    }
    if (kPlan[i].kind == Kind::Continued) {
      ASSERT_GT(i, 0u);
      EXPECT_TRUE(kPlan[i - 1].kind == Kind::Clause || kPlan[i - 1].kind == Kind::Continued);
    }
  }
}

TEST(TermsText, HeadingsAndClausesAreNumberedInOrder) {
  const std::vector<std::wstring> lines = SplitCrLf(TermsText());
  ASSERT_EQ(lines.size(), kPlanSize);
  int article = 0;
  int clause = 0;
  for (std::size_t i = 0; i < kPlanSize; ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1));
    if (kPlan[i].kind == Kind::Heading) {
      ++article;
      clause = 0;
      EXPECT_EQ(kPlan[i].number, article);
      ASSERT_GE(lines[i].size(), 3u);
      EXPECT_EQ(lines[i][1], static_cast<wchar_t>(L'0' + article));
    } else if (kPlan[i].kind == Kind::Clause) {
      ++clause;
      EXPECT_EQ(kPlan[i].number, clause);
      ASSERT_GE(lines[i].size(), 4u);
      EXPECT_EQ(lines[i][2], static_cast<wchar_t>(L'0' + clause));
    }
  }
  EXPECT_EQ(article, 7);
  // Articles 1 and 2 have body text, not clauses.
  EXPECT_EQ(kPlan[1].kind, Kind::Body);
  EXPECT_EQ(kPlan[5].kind, Kind::Body);
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

TEST(TermsText, IsTheSameEachTime) { EXPECT_EQ(TermsText(), TermsText()); }

TEST(TermsTitleLine, FramesTheProductName) {
  EXPECT_EQ(TermsTitleLine(), L"－ ≪ホルンデ≫サンプル版の使用許諾契約書 －");
  const std::wstring title = TermsTitleLine();
  ASSERT_GE(title.size(), 4u);
  EXPECT_EQ(title[0], L'\uFF0D');
  EXPECT_EQ(title[1], L' ');
  EXPECT_EQ(title[title.size() - 2], L' ');
  EXPECT_EQ(title.back(), L'\uFF0D');
}

}  // namespace
}  // namespace setup
