#pragma once
// Reading IMAP responses: when a response is complete, and how its command ended.
// The bytes go through the response parser as they arrive, so a literal's data (message
// text that happens to look like a status line) never ends or confuses a response.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/imap/imap_parser.h"
#include "hosts/inet/mail_socket.h"
#include "hosts/inet/text_lines.h"

namespace imap {

// Complete at the line tagged tag; with acceptContinuation also at a continuation
// request ("+"), as APPEND needs. The lines read, failed ones included, are kept.
class ImapReplyEnd : public inet::ReplyEnd {
public:
    explicit ImapReplyEnd(std::string tag, bool acceptContinuation = false, ParserLimits limits = {})
        : tag_(std::move(tag)), acceptContinuation_(acceptContinuation), parser_(limits) {}
    void Reset() override;
    bool Complete(std::string_view reply) override;
    const std::vector<ParsedLine>& Lines() const { return lines_; }
    std::vector<ParsedLine> TakeLines() { return std::move(lines_); }
    // Untagged lines that take answers true for are handed to it as they complete and not
    // kept: a reply of many thousand lines then never holds them all at once.
    void TakeUntagged(std::function<bool(ParsedLine&)> take) { take_ = std::move(take); }

private:
    std::string tag_;
    bool acceptContinuation_;
    CResponseParser parser_;
    std::vector<ParsedLine> lines_;
    std::function<bool(ParsedLine&)> take_;
    std::size_t pos_ = 0;
    bool complete_ = false;
};

enum class TaggedStatus { kMissing, kOk, kNo, kBad };
// The status of the line tagged tag: OK, NO, and anything else BAD.
TaggedStatus StatusOf(const std::vector<ParsedLine>& lines, std::string_view tag);

using inet::ContainsNoCase;
using inet::EqualsNoCase;
using inet::Lower;
// An IMAP quoted string with '\' and '"' escaped; false when text holds CR, LF or NUL,
// which no quoted string can carry.
bool Quote(std::string_view text, std::string& out);

}  // namespace imap
