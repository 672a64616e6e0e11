#pragma once
// Conversion between the modules' 8-bit text (Windows-1252) and the UTF-8 that files and
// terminals on Linux speak.
#include <string>

namespace platform::syncmgr {

// False (out untouched) when the input is not valid in `from` or has no form in `to`.
bool convertText(const char* from, const char* to, const std::string& in, std::string* out);

}  // namespace platform::syncmgr
