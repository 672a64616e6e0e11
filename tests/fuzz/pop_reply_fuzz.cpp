// POP3 replies over arbitrary bytes: the multi-line end agrees piecewise and whole, a
// message is read only from a complete "+OK" reply and keeps what follows a NUL, and
// listing entries are well formed.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/pop/pop_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    pop::MultiLineEnd whole;
    const bool complete = whole.Complete(text);
    pop::MultiLineEnd pieces;
    bool completePieces = false;
    for (std::size_t n = 0; n < size && !completePieces; n += 5)
        completePieces = pieces.Complete(text.substr(0, std::min(size, n + 5)));
    if (complete != completePieces) std::abort();

    std::vector<std::string> lines;
    const bool multi = pop::ReadMultiLine(text, lines);
    if (multi) {
        if (!complete || !pop::IsOkReply(text)) std::abort();
        for (const std::string& line : lines) {
            if (line.find('\n') != std::string::npos) std::abort();
        }
    } else if (!lines.empty()) {
        std::abort();
    }

    // A message is the same lines with every NUL in its stand-in, and none left.
    std::vector<std::string> message;
    if (pop::ReadMessageLines(text, message) != multi || message.size() != lines.size()) std::abort();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string expected = lines[i];
        std::replace(expected.begin(), expected.end(), '\0', pop::kNulStandIn);
        if (message[i] != expected || message[i].find('\0') != std::string::npos) std::abort();
    }

    std::vector<pop::UidlEntry> entries;
    if (pop::ParseUidlListing(text, entries)) {
        for (const pop::UidlEntry& e : entries) {
            if (e.number <= 0 || e.uidl.empty() || e.uidl.front() == ' ' ||
                e.uidl.find_first_of("\r\n") != std::string::npos)
                std::abort();
        }
        // Repeated ids are told apart without losing a message: as many entries, all
        // distinct, each keeping its message number.
        std::vector<pop::UidlEntry> unique = entries;
        pop::MakeIdsUnique(unique);
        if (unique.size() != entries.size()) std::abort();
        std::set<std::string> seen;
        for (std::size_t i = 0; i < unique.size(); ++i) {
            if (unique[i].number != entries[i].number || !seen.insert(unique[i].uidl).second) std::abort();
        }
    } else if (!entries.empty()) {
        std::abort();
    }

    const std::string stamp = pop::ApopTimestamp(text);
    if (!stamp.empty() && (stamp.front() != '<' || stamp.back() != '>' || stamp.size() > 512)) std::abort();
    return 0;
}
