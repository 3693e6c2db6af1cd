// What the program checks the medium's files with: its SHA-256, and the record table make dist fills in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>

#include "core/install/payload_records.h"
#include "core/sha256.h"
#include "install_test_support.h"

namespace setup {
namespace {

std::string Hex(const Sha256Digest& digest) {
    std::string text;
    char byte[3];
    for (std::uint8_t b : digest) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

TEST(Sha256, StandardTestVectors) {
    struct Case {
        std::string message;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqr"
         "stu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 20));
        EXPECT_EQ(Hex(Sha256Of(c.message)), c.digest);
    }
}

TEST(Sha256, PiecesOfAnySizeGiveTheSameDigest) {
    // Pieces that end inside a block, exactly at its end and beyond it, as a file read in chunks does.
    std::string message;
    for (int i = 0; i < 5000; ++i) message += static_cast<char>(i * 7);
    for (std::size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 4096u}) {
        SCOPED_TRACE(piece);
        Sha256 hash;
        for (std::size_t at = 0; at < message.size(); at += piece) {
            hash.Update(message.data() + at, std::min(piece, message.size() - at));
        }
        EXPECT_EQ(hash.Finish(), Sha256Of(message));
    }
}

TEST(PayloadRecords, FindsEachRecordByItsExactName) {
    const PayloadRecords records(test::TableOf({{"rudize.exe", "installer"}, {"MSCC2JP.DLL", "component"}}));
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(records.Find(L"rudize.exe"), Sha256Of("installer"));
    EXPECT_EQ(records.Find(L"MSCC2JP.DLL"), Sha256Of("component"));
    // Names are used exactly as written, case included.
    EXPECT_FALSE(records.Find(L"mscc2jp.dll"));
    EXPECT_FALSE(records.Find(L"comdlg32.ocx"));
}

TEST(PayloadRecords, ATableNeverFilledInHoldsNoRecords) {
    // As setup.exe carries it before make dist: the marker, and nothing else.
    const PayloadRecords records(EmptyPayloadTable());
    EXPECT_EQ(records.size(), 0u);
    EXPECT_FALSE(records.Find(L"rudize.exe"));
    EXPECT_FALSE(records.Find(L""));
}

TEST(PayloadRecords, MalformedEntriesAreLeftOut) {
    PayloadTable table = test::TableOf({{"rudize.exe", "installer"}, {"", "no name"}, {"RoVur.dll", "x"}});
    // A name that fills its whole field without an end.
    std::fill(table.entries[2].name, table.entries[2].name + PayloadTable::kNameSize, 'a');
    EXPECT_EQ(PayloadRecords(table).size(), 1u);
}

TEST(PayloadRecords, ACountBeyondTheCapacityIsCutToIt) {
    // A full table, and right after it in memory what would read as four more well-formed entries: a count that
    // were not cut would take them.
    struct {
        PayloadTable table;
        PayloadTable::Entry beyond[4];
    } image{EmptyPayloadTable(), {}};
    static_assert(offsetof(decltype(image), beyond) == sizeof(PayloadTable), "the entries follow the table");
    const auto fill = [](PayloadTable::Entry& entry, const std::string& name) {
        std::copy(name.begin(), name.end(), entry.name);
        const Sha256Digest digest = Sha256Of(name);
        std::copy(digest.begin(), digest.end(), entry.sha256);
    };
    for (std::size_t i = 0; i < PayloadTable::kCapacity; ++i) fill(image.table.entries[i], "in" + std::to_string(i));
    for (std::size_t i = 0; i < std::size(image.beyond); ++i) fill(image.beyond[i], "beyond" + std::to_string(i));
    image.table.count = PayloadTable::kCapacity + std::size(image.beyond);

    const PayloadRecords records(image.table);
    EXPECT_EQ(records.size(), PayloadTable::kCapacity);
    EXPECT_EQ(records.Find(L"in15"), Sha256Of("in15"));
    EXPECT_FALSE(records.Find(L"beyond0"));
}

}  // namespace
}  // namespace setup
