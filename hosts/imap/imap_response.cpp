#include "hosts/imap/imap_response.h"

#include <algorithm>
#include <cctype>

namespace imap {
namespace {

// When line (without its line end) ends in "{n}" or "{n+}", n; else -1.
long long LiteralCount(std::string_view line) {
    if (line.empty() || line.back() != '}') return -1;
    std::size_t open = line.rfind('{');
    if (open == std::string_view::npos) return -1;
    std::string_view digits = line.substr(open + 1, line.size() - open - 2);
    if (!digits.empty() && digits.back() == '+') digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 18) return -1;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string_view StripLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Reads one astring (atom, quoted string or literal) at pos of a line.
bool ReadAString(const ResponseLine& line, std::size_t& pos, std::size_t& literal,
                 std::string& out) {
    const std::string& t = line.text;
    while (pos < t.size() && t[pos] == ' ') ++pos;
    if (pos >= t.size()) return false;
    out.clear();
    if (t[pos] == '"') {
        for (++pos; pos < t.size(); ++pos) {
            if (t[pos] == '\\' && pos + 1 < t.size()) {
                out += t[++pos];
            } else if (t[pos] == '"') {
                ++pos;
                return true;
            } else {
                out += t[pos];
            }
        }
        return false;
    }
    if (t[pos] == '{') {
        std::size_t close = t.find('}', pos);
        if (close == std::string::npos || literal >= line.literals.size()) return false;
        out = line.literals[literal++];
        pos = close + 1;
        return true;
    }
    std::size_t end = t.find(' ', pos);
    if (end == std::string::npos) end = t.size();
    out = t.substr(pos, end - pos);
    pos = end;
    return true;
}

const ResponseLine* FirstFetch(const std::vector<ResponseLine>& lines) {
    for (const auto& line : lines) {
        // "* <n> FETCH ..."
        std::string_view t = line.text;
        if (!t.starts_with("* ")) continue;
        std::size_t sp = t.find(' ', 2);
        if (sp == std::string_view::npos || sp == 2) continue;
        bool number = std::all_of(t.begin() + 2, t.begin() + sp,
                                  [](char c) { return c >= '0' && c <= '9'; });
        if (number && Lower(t.substr(sp + 1, 6)) == "fetch ") return &line;
    }
    return nullptr;
}

}  // namespace

void ImapReplyEnd::Reset() {
    pos_ = 0;
    literalLeft_ = 0;
    continued_ = false;
}

bool ImapReplyEnd::Complete(std::string_view reply) {
    for (;;) {
        if (literalLeft_ > 0) {
            std::size_t take = std::min(literalLeft_, reply.size() - pos_);
            pos_ += take;
            literalLeft_ -= take;
            if (literalLeft_ > 0) return false;
        }
        std::size_t lf = reply.find('\n', pos_);
        if (lf == std::string_view::npos) return false;
        std::string_view line = reply.substr(pos_, lf + 1 - pos_);
        pos_ = lf + 1;
        if (!continued_) {
            if (line.starts_with(tag_)) return true;
            if (acceptContinuation_ && line.starts_with("+")) return true;
        }
        long long n = LiteralCount(StripLineEnd(line));
        continued_ = n >= 0;
        if (n > 0) literalLeft_ = static_cast<std::size_t>(n);
    }
}

bool ParseResponse(std::string_view reply, std::vector<ResponseLine>& lines) {
    lines.clear();
    std::size_t pos = 0;
    ResponseLine current;
    bool open = false;
    while (pos < reply.size()) {
        std::size_t lf = reply.find('\n', pos);
        std::string_view raw = reply.substr(pos, lf == std::string_view::npos ? std::string_view::npos
                                                                             : lf + 1 - pos);
        pos = lf == std::string_view::npos ? reply.size() : lf + 1;
        std::string_view line = StripLineEnd(raw);
        current.text.append(line);
        open = true;
        long long n = LiteralCount(line);
        if (n < 0) {
            lines.push_back(std::move(current));
            current = ResponseLine{};
            open = false;
            continue;
        }
        if (static_cast<unsigned long long>(n) > reply.size() - pos) {
            lines.push_back(std::move(current));
            return false;
        }
        current.literals.emplace_back(reply.substr(pos, static_cast<std::size_t>(n)));
        pos += static_cast<std::size_t>(n);
    }
    if (open) lines.push_back(std::move(current));
    return true;
}

TaggedStatus StatusOf(const std::vector<ResponseLine>& lines, std::string_view tag) {
    if (tag.empty()) return TaggedStatus::kMissing;
    for (const auto& line : lines) {
        std::string_view t = line.text;
        if (!t.starts_with(tag) || t.size() <= tag.size() || t[tag.size()] != ' ') continue;
        std::string status = Lower(t.substr(tag.size() + 1, 4));
        if (status == "ok" || status.starts_with("ok ")) return TaggedStatus::kOk;
        if (status.starts_with("no")) return TaggedStatus::kNo;
        return TaggedStatus::kBad;
    }
    return TaggedStatus::kMissing;
}

bool IsTaggedOk(std::string_view reply, std::string_view tag) {
    std::vector<ResponseLine> lines;
    ParseResponse(reply, lines);
    return StatusOf(lines, tag) == TaggedStatus::kOk;
}

bool Quote(std::string_view text, std::string& out) {
    out.assign(1, '"');
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return true;
}

bool ParseListLine(const ResponseLine& line, ListEntry& entry) {
    const std::string& t = line.text;
    if (Lower(std::string_view(t).substr(0, 7)) != "* list ") return false;
    std::size_t pos = 7;
    if (pos >= t.size() || t[pos] != '(') return false;
    std::size_t close = t.find(')', pos);
    if (close == std::string::npos) return false;
    entry.flags = Lower(std::string_view(t).substr(pos + 1, close - pos - 1));
    pos = close + 1;
    std::size_t literal = 0;
    std::string delimiter;
    // The delimiter is a quoted character or NIL.
    if (!ReadAString(line, pos, literal, delimiter)) return false;
    return ReadAString(line, pos, literal, entry.name) && !entry.name.empty();
}

bool ParseSearch(const std::vector<ResponseLine>& lines, std::vector<uint32_t>& uids,
                 std::size_t limit) {
    uids.clear();
    for (const auto& line : lines) {
        std::string_view t = line.text;
        if (Lower(t.substr(0, 8)) != "* search") continue;
        if (t.size() > 8 && t[8] != ' ') continue;
        std::size_t pos = 8;
        while (pos < t.size() && uids.size() < limit) {
            while (pos < t.size() && t[pos] == ' ') ++pos;
            uint64_t n = 0;
            std::size_t start = pos;
            while (pos < t.size() && t[pos] >= '0' && t[pos] <= '9') {
                if (n <= UINT32_MAX) n = n * 10 + static_cast<uint64_t>(t[pos] - '0');
                ++pos;
            }
            if (pos == start) break;  // not a number: the rest is not ours (e.g. MODSEQ)
            if (n > 0 && n <= UINT32_MAX) uids.push_back(static_cast<uint32_t>(n));
        }
        return true;
    }
    return false;
}

bool FetchLiteral(const std::vector<ResponseLine>& lines, std::string& out) {
    const ResponseLine* line = FirstFetch(lines);
    if (!line || line->literals.empty()) return false;
    out = line->literals.front();
    return true;
}

bool FetchNumber(const std::vector<ResponseLine>& lines, std::string_view item, uint64_t& out) {
    const ResponseLine* line = FirstFetch(lines);
    if (!line) return false;
    std::string lower = Lower(line->text);
    std::string key = Lower(item) + " ";
    for (std::size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
        if (at > 0 && lower[at - 1] != '(' && lower[at - 1] != ' ') continue;
        std::size_t pos = at + key.size();
        uint64_t n = 0;
        std::size_t start = pos;
        while (pos < lower.size() && std::isdigit(static_cast<unsigned char>(lower[pos])) &&
               n < (1ull << 40)) {
            n = n * 10 + static_cast<uint64_t>(lower[pos++] - '0');
        }
        if (pos == start) return false;
        out = n;
        return true;
    }
    return false;
}

std::string FetchFlags(const std::vector<ResponseLine>& lines) {
    const ResponseLine* line = FirstFetch(lines);
    if (!line) return {};
    std::string lower = Lower(line->text);
    std::size_t at = lower.find("flags (");
    if (at == std::string::npos) return {};
    std::size_t close = lower.find(')', at);
    if (close == std::string::npos) return {};
    return lower.substr(at + 7, close - at - 7);
}

}  // namespace imap
