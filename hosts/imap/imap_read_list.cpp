// LIST and LSUB: a folder's attributes, its hierarchy delimiter and its name.
#include "hosts/imap/imap_readers.h"

namespace imap {

bool ListEntry::HasFlag(std::string_view flag) const { return HasName(flags, flag); }

ParseResult ReadListEntry(const ParsedLine& line, std::string_view kind, ListEntry& entry) {
    entry = ListEntry{};
    if (!line.result.Ok()) return line.result;
    const std::vector<ImapArg>& a = line.args;
    if (line.kind != LineKind::kUntagged || a.empty() || !a[0].IsAtom(kind)) {
        return ParseResult::Fail(ParseError::kNotFound, "not a " + std::string(kind) + " line");
    }
    if (a.size() != 4 || !ReadAtoms(a[1], entry.flags)) {
        return ParseResult::Fail(ParseError::kBadResponse, "attributes not a list of atoms");
    }
    // The delimiter is a quoted character, or NIL for a flat name space.
    if (!a[2].IsNil() && !a[2].IsString()) {
        return ParseResult::Fail(ParseError::kBadResponse, "delimiter neither string nor NIL");
    }
    entry.delimiter = a[2].IsNil() ? std::string() : a[2].text;
    // A folder named NIL may come as that bare word.
    if (!a[3].IsAString() && !a[3].IsNil()) {
        return ParseResult::Fail(ParseError::kBadResponse, "folder name is a list");
    }
    entry.name = a[3].text;
    if (entry.name.empty()) return ParseResult::Fail(ParseError::kBadResponse, "empty folder name");
    return {};
}

ParseResult ReadPersonalPrefix(const std::vector<ParsedLine>& lines, std::string& prefix) {
    prefix.clear();
    for (const ParsedLine& line : lines) {
        if (!line.result.Ok() || line.kind != LineKind::kUntagged) continue;
        const std::vector<ImapArg>& a = line.args;
        if (a.empty() || !a[0].IsAtom("NAMESPACE")) continue;
        // Personal, other users' and shared namespaces, each NIL or a list of
        // (prefix delimiter ...) lists.
        if (a.size() < 4) return ParseResult::Fail(ParseError::kBadResponse, "NAMESPACE without its three parts");
        const ImapArg& personal = a[1];
        if (personal.IsNil()) return {};
        if (!personal.IsList() || personal.list.empty() || !personal.list[0].IsList() ||
            personal.list[0].list.empty() || !personal.list[0].list[0].IsString())
            return ParseResult::Fail(ParseError::kBadResponse, "personal namespace not a list of (prefix delimiter)");
        prefix = personal.list[0].list[0].text;
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no NAMESPACE line");
}

}  // namespace imap
