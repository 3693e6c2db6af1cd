// Shared helpers for the tests of the install logic against the in-memory machine.
//
// Expected texts are written out here as literals on purpose: a test that reused the product's own constants
// would pass with a misspelt constant.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/install/payload_records.h"
#include "fake_platform.h"
#include "support/utf8.h"

namespace setup::test {

inline const std::wstring kExpectedTitle = L"≪ホルンデ≫サンプル版のセットアップ";
inline const std::wstring kExpectedFailure = L"≪ホルンデ≫サンプル版のセットアップができませんでした。";
inline const std::wstring kExpectedCompletion = L"≪ホルンデ≫サンプル版のセットアップが完了しました。";

inline std::string U(const std::wstring& text) { return ToUtf8(text); }

// Every Package file setup.exe copies: what make dist records.
inline const std::vector<std::wstring> kMediumFiles = {
    L"rudize.exe",   L"mscomctl.ocx", L"comdlg32.ocx", L"mscomct2.ocx", L"MSCC2JP.DLL", L"TransLh6.ocx",
    L"MSMAPI32.OCX", L"MSMPIJP.DLL",  L"UNLHA32.DLL",  L"vb6jp.DLL",    L"RoVur.dll",   L"ZozuvOvero.dll"};

// A record table as make dist fills it in: one entry per {name, content}.
inline PayloadTable TableOf(const std::vector<std::pair<std::string, std::string>>& files) {
    PayloadTable table = EmptyPayloadTable();
    for (const auto& [name, content] : files) {
        PayloadTable::Entry& entry = table.entries[table.count++];
        std::memcpy(entry.name, name.data(), name.size());
        const Sha256Digest digest = Sha256Of(content);
        std::memcpy(entry.sha256, digest.data(), digest.size());
    }
    return table;
}

// The records make dist would write for the medium in the fake: every medium file in `package`, as it is now.
inline PayloadRecords RecordsOf(const FakePlatform& fake, const std::wstring& package = L"D:\\Media\\Package\\") {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::wstring& name : kMediumFiles) {
        if (fake.HasFile(package + name)) files.emplace_back(ToUtf8(name), fake.Content(package + name));
    }
    return PayloadRecords(TableOf(files));
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The recorded calls of one operation ("StageCopy", ...), with their arguments, in call order.
inline std::vector<std::string> CallsOf(const FakePlatform& fake, const std::string& op) {
    std::vector<std::string> out;
    for (const std::string& call : fake.calls) {
        if (StartsWith(call, op + "(")) out.push_back(call);
    }
    return out;
}

// Position of the first recorded call equal to `call`, or -1.
inline int IndexOf(const std::vector<std::string>& calls, const std::string& call) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i] == call) return static_cast<int>(i);
    }
    return -1;
}

// No recorded call mentions `text` (a file name, say).
inline testing::AssertionResult NoCallMentions(const FakePlatform& fake, const std::wstring& text) {
    const std::string needle = U(text);
    for (const std::string& call : fake.calls) {
        if (call.find(needle) != std::string::npos) {
            return testing::AssertionFailure() << "call mentions " << needle << ": " << call;
        }
    }
    return testing::AssertionSuccess();
}

// Exactly the given message texts were shown, in order (any code).
inline testing::AssertionResult MessageTextsAre(const FakePlatform& fake, const std::vector<std::wstring>& expected) {
    std::vector<std::string> got;
    for (const FakePlatform::Message& m : fake.messages) got.push_back(U(m.text));
    std::vector<std::string> want;
    for (const std::wstring& t : expected) want.push_back(U(t));
    if (got == want) return testing::AssertionSuccess();
    auto out = testing::AssertionFailure() << "messages shown:";
    for (const std::string& t : got) out << "\n  [" << t << "]";
    out << "\nexpected:";
    for (const std::string& t : want) out << "\n  [" << t << "]";
    return out;
}

// The message at `index` is one warning-box error report for `location` with `description`, under the title.
inline testing::AssertionResult IsErrorReport(const FakePlatform& fake, std::size_t index, const std::wstring& location,
                                              const std::wstring& description) {
    if (index >= fake.messages.size()) {
        return testing::AssertionFailure() << "only " << fake.messages.size() << " messages shown";
    }
    const FakePlatform::Message& m = fake.messages[index];
    const std::wstring want = L"エラー  " + location + L"\r\n情報   " + description;
    if (m.text != want)
        return testing::AssertionFailure() << "text [" << U(m.text) << "], expected [" << U(want) << "]";
    if (m.kind != MessageKind::Warning) return testing::AssertionFailure() << "not a warning box";
    if (m.title != kExpectedTitle) return testing::AssertionFailure() << "title [" << U(m.title) << "]";
    return testing::AssertionSuccess();
}

}  // namespace setup::test
