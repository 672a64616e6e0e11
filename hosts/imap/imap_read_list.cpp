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

}  // namespace imap
