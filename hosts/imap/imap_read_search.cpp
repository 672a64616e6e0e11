// SEARCH: the numbers (UIDs after UID SEARCH) of the messages that matched.
#include "hosts/imap/imap_readers.h"

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

}  // namespace imap
