#include "windows/app/payload_table.h"

namespace setup {

namespace {

// Read-only data of setup.exe, empty but for its marker until scripts/payload-records.py fills it in.
__attribute__((used)) const PayloadTable kPayloadTable = EmptyPayloadTable();

}  // namespace

const PayloadTable& EmbeddedPayloadTable() {
    const PayloadTable* table = &kPayloadTable;
    // What the table holds is written into the program after it is built: never take it from the initialiser.
    __asm__("" : "+r"(table));
    return *table;
}

}  // namespace setup
