#include "hosts/pop/pop_reply.h"

#include <algorithm>
#include <set>
#include <climits>

#include "hosts/inet/text_lines.h"

namespace pop {
namespace {

constexpr std::size_t kMaxTimestamp = 512;

// One line at pos without its line end; pos moves past the LF. False when no whole line
// (ending in LF) is left.
bool NextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    const std::size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) return false;
    std::size_t end = lf;
    if (end > pos && text[end - 1] == '\r') --end;
    line = text.substr(pos, end - pos);
    pos = lf + 1;
    return true;
}

}  // namespace

bool IsOkReply(std::string_view reply) { return inet::StartsWithNoCase(reply, "+OK"); }

std::string ApopTimestamp(std::string_view greeting) {
    const std::size_t lineEnd = greeting.find_first_of("\r\n");
    const std::string_view first = greeting.substr(0, lineEnd);
    const std::size_t open = first.find('<');
    if (open == std::string_view::npos) return {};
    const std::size_t close = first.find('>', open);
    if (close == std::string_view::npos || close - open + 1 > kMaxTimestamp) return {};
    const std::string_view stamp = first.substr(open, close - open + 1);
    for (char c : stamp) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return {};
    }
    return std::string(stamp);
}

bool MultiLineEnd::Complete(std::string_view reply) {
    std::size_t pos = scanned_;
    std::string_view line;
    while (NextLine(reply, pos, line)) {
        if (scanned_ == 0 && !IsOkReply(line)) return true;
        if (scanned_ != 0 && line == ".") return true;
        scanned_ = pos;
    }
    return false;
}

bool ReadMultiLine(std::string_view reply, std::vector<std::string>& lines) {
    lines.clear();
    std::size_t pos = 0;
    std::string_view line;
    if (!NextLine(reply, pos, line) || !IsOkReply(line)) return false;
    while (NextLine(reply, pos, line)) {
        if (line == ".") return true;
        if (!line.empty() && line.front() == '.') line.remove_prefix(1);
        lines.emplace_back(line);
    }
    lines.clear();
    return false;
}

bool ReadMessageLines(std::string_view reply, std::vector<std::string>& lines) {
    if (!ReadMultiLine(reply, lines)) return false;
    // The stand-in is the byte an IMAP server sends for a NUL in the same message, so the
    // handheld's copy reads the same whichever host fetched it; replacing rather than
    // dropping keeps the text's length and columns.
    for (std::string& line : lines) std::replace(line.begin(), line.end(), '\0', kNulStandIn);
    return true;
}

bool ParseUidlListing(std::string_view reply, std::vector<UidlEntry>& entries) {
    entries.clear();
    std::vector<std::string> lines;
    if (!ReadMultiLine(reply, lines)) return false;
    for (const std::string& line : lines) {
        const std::size_t blank = line.find(' ');
        if (blank == 0 || blank == std::string::npos) continue;
        long long number = 0;
        bool digits = true;
        for (std::size_t i = 0; i < blank && digits; ++i) {
            const char c = line[i];
            digits = c >= '0' && c <= '9';
            if (digits) number = number * 10 + (c - '0');
            if (number > INT_MAX) digits = false;
        }
        if (!digits || number == 0) continue;
        // The id is the rest of the line; blanks around it are not part of it.
        std::size_t from = line.find_first_not_of(' ', blank);
        std::size_t to = line.find_last_not_of(" \t");
        if (from == std::string::npos || to < from) continue;
        std::string uidl = line.substr(from, to - from + 1);
        // Ids are printable text; one with control characters is no id this host can keep.
        bool printable = true;
        for (char c : uidl) printable = printable && static_cast<unsigned char>(c) >= 0x20 && c != 0x7f;
        if (!printable) continue;
        entries.push_back({static_cast<int>(number), std::move(uidl)});
    }
    return true;
}

int MakeIdsUnique(std::vector<UidlEntry>& entries) {
    std::set<std::string> taken;
    for (const UidlEntry& e : entries) taken.insert(e.uidl);
    std::set<std::string> seen;
    int changed = 0;
    for (UidlEntry& e : entries) {
        if (seen.insert(e.uidl).second) continue;
        for (int n = 2;; ++n) {
            std::string id = e.uidl + "#" + std::to_string(n);
            if (taken.insert(id).second) {
                seen.insert(id);
                e.uidl = std::move(id);
                break;
            }
        }
        ++changed;
    }
    return changed;
}

}  // namespace pop
