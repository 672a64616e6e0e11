#pragma once
// ASCII letter case, byte by byte: protocol words, header and field names, file
// extensions and registry names are compared in lower case whatever the locale.
#include <cctype>
#include <string>
#include <string_view>

namespace tess {

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace tess
