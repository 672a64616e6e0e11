#pragma once
// The window's texts: the language library's strings (ids in the 4000s, 8-bit text) and
// the module's own string table (ids from 32772 and 57665 on).
#include <string>

namespace tess::config {

// The language library's string (Windows-1252), empty when there is none.
std::string LangText(unsigned id);
// The module's own string, UTF-8; empty for an unknown id.
std::string OwnText(unsigned id);

}  // namespace tess::config
