// IMAP response reading over arbitrary bytes: completion fed piecewise agrees with
// completion fed whole, and every line reader stays within the data.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/imap/imap_response.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    imap::ImapReplyEnd whole("AEG7", size % 2 == 1);
    const bool completeWhole = whole.Complete(text);

    // The same bytes in small pieces, as the socket delivers them.
    imap::ImapReplyEnd pieces("AEG7", size % 2 == 1);
    bool completePieces = false;
    for (std::size_t n = 0; n < size && !completePieces; n += 7) {
        completePieces = pieces.Complete(text.substr(0, std::min(size, n + 7)));
    }
    if (completeWhole != completePieces) std::abort();

    std::vector<imap::ResponseLine> lines;
    imap::ParseResponse(text, lines);
    std::size_t total = 0;
    for (const auto& line : lines) {
        total += line.text.size();
        for (const auto& literal : line.literals) total += literal.size();
        imap::ListEntry entry;
        imap::ParseListLine(line, entry);
    }
    if (total > size) std::abort();
    imap::StatusOf(lines, "AEG7");
    std::vector<uint32_t> uids;
    imap::ParseSearch(lines, uids, 1000);
    if (uids.size() > 1000) std::abort();
    std::string literal;
    imap::FetchLiteral(lines, literal);
    uint64_t number = 0;
    imap::FetchNumber(lines, "UID", number);
    imap::FetchFlags(lines);
    return 0;
}
