#pragma once
// Small text helpers of the relay (8-bit text, ASCII case rules).
#include <cctype>
#include <cstdio>
#include <string>

namespace tess::relay {

inline char LowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

inline std::string LowerText(std::string s) {
    for (char& c : s) c = LowerChar(c);
    return s;
}

inline bool EqualNoCase(const std::string& a, const std::string& b) { return LowerText(a) == LowerText(b); }

inline bool ContainsNoCase(const std::string& text, const std::string& part) {
    return !part.empty() && LowerText(text).find(LowerText(part)) != std::string::npos;
}

inline int ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return 0;
    int count = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

inline std::string Trimmed(const std::string& s, const char* chars = " \t\r\n") {
    const size_t first = s.find_first_not_of(chars);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(chars) - first + 1);
}

inline std::string HexCode(long value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
    return buf;
}

// The wait before watching the mailbox on the first run after installation (90 s);
// TESSALINE_RELAY_FIRST_RUN_WAIT_MS shortens it for tests.
long FirstRunWaitMs();

}  // namespace tess::relay
