#pragma once
// The data manager's own string table: result codes to their (German) texts.
#include <cstdint>

namespace tess::datamgr {

// The text of a code, or null for a code that has none in the table.
const char* ErrorText(uint32_t code);
// The text of a string id of the table (ids 98-147), or null.
const char* StringText(int id);

}  // namespace tess::datamgr
