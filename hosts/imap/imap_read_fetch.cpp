// FETCH: a message's UID, flags, size, arrival date and the body sections asked for.
#include "hosts/imap/imap_readers.h"

namespace imap {
namespace {

// "BODY[1.MIME]<0>" -> section "1.MIME", origin "<0>"; false when item is no body section.
bool SplitSection(std::string_view item, FetchBody& body) {
    const std::size_t open = item.find('[');
    if (open == std::string_view::npos || !inet::EqualsNoCase(item.substr(0, open), "BODY")) {
        return false;
    }
    const std::size_t close = item.rfind(']');
    if (close == std::string_view::npos || close < open) return false;
    body.section = std::string(item.substr(open + 1, close - open - 1));
    body.origin = std::string(item.substr(close + 1));
    return true;
}

ParseResult Bad(std::string text) { return ParseResult::Fail(ParseError::kBadResponse, std::move(text)); }

bool IsFetch(const ParsedLine& line) {
    return line.result.Ok() && line.kind == LineKind::kUntagged && line.args.size() >= 2 &&
           line.args[1].IsAtom("FETCH");
}

}  // namespace

// The first FETCH that ours() accepts; a malformed FETCH of another message does not
// hide ours, but is the reason given when ours is not there.
template <typename Ours>
static ParseResult FindFetch(const std::vector<ParsedLine>& lines, FetchData& data, const std::string& wanted,
                             Ours ours) {
    ParseResult failure;
    for (const auto& line : lines) {
        if (!IsFetch(line)) continue;
        ParseResult result = ReadFetch(line, data);
        if (result.Ok() && ours(data)) return {};
        if (!result.Ok() && failure.Ok()) failure = std::move(result);
    }
    data = FetchData{};
    if (!failure.Ok()) return failure;
    return ParseResult::Fail(ParseError::kNotFound, "no FETCH of " + wanted);
}

bool FetchData::HasFlag(std::string_view flag) const { return HasName(flags, flag); }

ParseResult ReadFetch(const ParsedLine& line, FetchData& data) {
    data = FetchData{};
    if (!line.result.Ok()) return line.result;
    if (!IsFetch(line)) return ParseResult::Fail(ParseError::kNotFound, "not a FETCH line");
    const std::vector<ImapArg>& a = line.args;
    if (!a[0].AsNzNumber(data.number)) return Bad("FETCH without a sequence number");
    if (a.size() != 3 || !a[2].IsList() || a[2].list.size() % 2 != 0) {
        return Bad("FETCH items not a list of pairs");
    }
    const std::vector<ImapArg>& items = a[2].list;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        const ImapArg& name = items[i];
        const ImapArg& value = items[i + 1];
        if (!name.IsAtom()) return Bad("FETCH item name not an atom");
        FetchBody body;
        if (name.IsAtom("UID")) {
            if (!value.AsNzNumber(data.uid)) return Bad("UID not a 32-bit number");
            data.hasUid = true;
        } else if (name.IsAtom("FLAGS")) {
            if (!ReadAtoms(value, data.flags)) return Bad("FLAGS not a list of atoms");
            data.hasFlags = true;
        } else if (name.IsAtom("RFC822.SIZE")) {
            if (!value.AsNumber(data.size)) return Bad("RFC822.SIZE not a number");
            data.hasSize = true;
        } else if (name.IsAtom("INTERNALDATE")) {
            if (!value.IsString()) return Bad("INTERNALDATE not a string");
            data.internalDate = value.text;
            data.hasInternalDate = true;
        } else if (SplitSection(name.text, body)) {
            if (!value.IsString() && !value.IsNil()) return Bad("BODY[] neither string nor NIL");
            body.nil = value.IsNil();
            if (!body.nil) body.text = value.text;
            data.bodies.push_back(std::move(body));
        }
        // Anything else (BODYSTRUCTURE, ENVELOPE, MODSEQ, ...) is not read here.
    }
    return {};
}

ParseResult FindFetchByUid(const std::vector<ParsedLine>& lines, uint32_t uid, FetchData& data) {
    return FindFetch(lines, data, "UID " + std::to_string(uid),
                     [uid](const FetchData& d) { return !d.hasUid || d.uid == uid; });
}

ParseResult FindFetchBySequence(const std::vector<ParsedLine>& lines, uint32_t number, FetchData& data) {
    return FindFetch(lines, data, "message " + std::to_string(number),
                     [number](const FetchData& d) { return d.number == number; });
}

}  // namespace imap
