// The medium's files as they were signed: the SHA-256 of every Package file setup.exe copies, recorded in
// setup.exe itself.
//
// setup.exe is built before the Package folder it will ship with is known, so it carries an empty table of a
// fixed size. When the medium is made, scripts/payload-records.py finds the table by its marker and writes
// each file's name and digest into it, and only then is setup.exe signed: the signature covers the records.
// A table that was never filled holds no records, and every file is then refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/sha256.h"

namespace setup {

// The table as it lies in setup.exe; the layout is shared with scripts/payload-records.py.
struct PayloadTable {
    static constexpr std::size_t kCapacity = 16;
    static constexpr std::size_t kNameSize = 32;
    struct Entry {
        char name[kNameSize];  // the file name as the program uses it, ASCII, NUL-padded
        std::uint8_t sha256[32];
    };
    char marker[16];
    std::uint32_t count;  // little-endian, as the program reads it on x86
    std::uint32_t reserved;
    Entry entries[kCapacity];
};
static_assert(sizeof(PayloadTable) == 24 + 16 * 64, "the layout scripts/payload-records.py writes");

// Marks the table for the script: sixteen bytes that occur nowhere else in setup.exe.
inline constexpr char kPayloadMarker[16] = {'H', 'o', 'r', 'u', 'n', 'd', 'e', 'P',
                                            'a', 'y', 'l', 'o', 'a', 'd', '#', '1'};

// The table as setup.exe is built with it: the marker, and no records.
constexpr PayloadTable EmptyPayloadTable() {
    PayloadTable table{};
    for (std::size_t i = 0; i < sizeof table.marker; ++i) table.marker[i] = kPayloadMarker[i];
    return table;
}

// The records of a table, looked up by file name.
class PayloadRecords {
public:
    // No records: every file is refused.
    PayloadRecords() = default;
    // Takes the well-formed entries of `table`: a count beyond the capacity is cut to it, and an entry whose
    // name is empty or not ended within its field is left out.
    explicit PayloadRecords(const PayloadTable& table);

    // The digest recorded for `name`, compared exactly, case included; nothing when there is no record.
    std::optional<Sha256Digest> Find(std::wstring_view name) const;
    std::size_t size() const { return records_.size(); }

private:
    std::vector<std::pair<std::wstring, Sha256Digest>> records_;
};

}  // namespace setup
