#include "windows/agreement/terms_text.h"

#include <cstddef>

#include "app/constants.h"

namespace setup {

std::wstring TermsTitleLine() { return L"－ " + std::wstring(kProductName) + L"の使用許諾契約書 －"; }

namespace {

// The publisher's terms of use, one entry per line of the text box, exactly as delivered.
//
// The lines are wrapped by hand, not by the text box: a line that continues on the next one holds 46 to 50
// characters, counted as code points from the very first one, its indent included (the U+3000 of a body line,
// the " (n)" of a clause, the two U+3000 of a continuation), every character counting one whatever its display
// width. The cut falls where that count says, inside a word if need be, so a few lines split a word on purpose.
// Every character here is in the Basic Multilingual Plane, so one code point is one wchar_t on both Windows and
// Linux and the count is simply the length of the literal.
//
// The half-width "､" "｡" mixed with full-width "、" "。", and the half-width corner brackets around the product
// name, are the publisher's; they are kept as they are.
constexpr const wchar_t* kTermsLines[] = {
    L"第1条(使用許諾)",
    L"　当社は､本契約に同意されたお客様に対し､｢ホルンデ｣サンプル版を評価の目的に限り､お客様が管理",
    L"　するコンピュータ1台にインストールして使用する非独占的な権利を許諾します｡",
    L"",
    L"第2条 (著作権)",
    L"　｢ホルンデ｣及びこれに付随する説明書等の著作権その他一切の知的財産権は当社に帰属し､本契約に",
    L"　よってお客様に移転するものではありません｡",
    L"",
    L"第3条 (禁止事項)",
    L" (1)お客様は､｢ホルンデ｣の全部又は一部を複製、改変若しくは翻案し、又はリバースエンジニアリン",
    L"　　グ、逆コンパイル若しくは逆アセンブルを行ってはなりません。",
    L" (2)お客様は､｢ホルンデ｣を第三者に譲渡､貸与又は再許諾してはなりません。",
    L"",
    L"第4条 (保証の否認)",
    L" (1)｢ホルンデ｣は評価用のサンプル版として現状のまま提供されるものであり､当社はその機能、",
    L"　　性能及び特定の目的への適合性について、何らの保証も行いません｡",
    L" (2)当社は､｢ホルンデ｣の使用又は使用不能によりお客様に生じたデータの消失､業務の中断その他一切",
    L"　　の損害について､責任を負わないものとします｡",
    L"",
    L"第5条 (責任の制限)",
    L" (1)法令の定めにより当社が責任を負う場合であっても､その責任は直接かつ通常の損害に限られ",
    L"　　るものとし、逸失利益その他の特別の損害には及ばないものとします。",
    L" (2)前項の場合における当社の賠償の額は､お客様が｢ホルンデ｣を取得するために当社に支払われた対",
    L"　　価の額を上限とします。",
    L" (3)サンプル版である｢ホルンデ｣について､当社は保守及びサポートの義務を負いません｡",
    L"",
    L"第6条 (契約期間及び終了)",
    L" (1)本契約は､お客様が｢ホルンデ｣をインストールした時点で効力を生じ､お客様が｢ホルンデ｣を",
    L"　　アンインストールしたときに終了します。また、お客様が本契約のいずれかの条項に違反したときは､当社",
    L"　　は何らの通知を要せず直ちに本契約を解除することができます。",
    L" (2)本契約が終了したときは､お客様は｢ホルンデ｣及びその複製物を直ちに廃棄するものとします。",
    L"",
    L"第7条 (準拠法及び管轄)",
    L" (1)本契約は日本法に準拠し､本契約に関して生じた一切の紛争については､東京地方裁判所を第",
    L"　　一審の専属的合意管轄裁判所とします｡",
};

constexpr std::size_t kTermsLineCount = sizeof kTermsLines / sizeof kTermsLines[0];
static_assert(kTermsLineCount == 35, "the terms text has 35 lines");

}  // namespace

std::wstring TermsText() {
    // CR LF between lines only: the text box shows the text from its first line, and a trailing break would add
    // an empty last line to scroll to.
    std::wstring text;
    for (std::size_t i = 0; i < kTermsLineCount; ++i) {
        if (i != 0) text += L"\r\n";
        text += kTermsLines[i];
    }
    return text;
}

}  // namespace setup
