#include "hosts/inet/mime_message.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "common/base64.h"
#include "hosts/inet/text_lines.h"

namespace inet {
namespace {

// Nested messages deeper than this are kept as they are rather than walked.
constexpr int kMaxDepth = 16;

std::string Trim(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
    return std::string(text.substr(b, e - b));
}

std::string UpToSemicolon(const std::string& value) { return Trim(value.substr(0, value.find(';'))); }

// The value of a parameter (boundary=, name=, filename=): between the first two double
// quotes after it, else the token after '='.
bool Parameter(const std::string& value, std::string_view name, std::string& out) {
    std::string lower = Lower(value);
    std::size_t at = std::string::npos;
    for (std::size_t p = lower.find(name); p != std::string::npos; p = lower.find(name, p + 1)) {
        // "name=" must not be the tail of "filename=".
        if (p == 0 || !std::isalnum(static_cast<unsigned char>(lower[p - 1]))) {
            at = p;
            break;
        }
    }
    if (at == std::string::npos) return false;
    std::size_t pos = at + name.size();
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
    if (pos < value.size() && value[pos] == '"') {
        std::size_t close = value.find('"', pos + 1);
        if (close == std::string::npos) return false;
        out = value.substr(pos + 1, close - pos - 1);
        return true;
    }
    std::size_t end = value.find_first_of(" \t\r\n;", pos);
    out = value.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    return !out.empty();
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Windows-1252 bytes 0x80-0x9F by the code point they stand for.
constexpr uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToCp1252(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

// Well-formed UTF-8: no stray continuation byte, cut sequence, overlong form, surrogate or
// value past U+10FFFF.
bool IsUtf8(std::string_view text) {
    constexpr uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 4;
        if (extra == 4 || text.size() - i <= extra) return false;
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = cp << 6 | (cc & 0x3F);
        }
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Text in the charset a mail names, in the handheld's set. UTF-8 is converted; any other
// charset is kept as its bytes, read as the handheld's own 8-bit set.
void ToHandheldCharset(std::string_view charset, std::string& text) {
    const std::string lower = Lower(charset);
    if (lower == "utf-8" || lower == "utf8") CMimeMessage::Utf8ToAnsi(text);
}

// Decodes one encoded word's text: charset, 'B' or 'Q', payload.
bool DecodeWord(std::string_view charset, char encoding, std::string_view payload, std::string& out) {
    if (encoding == 'B' || encoding == 'b') {
        if (tess::Base64DecodeString(payload, out, tess::Base64Foreign::kSkip) < 0) return false;
    } else if (encoding == 'Q' || encoding == 'q') {
        out.clear();
        for (std::size_t i = 0; i < payload.size(); ++i) {
            char c = payload[i];
            if (c == '_') {
                out += ' ';
            } else if (c == '=' && i + 2 < payload.size() && Hex(payload[i + 1]) >= 0 && Hex(payload[i + 2]) >= 0) {
                out += static_cast<char>(Hex(payload[i + 1]) * 16 + Hex(payload[i + 2]));
                i += 2;
            } else {
                out += c;
            }
        }
    } else {
        return false;
    }
    ToHandheldCharset(charset, out);
    return true;
}

// Parameters in the RFC 2231 form: at most this many sections, and the decoded value is
// cut to this length (no file name comes near it; a hostile mail cannot make it grow).
constexpr std::size_t kMaxParameterSections = 64;
constexpr std::size_t kMaxParameterLength = 1024;

struct RawParameter {
    std::string name;   // lower case
    std::string value;  // unquoted
};

// The parameters after the first ';' of a header value, in order.
std::vector<RawParameter> ParameterList(std::string_view value) {
    std::vector<RawParameter> out;
    std::size_t pos = value.find(';');
    while (pos < value.size()) {
        pos = value.find_first_not_of("; \t\r\n", pos);
        if (pos == std::string_view::npos) break;
        const std::size_t eq = value.find_first_of("=;", pos);
        if (eq == std::string_view::npos || value[eq] == ';') {
            pos = eq;
            continue;
        }
        RawParameter p;
        p.name = Lower(Trim(value.substr(pos, eq - pos)));
        pos = value.find_first_not_of(" \t", eq + 1);
        if (pos == std::string_view::npos) pos = value.size();
        if (pos < value.size() && value[pos] == '"') {
            for (++pos; pos < value.size() && value[pos] != '"'; ++pos) {
                if (value[pos] == '\\' && pos + 1 < value.size()) ++pos;
                p.value += value[pos];
            }
            if (pos < value.size()) ++pos;  // the closing quote
        } else {
            const std::size_t end = std::min(value.find_first_of("; \t\r\n", pos), value.size());
            p.value = value.substr(pos, end - pos);
            pos = end;
        }
        out.push_back(std::move(p));
        pos = value.find(';', pos);
    }
    return out;
}

// %XX escapes of an extended value; false for a '%' without two hex digits.
bool PercentDecode(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || Hex(text[i + 1]) < 0 || Hex(text[i + 2]) < 0) return false;
        out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
        i += 2;
    }
    return true;
}

enum class Extended { kAbsent, kDecoded, kRaw };

// The RFC 2231 form of parameter name: "name*=charset'lang'text", or sections
// "name*0[*]=", "name*1[*]=", ... joined in order up to the first one missing. Extended
// sections are percent-encoded, in the charset the first one names. kRaw (out = the
// sections as written) when the value is malformed.
Extended ExtendedParameter(std::string_view value, std::string_view name, std::string& out) {
    const std::string star = Lower(name) + "*";
    struct Section {
        bool present = false;
        bool extended = false;
        std::string text;
    };
    std::vector<Section> sections(kMaxParameterSections);
    bool single = false;
    for (RawParameter& p : ParameterList(value)) {
        if (p.name == star) {
            if (!single) sections[0] = {true, true, std::move(p.value)};
            single = true;
            continue;
        }
        if (single || !p.name.starts_with(star)) continue;
        std::string_view number = std::string_view(p.name).substr(star.size());
        const bool extended = number.ends_with('*');
        if (extended) number.remove_suffix(1);
        // Decimal without leading zeros, below the section limit.
        if (number.empty() || number.size() > 2 || (number.size() > 1 && number[0] == '0') ||
            number.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const std::size_t index = static_cast<std::size_t>(std::stoi(std::string(number)));
        if (index < kMaxParameterSections && !sections[index].present)
            sections[index] = {true, extended, std::move(p.value)};
    }
    if (!sections[0].present) return Extended::kAbsent;
    std::string raw, decoded, charset;
    bool wellFormed = true;
    for (std::size_t i = 0; i < kMaxParameterSections && sections[i].present; ++i) {
        const Section& s = sections[i];
        raw += s.text;
        std::string_view text = s.text;
        if (!s.extended) {
            decoded += text;
            continue;
        }
        if (i == 0) {
            // charset'language'text: both quotes are required.
            const std::size_t q1 = text.find('\'');
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : text.find('\'', q1 + 1);
            if (q2 == std::string_view::npos) {
                wellFormed = false;
                continue;
            }
            charset = text.substr(0, q1);
            text.remove_prefix(q2 + 1);
        }
        if (!PercentDecode(text, decoded)) wellFormed = false;
    }
    if (wellFormed) {
        if (charset.empty())
            CMimeMessage::DecodeHeaderText(decoded);
        else
            ToHandheldCharset(charset, decoded);
        out = std::move(decoded);
    } else {
        out = std::move(raw);
    }
    if (out.size() > kMaxParameterLength) out.resize(kMaxParameterLength);
    return wellFormed ? Extended::kDecoded : Extended::kRaw;
}

// A part's file name from a header value (name is "filename" or "name"): the RFC 2231
// form where it decodes, it being the exact one where a mailer writes both; else the
// plain parameter, header text decoded; else the extended one as written.
bool FileNameParameter(const std::string& value, std::string_view name, std::string& out) {
    std::string extended;
    const Extended found = ExtendedParameter(value, name, extended);
    std::string plain;
    if (found != Extended::kDecoded && Parameter(value, std::string(name) + "=", plain)) {
        CMimeMessage::DecodeHeaderText(plain);
        out = std::move(plain);
        return true;
    }
    if (found == Extended::kAbsent) return false;
    out = std::move(extended);
    return true;
}

// "--boundary" or "--boundary--", trailing blanks allowed. Only whole delimiter lines
// count, so a header naming the boundary or a longer boundary never ends a part.
int DelimiterKind(std::string_view line, std::string_view boundary) {
    if (boundary.empty() || !line.starts_with("--") || !StartsWithNoCase(line.substr(2), boundary)) return 0;
    std::string_view rest = line.substr(2 + boundary.size());
    bool closing = rest.starts_with("--");
    if (closing) rest.remove_prefix(2);
    if (rest.find_first_not_of(" \t") != std::string_view::npos) return 0;
    return closing ? 2 : 1;
}

}  // namespace

void CMimeMessage::Utf8ToAnsi(std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0) {
            out += '?';
            ++i;
            continue;
        }
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra) && i + j < text.size(); ++j) {
            unsigned char cc = static_cast<unsigned char>(text[i + j]);
            if ((cc & 0xC0) != 0x80) break;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (j != static_cast<std::size_t>(extra) + 1) {
            out += '?';
            i += j;
            continue;
        }
        out += ToCp1252(cp);
        i += j;
    }
    text = std::move(out);
}

void CMimeMessage::DecodeHeaderText(std::string& text) {
    // Raw 8-bit text names no charset. Text that reads as UTF-8 is UTF-8 and is converted
    // as an encoded word in UTF-8 would be; any other is in the handheld's own set already,
    // as the legacy mailers that write such text mean it. This comes first: the encoded
    // words' decoded bytes are in the handheld's set and must not be read again.
    const bool eightBit =
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (eightBit && IsUtf8(text)) Utf8ToAnsi(text);
    DecodeEncodedWords(text);
}

void CMimeMessage::DecodeEncodedWords(std::string& text) {
    if (text.find("=?") == std::string::npos) return;
    std::string out;
    std::size_t pos = 0;
    bool lastWasWord = false;
    std::size_t gapStart = 0;
    while (pos < text.size()) {
        std::size_t start = text.find("=?", pos);
        if (start == std::string::npos) break;
        // =?charset?X?payload?=
        std::size_t q1 = text.find('?', start + 2);
        std::size_t q2 = q1 == std::string::npos ? q1 : text.find('?', q1 + 1);
        std::size_t close = q2 == std::string::npos ? q2 : text.find("?=", q2 + 1);
        std::string decoded;
        if (close == std::string::npos || q2 != q1 + 2 ||
            !DecodeWord(std::string_view(text).substr(start + 2, q1 - start - 2), text[q1 + 1],
                        std::string_view(text).substr(q2 + 1, close - q2 - 1), decoded)) {
            out.append(text, pos, start + 2 - pos);
            pos = start + 2;
            lastWasWord = false;
            continue;
        }
        std::string_view gap = std::string_view(text).substr(gapStart, start - gapStart);
        bool blankGap = gap.find_first_not_of(" \t\r\n") == std::string_view::npos;
        // White space between two adjacent encoded words is not part of the text.
        if (!(lastWasWord && blankGap)) out.append(text, pos, start - pos);
        out += decoded;
        pos = close + 2;
        gapStart = pos;
        lastWasWord = true;
    }
    out.append(text, pos, std::string::npos);
    text = std::move(out);
}

bool CMimeMessage::DecodeQuotedPrintable(std::string& text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    // The next CR and '=' at or after i, each found by a search of its own (npos: none).
    std::size_t cr = text.find('\r'), eq = text.find('=');
    for (std::size_t i = 0; i < n;) {
        // Plain characters go across a run at a time; only CR and '=' need a look.
        if (cr != std::string::npos && cr < i) cr = text.find('\r', i);
        if (eq != std::string::npos && eq < i) eq = text.find('=', i);
        const std::size_t run = std::min({cr, eq, n});
        out.append(text, i, run - i);
        if (run == n) break;
        i = run;
        if (text[i] == '\r') {
            ++i;
            continue;
        }
        // A soft line break joins the two lines (trailing blanks may precede it).
        std::size_t j = i + 1;
        while (j < n && (text[j] == ' ' || text[j] == '\t')) ++j;
        if (j < n && text[j] == '\r') ++j;
        if (j >= n || text[j] == '\n') {
            i = j + 1;
            continue;
        }
        if (i + 2 < n && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) * 16 + Hex(text[i + 2]));
            i += 3;
            continue;
        }
        // Not an escape: kept as written rather than losing characters.
        out += '=';
        ++i;
    }
    text = std::move(out);
    return true;
}

void CMimeMessage::HtmlToText(std::string_view html, std::string& out) {
    out.clear();
    if (html.find('<') == std::string_view::npos) {
        out.assign(html);
        return;
    }
    bool inTag = false, skipping = false;
    std::string tag;
    for (std::size_t i = 0; i < html.size(); ++i) {
        char c = html[i];
        if (c == '<') {
            inTag = true;
            tag = "<";
            continue;
        }
        if (inTag) {
            if (c != '>') {
                if (tag.size() < 253) tag += c;
                continue;
            }
            inTag = false;
            tag += '>';
            std::string lower = Lower(tag);
            if (skipping) {
                if (lower == "</script>") skipping = false;
                continue;
            }
            if (lower == "</p>" || lower == "<br>" || lower == "</title>")
                out += '\n';
            else if (lower.starts_with("<script"))
                skipping = true;
            continue;
        }
        if (skipping || c == '\r') continue;
        if (c == '\n') {
            out += ' ';
            while (i + 1 < html.size() && html[i + 1] == ' ') ++i;
            continue;
        }
        if (c == '&') {
            std::size_t semi = html.find(';', i);
            // Named or numeric entities of four or six characters (&amp; is kept as "amp;").
            if (semi != std::string_view::npos && (semi - i == 3 || semi - i == 5)) i = semi;
            continue;
        }
        out += c;
    }
}

void CMimeMessage::StoreHeader(int index, std::string value, const std::string& lastLine) {
    if (index == kHdrReceived) {
        std::size_t semi = value.rfind(';');
        headers_[kHdrReceived] = Trim(semi == std::string::npos ? lastLine : value.substr(semi + 1));
        return;
    }
    if (index == kHdrContentType) {
        headers_[kHdrContentType] = UpToSemicolon(value);
        std::string boundary;
        if (Parameter(value, "boundary=", boundary)) headers_[kHdrBoundary] = boundary;
        return;
    }
    DecodeHeaderText(value);
    if (index == kHdrTo || index == kHdrCc) {
        std::replace(value.begin(), value.end(), '\r', ' ');
        std::replace(value.begin(), value.end(), '\n', ' ');
    }
    headers_[index] = std::move(value);
}

bool CMimeMessage::ReadHeaderBlock() {
    // Order matters: the first matching prefix wins. Return-Path lands in Reply-To.
    static const struct {
        const char* name;
        int index;
    } kNames[] = {{"To:", kHdrTo},
                  {"cc:", kHdrCc},
                  {"From:", kHdrFrom},
                  {"Subject:", kHdrSubject},
                  {"Reply-To:", kHdrReplyTo},
                  {"Return-Path:", kHdrReplyTo},
                  {"Date:", kHdrDate},
                  {"Received:", kHdrReceived},
                  {"Content-Type:", kHdrContentType},
                  {"Content-Transfer-Encoding:", kHdrTransferEncoding},
                  {"Content-Disposition:", kHdrDisposition}};
    const auto& lines = *lines_;
    std::size_t startLine = cur_;
    bool receivedSeen = false;
    while (cur_ < end_) {
        const std::string& line = lines[cur_];
        int match = -1;
        std::size_t nameLength = 0;
        for (const auto& n : kNames) {
            if (StartsWithNoCase(line, n.name)) {
                match = n.index;
                nameLength = std::char_traits<char>::length(n.name);
                break;
            }
        }
        if (match < 0) {
            ++cur_;
            if (line.empty()) break;
            continue;
        }
        std::string value = line.substr(nameLength);
        std::string lastLine = line;
        for (++cur_; cur_ < end_ && !lines[cur_].empty() && (lines[cur_][0] == ' ' || lines[cur_][0] == '\t'); ++cur_) {
            value += lines[cur_];
            lastLine = lines[cur_];
        }
        if (match == kHdrReceived) {
            if (receivedSeen) continue;
            receivedSeen = true;
        }
        std::replace(value.begin(), value.end(), '\t', ' ');
        std::size_t lead = value.find_first_not_of(' ');
        value.erase(0, lead == std::string::npos ? value.size() : lead);
        StoreHeader(match, std::move(value), lastLine);
    }
    std::string& replyTo = headers_[kHdrReplyTo];
    if (replyTo.empty() || replyTo.find(':') != std::string::npos) replyTo = headers_[kHdrFrom];
    if (headers_[kHdrReceived].empty()) headers_[kHdrReceived] = headers_[kHdrDate];
    return cur_ > startLine;
}

std::size_t CMimeMessage::FindLine(const std::string& boundary, std::size_t from) const {
    for (std::size_t i = from; i < end_; ++i) {
        if (DelimiterKind((*lines_)[i], boundary)) return i;
    }
    return end_;
}

std::size_t CMimeMessage::FindActive(std::size_t from) const {
    for (std::size_t i = from; i < end_; ++i) {
        for (auto it = active_->rbegin(); it != active_->rend(); ++it) {
            if (DelimiterKind((*lines_)[i], *it)) return i;
        }
    }
    return end_;
}

void CMimeMessage::AddActive(const std::string& boundary) {
    if (boundary.empty()) return;
    if (std::find(active_->begin(), active_->end(), boundary) == active_->end()) active_->push_back(boundary);
}

void CMimeMessage::RemoveActive(const std::string& boundary) {
    auto it = std::find(active_->rbegin(), active_->rend(), boundary);
    if (it != active_->rend()) active_->erase(std::next(it).base());
}

std::string CMimeMessage::JoinBody(std::size_t from, std::size_t to, bool attachment) const {
    std::string body;
    std::size_t total = 0;
    for (std::size_t i = from; i < to && i < end_; ++i) total += (*lines_)[i].size() + 1;
    body.reserve(total);
    for (std::size_t i = from; i < to && i < end_; ++i) {
        body += (*lines_)[i];
        if (!attachment) body += '\n';
    }
    return body;
}

bool CMimeMessage::ReadPart(std::size_t& cur, const std::string& boundary, MimePart& part) {
    const auto& lines = *lines_;
    bool found = false;
    std::size_t i = cur + 1;
    for (; i < end_; ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            ++i;
            break;
        }
        int which = StartsWithNoCase(line, "Content-Disposition:")         ? 0
                    : StartsWithNoCase(line, "Content-Type:")              ? 1
                    : StartsWithNoCase(line, "Content-Transfer-Encoding:") ? 2
                                                                           : -1;
        if (which < 0) continue;
        std::string value = line.substr(line.find(':') + 1);
        while (i + 1 < end_ && !lines[i + 1].empty() && (lines[i + 1][0] == ' ' || lines[i + 1][0] == '\t')) {
            value += lines[++i];
        }
        std::replace(value.begin(), value.end(), '\t', ' ');
        value = Trim(value);
        found = true;
        std::string name;
        if (which == 0) {
            part.disposition = UpToSemicolon(value);
            if (FileNameParameter(value, "filename", name)) part.fileName = name;
        } else if (which == 1) {
            part.contentType = UpToSemicolon(value);
            if (Parameter(value, "boundary=", part.nestedBoundary)) AddActive(part.nestedBoundary);
            if (part.fileName.empty() && FileNameParameter(value, "name", name)) part.fileName = name;
        } else {
            DecodeEncodedWords(value);
            part.transferEncoding = value;
        }
    }
    if (!found) return false;
    std::size_t bodyStart = std::min(i, end_);

    if (ContainsNoCase(part.contentType, "message/rfc822")) {
        std::size_t stop = FindLine(boundary, bodyStart);
        if (depth_ < kMaxDepth) {
            CMimeMessage nested;
            nested.active_ = active_;
            nested.depth_ = depth_ + 1;
            if (nested.Parse(bodyStart, stop, lines, true)) {
                AppendForwardedBody(nested);
                for (const MimePart* attachment : nested.Attachments()) {
                    if (!IsDuplicate(*attachment)) parts_.push_back(*attachment);
                }
            }
        }
        cur = stop;
        return true;
    }

    const std::string& until = part.nestedBoundary.empty() ? boundary : part.nestedBoundary;
    std::size_t stop = FindLine(until, bodyStart);
    if (stop == end_) stop = FindActive(bodyStart);
    bool attachment = false;  // parts keep their line feeds; base64 decoding skips them
    part.body = JoinBody(bodyStart, stop, attachment);
    cur = bodyStart;
    return true;
}

bool CMimeMessage::IsDuplicate(const MimePart& part) const {
    auto attachments = Attachments();
    if (attachments.empty() || attachments.front()->disposition != "attachment") return false;
    for (const MimePart* listed : attachments) {
        if (listed->contentType == part.contentType && listed->nestedBoundary == part.nestedBoundary &&
            listed->body == part.body)
            return true;
    }
    return false;
}

void CMimeMessage::AddPart(MimePart part) {
    if (!IsDuplicate(part)) parts_.push_back(std::move(part));
}

void CMimeMessage::WalkMultipart(const std::string& boundary, std::size_t cur) {
    std::size_t at = FindLine(boundary, cur);
    while (at < end_ && DelimiterKind((*lines_)[at], boundary) != 2) {
        MimePart part;
        std::size_t next = at;
        if (ReadPart(next, boundary, part)) {
            if (!part.nestedBoundary.empty() && depth_ < kMaxDepth) {
                ++depth_;
                WalkMultipart(part.nestedBoundary, next);
                --depth_;
            }
            AddPart(std::move(part));
        }
        at = FindLine(boundary, std::max(next, at + 1));
    }
    RemoveActive(boundary);
}

bool CMimeMessage::Parse(std::size_t startLine, std::size_t endLine, const std::vector<std::string>& lines,
                         bool decodeQuotedPrintable) {
    // Every parse starts clean: nothing of an earlier message carries over.
    for (auto& h : headers_) h.clear();
    parts_.clear();
    if (active_ == &ownActive_) ownActive_.clear();
    if (lines.empty()) return false;
    lines_ = &lines;
    end_ = std::min(endLine, lines.size());
    cur_ = std::min(startLine, end_);
    decodeQp_ = decodeQuotedPrintable;
    if (!ReadHeaderBlock()) return false;

    const std::string boundary = headers_[kHdrBoundary];
    AddActive(boundary);
    std::size_t at = boundary.empty() ? end_ : FindLine(boundary, cur_);
    if (at < end_) {
        WalkMultipart(boundary, cur_);
    } else {
        MimePart part;
        part.contentType = headers_[kHdrContentType].empty() ? "text/plain" : headers_[kHdrContentType];
        part.transferEncoding = headers_[kHdrTransferEncoding];
        part.disposition = headers_[kHdrDisposition];
        std::string name;
        bool attachment = false;
        if (FileNameParameter(part.disposition, "filename", name)) {
            part.fileName = Trim(name);
            attachment = !part.fileName.empty();
        }
        part.disposition = UpToSemicolon(part.disposition);
        part.body = JoinBody(cur_, end_, attachment);
        parts_.push_back(std::move(part));
    }
    if (decodeQp_) {
        for (auto& part : parts_) {
            if (ContainsNoCase(part.transferEncoding, "quoted-printable")) {
                DecodeQuotedPrintable(part.body);
                part.transferEncoding.clear();
            }
        }
    }
    RemoveActive(boundary);
    return true;
}

const MimePart* CMimeMessage::FindTextPart(bool html) const {
    const char* type = html ? "text/html" : "text/plain";
    int seen = 0;
    for (const auto& part : parts_) {
        if (seen++ == 3) break;
        if (part.fileName.empty() && ContainsNoCase(part.contentType, type)) return &part;
    }
    return nullptr;
}

MimePart* CMimeMessage::FindTextPartMutable(bool html) { return const_cast<MimePart*>(FindTextPart(html)); }

std::vector<const MimePart*> CMimeMessage::Attachments() const {
    std::vector<const MimePart*> out;
    for (const auto& part : parts_) {
        if (!part.fileName.empty() &&
            (ContainsNoCase(part.disposition, "attachment") || ContainsNoCase(part.disposition, "inline")))
            out.push_back(&part);
    }
    return out;
}

void CMimeMessage::AppendForwardedBody(const CMimeMessage& nested) {
    const std::string* h = nested.headers_;
    std::string htmlBlock = "<BR><BR><B>Date:</B> " + h[kHdrDate] + "<BR><B>From:</B> " + h[kHdrFrom] +
                            "<BR><B>To:</B> " + h[kHdrTo] + "<BR><B>cc:</B> " + h[kHdrCc] + "<BR><B>Subject:</B> " +
                            h[kHdrSubject] + "<BR><BR>";
    std::string textBlock = "\r\n\r\nDate: " + h[kHdrDate] + "\r\nFrom: " + h[kHdrFrom] + "\r\nTo: " + h[kHdrTo] +
                            "\r\ncc: " + h[kHdrCc] + "\r\nSubject: " + h[kHdrSubject] + "\r\n\r\n";
    MimePart* html = FindTextPartMutable(true);
    MimePart* text = FindTextPartMutable(false);
    const MimePart* nestedHtml = nested.FindTextPart(true);
    const MimePart* nestedText = nested.FindTextPart(false);
    for (MimePart* part : {html, text}) {
        if (part && ContainsNoCase(part->transferEncoding, "quoted-printable")) {
            DecodeQuotedPrintable(part->body);
            part->transferEncoding.clear();
        }
    }
    if (html) {
        if (nestedHtml)
            html->body += htmlBlock + nestedHtml->body;
        else if (nestedText)
            html->body += textBlock + nestedText->body;
    }
    if (text) {
        if (nestedText) {
            text->body += textBlock + nestedText->body;
        } else if (nestedHtml && !nestedHtml->body.empty()) {
            std::string converted;
            HtmlToText(nestedHtml->body, converted);
            text->body += textBlock + converted;
        }
    }
}

void CMimeMessage::CopyTo(ParsedMessage& out, bool wantAttachments) const {
    for (int i = 0; i < kHeaderCount; ++i) out.headers[i] = headers_[i];
    if (const MimePart* text = FindTextPart(false)) out.text = *text;
    if (const MimePart* html = FindTextPart(true)) out.html = *html;
    out.attachmentCount = 0;
    if (!wantAttachments) return;
    for (const MimePart* part : Attachments()) {
        if (out.attachmentCount == ParsedMessage::kMaxAttachments) break;
        out.attachments[out.attachmentCount++] = *part;
    }
}

}  // namespace inet
