#include "hosts/inet/text_lines.h"


namespace inet {

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::size_t stop = end > pos && text[end - 1] == '\r' ? end - 1 : end;
        lines.emplace_back(text.substr(pos, stop - pos));
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
    }
    return lines;
}

namespace {
// ASCII letters only, as the names compared here are (and as tolower is in the C locale,
// which the program never leaves); inline, as every header line of every message comes
// through here.
constexpr unsigned char AsciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (text.empty() || part.empty()) return false;
    return Lower(text).find(Lower(part)) != std::string::npos;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace inet
