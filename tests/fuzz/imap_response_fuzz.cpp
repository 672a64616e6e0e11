// IMAP response parsing over arbitrary bytes: fed in pieces split where the input says,
// the parser builds the lines a whole feed builds; completion agrees with the parser;
// every reader stays within the tree and within the parser's bounds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/imap/imap_readers.h"
#include "hosts/imap/imap_response.h"

namespace {

// Small bounds, so the fuzzer reaches them.
imap::ParserLimits Limits() {
    imap::ParserLimits limits;
    limits.maxLine = 512;
    limits.maxLiteral = 4096;
    limits.maxDepth = 8;
    return limits;
}

// A line's whole content as one string, to compare two parses.
void Flatten(const imap::ImapArg& arg, std::string& out, std::size_t depth) {
    if (depth > Limits().maxDepth + 1) std::abort();  // the nesting bound was not kept
    out += static_cast<char>('0' + static_cast<int>(arg.type));
    out += std::to_string(arg.text.size()) + ":" + arg.text;
    if (arg.type != imap::ArgType::kList && !arg.list.empty()) std::abort();
    if (arg.type == imap::ArgType::kLiteral && arg.text.size() > Limits().maxLiteral) std::abort();
    out += "(";
    for (const auto& item : arg.list) Flatten(item, out, depth + 1);
    out += ")";
}

std::string Flatten(const imap::ParsedLine& line) {
    std::string out = std::to_string(static_cast<int>(line.kind)) + line.tag + "|" +
                      std::to_string(static_cast<int>(line.status)) + line.code + "|" + line.text + "|" +
                      std::to_string(static_cast<int>(line.result.error));
    if (!line.result.Ok() && line.result.text.empty()) std::abort();  // a failure without reason
    for (const auto& arg : line.codeArgs) Flatten(arg, out, 1);
    out += "|";
    for (const auto& arg : line.args) Flatten(arg, out, 1);
    return out;
}

void ReadAll(const std::vector<imap::ParsedLine>& lines) {
    std::vector<uint32_t> numbers;
    imap::ReadSearch(lines, numbers, 1000);
    if (numbers.size() > 1000) std::abort();
    for (uint32_t n : numbers) {
        if (n == 0) std::abort();
    }
    // However wide a set, no more numbers than the limit, and none of them 0.
    imap::ReadEsearchAll(lines, numbers, 1000);
    if (numbers.size() > 1000) std::abort();
    for (uint32_t n : numbers) {
        if (n == 0) std::abort();
    }
    std::vector<std::string> names;
    imap::ReadCapabilities(lines, names);
    uint64_t number = 0;
    imap::ReadCodeNumber(lines, "UIDNEXT", number);
    imap::ReadCodeNumber(lines, "HIGHESTMODSEQ", number, INT64_MAX);
    imap::ReadEnabled(lines, names);
    uint32_t exists = 0;
    imap::ReadExists(lines, exists);
    std::string prefix;
    imap::ReadPersonalPrefix(lines, prefix);
    imap::StatusOf(lines, "AEG7");
    imap::FetchData fetch;
    imap::FindFetchByUid(lines, 7, fetch);
    imap::FindFetchBySequence(lines, 1, fetch);
    for (const auto& line : lines) {
        imap::ListEntry entry;
        imap::ReadListEntry(line, "LIST", entry);
        imap::MailboxStatus status;
        imap::ReadMailboxStatus(line, status);
        if (imap::ReadFetch(line, fetch).Ok() && fetch.hasUid && fetch.uid == 0) std::abort();
        // Every range of a VANISHED set is in order and names no UID 0.
        bool earlier = false;
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        if (imap::ReadVanished(line, earlier, ranges).Ok()) {
            for (const auto& [first, last] : ranges)
                if (first == 0 || first > last) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two bytes choose the piece sizes; the rest is the server's bytes.
    if (size < 2) return 0;
    const unsigned seed = data[0] | (static_cast<unsigned>(data[1]) << 8);
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

    std::vector<imap::ParsedLine> whole;
    imap::ParseResponse(text, whole, Limits());
    std::size_t text_bytes = 0;
    for (const auto& line : whole) text_bytes += line.tag.size() + line.text.size();
    if (text_bytes > text.size()) std::abort();

    // The same bytes in pieces of 1 to 16 bytes, as the socket may deliver them.
    imap::CResponseParser parser(Limits());
    std::size_t at = 0;
    std::size_t line = 0;
    unsigned state = seed;
    while (at < text.size()) {
        state = state * 1103515245u + 12345u;
        std::string_view piece = text.substr(at, 1 + (state >> 16) % 16);
        at += piece.size();
        while (!piece.empty()) {
            const std::size_t took = parser.Feed(piece);
            if (took > piece.size()) std::abort();
            piece.remove_prefix(took);
            if (parser.LineReady()) {
                if (line >= whole.size() || Flatten(parser.TakeLine()) != Flatten(whole[line])) {
                    std::abort();
                }
                ++line;
            } else if (took == 0) {
                std::abort();  // no progress
            }
        }
    }
    if (line != whole.size()) std::abort();

    // Completion, fed the growing reply piece by piece, stops at the tagged line.
    imap::ImapReplyEnd end("AEG7", (seed & 1) != 0, Limits());
    bool complete = false;
    for (std::size_t n = 0; n < text.size() && !complete; n += 1 + seed % 7) {
        complete = end.Complete(text.substr(0, std::min(text.size(), n + 1 + seed % 7)));
    }
    if (complete) {
        const imap::ParsedLine& last = end.Lines().back();
        const bool tagged = last.kind == imap::LineKind::kTagged && last.tag == "AEG7";
        const bool asked = (seed & 1) != 0 && last.kind == imap::LineKind::kContinuation;
        if (!tagged && !asked) std::abort();
    }
    ReadAll(whole);
    return 0;
}
