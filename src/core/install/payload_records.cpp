#include "core/install/payload_records.h"

#include <algorithm>

namespace setup {

PayloadRecords::PayloadRecords(const PayloadTable& table) {
    const std::size_t count = std::min<std::size_t>(table.count, PayloadTable::kCapacity);
    for (std::size_t i = 0; i < count; ++i) {
        const PayloadTable::Entry& entry = table.entries[i];
        const char* end = std::find(entry.name, entry.name + PayloadTable::kNameSize, '\0');
        if (end == entry.name || end == entry.name + PayloadTable::kNameSize) continue;
        std::wstring name;
        for (const char* c = entry.name; c != end; ++c) name += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        Sha256Digest digest;
        std::copy(entry.sha256, entry.sha256 + digest.size(), digest.begin());
        records_.emplace_back(std::move(name), digest);
    }
}

std::optional<Sha256Digest> PayloadRecords::Find(std::wstring_view name) const {
    for (const auto& [recorded, digest] : records_) {
        if (recorded == name) return digest;
    }
    return std::nullopt;
}

}  // namespace setup
