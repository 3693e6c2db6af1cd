// The record table setup.exe carries for the medium's files (see core/install/payload_records.h).
#pragma once

#include "core/install/payload_records.h"

namespace setup {

// The table as it lies in this program, filled in when the medium was made.
const PayloadTable& EmbeddedPayloadTable();

}  // namespace setup
