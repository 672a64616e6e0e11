#pragma once
// Reading IMAP responses: when a response is complete, and what its lines hold.
// Literals ({n} followed by n bytes) are honoured everywhere, so message text that
// happens to look like a status line never ends or confuses a response.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/inet/mail_socket.h"
#include "hosts/inet/text_lines.h"

namespace imap {

// Complete at the line that begins with "<tag> "; with acceptContinuation also at a
// continuation request ("+" at the start of a line), as APPEND needs.
class ImapReplyEnd : public inet::ReplyEnd {
public:
    explicit ImapReplyEnd(std::string tag, bool acceptContinuation = false)
        : tag_(std::move(tag) + " "), acceptContinuation_(acceptContinuation) {}
    void Reset() override;
    bool Complete(std::string_view reply) override;

private:
    std::string tag_;
    bool acceptContinuation_;
    std::size_t pos_ = 0;
    std::size_t literalLeft_ = 0;
    bool continued_ = false;  // the current line goes on after a literal
};

// One logical response line: its text without the line end, with each literal's
// "{n}" marker left in place and the literal's bytes moved to literals.
struct ResponseLine {
    std::string text;
    std::vector<std::string> literals;
};

// Splits a whole response into logical lines. False when a literal runs past the end
// (the lines read so far are kept).
bool ParseResponse(std::string_view reply, std::vector<ResponseLine>& lines);

enum class TaggedStatus { kMissing, kOk, kNo, kBad };
// The status of the line that begins with "<tag> ".
TaggedStatus StatusOf(const std::vector<ResponseLine>& lines, std::string_view tag);
bool IsTaggedOk(std::string_view reply, std::string_view tag);

using inet::ContainsNoCase;
using inet::EqualsNoCase;
using inet::Lower;
// An IMAP quoted string with '\' and '"' escaped; false when text holds CR, LF or NUL,
// which no quoted string can carry.
bool Quote(std::string_view text, std::string& out);

// A LIST line: "* LIST (flags) delimiter name". False when the line is not one.
struct ListEntry {
    std::string flags;  // lower case
    std::string name;
};
bool ParseListLine(const ResponseLine& line, ListEntry& entry);

// "* SEARCH 4 9 12": false when no SEARCH line is present; an empty line is an empty list.
bool ParseSearch(const std::vector<ResponseLine>& lines, std::vector<uint32_t>& uids,
                 std::size_t limit);

// The first literal of the first FETCH line, or false.
bool FetchLiteral(const std::vector<ResponseLine>& lines, std::string& out);

// The value that follows item (case ignored, e.g. "UID", "RFC822.SIZE") in the first
// FETCH line; false when absent or not a number.
bool FetchNumber(const std::vector<ResponseLine>& lines, std::string_view item, uint64_t& out);

// The flags of the first FETCH line, lower case ("" when none).
std::string FetchFlags(const std::vector<ResponseLine>& lines);

}  // namespace imap
