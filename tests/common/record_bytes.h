#pragma once
// Builders for expected record bytes written out field by field.
#include <cstdint>
#include <string>
#include <vector>

namespace tess::test {

using Bytes = std::vector<uint8_t>;

// "0000002A" -> 4 bytes; blanks ignored.
inline Bytes Hex(const std::string& h) {
    Bytes out;
    std::string digits;
    for (char c : h)
        if (c != ' ') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}
// The text and its NUL.
inline Bytes Str(const std::string& s) {
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}
inline Bytes Fill(size_t n, uint8_t b) { return Bytes(n, b); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace tess::test
