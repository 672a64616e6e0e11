// SEARCH: the numbers (UIDs after UID SEARCH) of the messages that matched.
#include "hosts/imap/imap_readers.h"

#include <charconv>

namespace imap {

ParseResult ReadSearch(const std::vector<ParsedLine>& lines, std::vector<uint32_t>& numbers, std::size_t limit) {
    numbers.clear();
    for (const auto& line : lines) {
        if (!line.result.Ok() || line.kind != LineKind::kUntagged || line.args.empty() ||
            !line.args[0].IsAtom("SEARCH"))
            continue;
        for (std::size_t i = 1; i < line.args.size() && numbers.size() < limit; ++i) {
            uint64_t n = 0;
            if (!line.args[i].AsNumber(n)) break;  // the rest is not ours (e.g. MODSEQ)
            if (n > 0 && n <= UINT32_MAX) numbers.push_back(static_cast<uint32_t>(n));
        }
        return {};
    }
    return ParseResult::Fail(ParseError::kNotFound, "no SEARCH line");
}

namespace {

bool Number(std::string_view text, uint32_t& n) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, n);
    return ec == std::errc() && ptr == end && n != 0 && text[0] != '+';
}

}  // namespace

bool ReadUidRanges(std::string_view set, std::vector<std::pair<uint32_t, uint32_t>>& ranges) {
    ranges.clear();
    if (set.empty()) return false;
    std::string_view rest = set;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const std::size_t colon = item.find(':');
        uint32_t first = 0, last = 0;
        if (!Number(item.substr(0, colon), first) ||
            !Number(colon == std::string_view::npos ? item : item.substr(colon + 1), last)) {
            ranges.clear();
            return false;
        }
        if (first > last) std::swap(first, last);
        ranges.emplace_back(first, last);
    }
    return true;
}

ParseResult ReadEsearchAll(const std::vector<ParsedLine>& lines, std::vector<uint32_t>& numbers, std::size_t limit) {
    numbers.clear();
    for (const auto& line : lines) {
        if (!line.result.Ok() || line.kind != LineKind::kUntagged || line.args.empty() ||
            !line.args[0].IsAtom("ESEARCH"))
            continue;
        // ESEARCH [(TAG "x")] [UID] then name/value pairs; ALL's value is a set.
        std::size_t i = 1;
        if (i < line.args.size() && line.args[i].IsList()) ++i;
        if (i < line.args.size() && line.args[i].IsAtom("UID")) ++i;
        for (; i + 1 < line.args.size(); i += 2) {
            if (!line.args[i].IsAtom("ALL")) continue;
            const ImapArg& set = line.args[i + 1];
            std::vector<std::pair<uint32_t, uint32_t>> ranges;
            if (!set.IsAtom() || !ReadUidRanges(set.text, ranges))
                return ParseResult::Fail(ParseError::kBadResponse, "ESEARCH ALL without a set");
            // A range is counted out one number at a time, never past the limit.
            for (const auto& [first, last] : ranges)
                for (uint64_t n = first; n <= last && numbers.size() < limit; ++n)
                    numbers.push_back(static_cast<uint32_t>(n));
            return {};
        }
        return {};  // no ALL: nothing matched
    }
    return ParseResult::Fail(ParseError::kNotFound, "no ESEARCH line");
}

ParseResult ReadVanished(const ParsedLine& line, bool& earlier, std::vector<std::pair<uint32_t, uint32_t>>& ranges) {
    earlier = false;
    ranges.clear();
    if (!line.result.Ok()) return line.result;
    if (line.kind != LineKind::kUntagged || line.args.empty() || !line.args[0].IsAtom("VANISHED"))
        return ParseResult::Fail(ParseError::kNotFound, "not a VANISHED line");
    std::size_t i = 1;
    if (i < line.args.size() && line.args[i].IsList()) {
        const auto& tags = line.args[i].list;
        earlier = tags.size() == 1 && tags[0].IsAtom("EARLIER");
        if (!earlier) return ParseResult::Fail(ParseError::kBadResponse, "VANISHED with an unknown tag");
        ++i;
    }
    if (i + 1 != line.args.size() || !line.args[i].IsAtom() || !ReadUidRanges(line.args[i].text, ranges))
        return ParseResult::Fail(ParseError::kBadResponse, "VANISHED without a UID set");
    return {};
}

}  // namespace imap
