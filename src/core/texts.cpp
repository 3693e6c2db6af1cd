#include "core/texts.h"

#include <cstddef>
#include <initializer_list>


namespace setup {

namespace {

std::wstring Join(std::initializer_list<std::wstring_view> parts) {
    std::wstring text;
    for (std::wstring_view part : parts) text += part;
    return text;
}

// The terms of use, one entry per line of the text box.
//
// The lines are wrapped by hand, not by the text box: a line that continues on the next one holds 46 to 50
// characters, counted as code points from the very first one, its indent included (the U+3000 of a body line,
// the " (n)" of a clause, the two U+3000 of a continuation), every character counting one whatever its display
// width. The cut falls where that count says, inside a word if need be. Every character here is in the Basic
// Multilingual Plane, so one code point is one wchar_t on both Windows and Linux and the count is simply the
// length of the literal.
//
// Each line must also fit the box's text area on one visual line, or the box wraps it a second time and the
// hand-made indentation is lost. The font is proportional, so a count of 46 leaves little room: the wording
// favours narrow characters (half-width "､" "｡", kana where Japanese allows it, "PC", the half-width corner
// brackets around the product name) over kanji. tests/wine/terms_window_test.cpp measures every line in the
// box's own font at 96, 120, 144 and 192 dpi; change a line only with that test at hand.
constexpr const wchar_t* kTermsLines[] = {
    L"第1条(使用許諾)",
    L"　当社は､本契約に同意したお客さまに､｢ホルンデ｣サンプル版を､1台のPCにインストールし､",
    L"　評価の目的に限って使用する､非独占的な権利を許諾します｡",
    L"",
    L"第2条 (著作権)",
    L"　｢ホルンデ｣のソフトウェア､ドキュメントについて､その著作権その他の知的財産権は､いずれも",
    L"　当社に帰属し､本契約によってお客さまに移転するものではありません｡",
    L"",
    L"第3条 (禁止事項)",
    L" (1)お客さまは､｢ホルンデ｣の全部または一部を複製､改変もしくは翻案し､またはリバースエ",
    L"　　ンジニアリング、逆コンパイルもしくは逆アセンブルを行ってはなりません。",
    L" (2)お客さまは､｢ホルンデ｣を第三者に譲渡､貸与または再許諾してはなりません。",
    L"",
    L"第4条 (保証の否認)",
    L" (1)｢ホルンデ｣は評価用のサンプル版として現状のままで提供されるものであり､当社は､その",
    L"　　機能、性能および特定の目的への適合性について、なんらの保証も行いません｡",
    L" (2)当社は､｢ホルンデ｣を使用したこと､または使用できなかったことによりお客さまに生じた",
    L"　　データの消失､業務の中断その他いっさいの損害について､責任を負いません｡",
    L"",
    L"第5条 (責任の制限)",
    L" (1)法令などにより当社が責任を負うときであっても､その責任は､お客さまに実際に生じた直接",
    L"　　かつ通常の損害に限るものとし、逸失利益その他の特別な損害には及びません。",
    L" (2)前項の場合において､当社が賠償する額は､お客さまが｢ホルンデ｣を取得するために当社に",
    L"　　支払った対価の額を上限とします。",
    L" (3)サンプル版である｢ホルンデ｣について､当社は保守およびサポートの義務を負いません｡",
    L"",
    L"第6条 (契約期間及び終了)",
    L" (1)本契約は､お客さまが｢ホルンデ｣をインストールしたときに効力を生じ､その後お客さまが",
    L"　　｢ホルンデ｣をアンインストールしたときに終了するものとします｡ただし､当社は､お客さまが",
    L"　　本契約に違反したときは､なんらの通知もせず､ただちに本契約を解除することができます。",
    L" (2)本契約の終了後､お客さまは｢ホルンデ｣とその複製物をただちに廃棄するものとします。",
    L"",
    L"第7条 (準拠法及び管轄)",
    L" (1)本契約は､日本の法律に準拠するものとし､本契約に関して生じたすべての紛争については､",
    L"　　東京地方裁判所を第一審の専属的合意管轄裁判所とします｡",
};

constexpr std::size_t kTermsLineCount = sizeof kTermsLines / sizeof kTermsLines[0];
static_assert(kTermsLineCount == 35, "the terms text has 35 lines");

}  // namespace

std::wstring MenuCaption() { return Join({kProductName, L"のセットアップメニュー"}); }

std::wstring ProgressTitleText() { return Join({L"○", kProductName, L"をセットアップします。"}); }

std::wstring WindowCreationLocation(std::wstring_view window) { return Join({window, L" Form_Initialize()"}); }

std::wstring ErrorMessageText(std::wstring_view location, std::wstring_view description) {
    return Join({L"エラー  ", location, L"\r\n情報   ", description});
}

std::wstring ServiceToolNotRunText() { return L"システム監視サービスを実行することができません"; }

std::wstring ExistingInstallationQuestion() {
    return Join({L"既に", kProductName, L"がセットアップされています。\r\n", L"セットアップを継続すると、既存の",
                 kProductName, L"と入力したデータは全て削除されます。\r\n", L"セットアップを継続しますか？"});
}

std::wstring InstallerNotRunText() {
    return Join({kProductName, L"のセットアップファイルを実行することができません。"});
}

std::wstring InstallRootIsLinkText() {
    return Join({L"セットアップ先 ", kInstallRoot,
                 L" は別の場所を指すリンク（ジャンクションまたはシンボリック リンク）のため、使用できません。"});
}

std::wstring InstallTreeLinkText(const std::wstring& path) {
    return Join({L"セットアップ先の ", path,
                 L" は別の場所を指すリンク（ジャンクション、シンボリック リンクまたはハード リンク）のため、使用できません。"});
}

std::wstring InstallTreeOwnerText(const std::wstring& path, const std::wstring& owner) {
    return Join({L"セットアップ先の ", path, L" は管理者以外のユーザー（", owner, L"）が所有しているため、使用できません。"});
}

std::wstring RegistrationFailedText(std::wstring_view file_name) {
    return Join({L"必要ファイル（", file_name, L"）を登録できません。"});
}

std::wstring CompletionText() { return Join({kProductName, L"のセットアップが完了しました。"}); }
std::wstring FailureText() { return Join({kProductName, L"のセットアップができませんでした。"}); }

std::wstring TermsTitleLine() { return Join({L"－ ", kProductName, L"の使用許諾契約書 －"}); }


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
