#pragma once
// The argument tree of one IMAP response line, as the parser builds it.
//
// A node is an atom, a quoted string, a literal, NIL or a parenthesised list of nodes.
// Strings and literals hold their bytes as sent (escapes removed); an atom keeps its
// spelling, so "NIL" quoted is a string while NIL bare is kNil. A FETCH item such as
// BODY[HEADER.FIELDS (Received)]<0> is one atom: its section is part of the name.
// Accessors never throw and never read past the node: a number accessor answers false
// for anything but digits within range.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/inet/text_lines.h"

namespace imap {

enum class ArgType { kAtom, kString, kLiteral, kList, kNil };

struct ImapArg {
    ArgType type = ArgType::kNil;
    std::string text;           // atom, string or literal bytes; NIL's spelling
    std::vector<ImapArg> list;  // kList only

    bool IsList() const { return type == ArgType::kList; }
    bool IsNil() const { return type == ArgType::kNil; }
    bool IsAtom() const { return type == ArgType::kAtom; }
    // An atom spelled word, case ignored.
    bool IsAtom(std::string_view word) const { return type == ArgType::kAtom && inet::EqualsNoCase(text, word); }
    // Atom, string or literal: the IMAP astring.
    bool IsAString() const { return type == ArgType::kAtom || type == ArgType::kString || type == ArgType::kLiteral; }
    // String or literal: the IMAP string (an nstring also allows NIL).
    bool IsString() const { return type == ArgType::kString || type == ArgType::kLiteral; }

    // A number of at most max, written as decimal digits in an atom (no sign, no blank).
    bool AsNumber(uint64_t& out, uint64_t max = UINT64_MAX) const {
        if (type != ArgType::kAtom || text.empty() || text.size() > 20) return false;
        uint64_t n = 0;
        for (char c : text) {
            if (c < '0' || c > '9') return false;
            const uint64_t digit = static_cast<uint64_t>(c - '0');
            if (n > (max - digit) / 10) return false;
            n = n * 10 + digit;
        }
        out = n;
        return true;
    }
    // A non-zero 32-bit number: a UID, a sequence number, a count that names a message.
    bool AsNzNumber(uint32_t& out) const {
        uint64_t n = 0;
        if (!AsNumber(n, UINT32_MAX) || n == 0) return false;
        out = static_cast<uint32_t>(n);
        return true;
    }
};

// The atoms of a list such as FLAGS (\Seen \Answered); false when arg is no list of atoms.
inline bool ReadAtoms(const ImapArg& arg, std::vector<std::string>& out) {
    out.clear();
    if (!arg.IsList()) return false;
    for (const auto& item : arg.list) {
        if (!item.IsAtom()) return false;
        out.push_back(item.text);
    }
    return true;
}

// Whether names holds name, case ignored (flags, capabilities).
inline bool HasName(const std::vector<std::string>& names, std::string_view name) {
    for (const auto& n : names) {
        if (inet::EqualsNoCase(n, name)) return true;
    }
    return false;
}

}  // namespace imap
