#pragma once
// CResponseParser: turns the bytes of IMAP server responses, fed as they arrive, into
// one ParsedLine per response line.
//
// Design. A byte-at-a-time state machine that keeps no input: whatever it has read is
// already in the line being built, so a feed may end anywhere (inside an atom, a quoted
// string, a literal's count or its data) and the next feed goes on from there.
// States: the tag; the arguments (between two of them); an atom; a quoted string and its
// escape; a literal's count "{n}" / "{n+}", its line end and its data; a status line's
// response code "[NAME args]" and its free text; a continuation's text; a bare CR that
// must be followed by LF; and skipping the rest of a line after a failure.
// Invariants:
//  - A literal's count is checked for overflow and against ParserLimits::maxLiteral
//    before a byte of it is stored; its data is stored as it arrives, never reserved.
//  - The text of a logical line (a line and those it continues after each literal, the
//    literals' data not counted) is at most maxLine bytes; lists nest at most maxDepth.
//  - A failure never loses the framing the line gives: the rest of the physical line is
//    skipped, and a literal announced at its end ("{n}") is skipped by its count, so the
//    next line is read where the server meant it to start. The line is still delivered,
//    with its tag and status word when they were read, and result says what went wrong.
//  - Feed stops right after a line ends, so the caller sees each line before the bytes
//    that follow it are read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/imap/imap_arg.h"

namespace imap {

enum class ParseError {
    kNone,
    kLineTooLong,         // the line's text exceeds maxLine
    kLiteralTooLarge,     // a literal's count exceeds maxLiteral
    kLiteralOverflow,     // a literal's count does not fit in 64 bits
    kBadLiteral,          // "{" not followed by digits, an optional "+", "}" and a line end
    kUnterminatedString,  // the line ends inside a quoted string
    kNestingTooDeep,      // lists nest deeper than maxDepth
    kUnbalancedList,      // ")" without "(", or the line ends inside a list
    kBadSection,          // an atom's "[" is not closed on its line
    kBadCode,             // a response code's "[" is not closed on its line
    kBadCharacter,        // NUL, a control byte, or a CR not followed by LF
    kBadSyntax,           // an empty line, or a tag alone
    kIncomplete,          // the bytes end inside a line
    // Answers of the readers that walk a parsed line.
    kNotFound,     // no response of the kind asked for
    kBadResponse,  // the response is there, but not in the shape its kind has
};

// A result with its reason: Ok(), or an error with a short text for the log.
struct ParseResult {
    ParseError error = ParseError::kNone;
    std::string text;

    bool Ok() const { return error == ParseError::kNone; }
    static ParseResult Fail(ParseError error, std::string text) { return {error, std::move(text)}; }
};

// The enum's own name, e.g. "line too long".
const char* ErrorName(ParseError error);

enum class LineKind { kUntagged, kTagged, kContinuation };
enum class LineStatus { kNone, kOk, kNo, kBad, kPreauth, kBye };

// One response line with the lines it continues after literals.
struct ParsedLine {
    LineKind kind = LineKind::kUntagged;
    std::string tag;  // "*", "+" or the command's tag
    // A status line (OK, NO, BAD, PREAUTH, BYE) has its word here, its optional response
    // code in code/codeArgs ("[UIDNEXT 9]": "UIDNEXT", {9}) and its text; args stay empty.
    LineStatus status = LineStatus::kNone;
    bool hasCode = false;
    std::string code;
    std::vector<ImapArg> codeArgs;
    std::string text;  // a status line's or a continuation's free text
    // Any other line: its arguments after the tag ("* 3 FETCH (...)": 3, FETCH, (...)).
    std::vector<ImapArg> args;
    ParseResult result;  // how reading the line went; readers skip lines that failed
};

struct ParserLimits {
    std::size_t maxLine = 8u << 20;   // a long SEARCH answer still fits
    uint64_t maxLiteral = 64u << 20;  // the socket keeps no larger reply anyway
    std::size_t maxDepth = 32;        // BODYSTRUCTURE of deeply nested multiparts
};

class CResponseParser {
public:
    explicit CResponseParser(ParserLimits limits = {}) : limits_(limits) {}

    // Reads data up to the end of the next line (or all of it); answers how many bytes
    // it took. When a line ended, LineReady() is true until TakeLine().
    std::size_t Feed(std::string_view data);
    bool LineReady() const { return ready_; }
    ParsedLine TakeLine();
    // True when bytes of an unfinished line have been read.
    bool MidLine() const { return state_ != State::kLineStart || lineBytes_ > 0; }
    // How the unfinished line has gone so far (a failure is known before its line ends).
    const ParseResult& LineResult() const { return line_.result; }
    void Reset();

private:
    enum class State {
        kLineStart,
        kTag,
        kContinuationGap,
        kArgs,
        kAtom,
        kQuoted,
        kQuotedEscape,
        kLiteralCount,
        kLiteralPlus,
        kLiteralCr,
        kLiteralLf,
        kLiteralData,
        kStatusGap,
        kRespTextStart,
        kCodeName,
        kAfterCode,
        kText,
        kCr,
        kSkip,
        kSkipLiteral,
    };

    // Each step looks at c; false leaves it for the next state to read again.
    bool Step(char c);
    bool StepTag(char c);
    bool StepArgs(char c);
    bool StepAtom(char c);
    bool StepQuoted(char c);
    bool StepLiteral(char c);
    bool StepStatus(char c);
    bool StepSkip(char c);
    std::vector<ImapArg>& Target();
    void AddArg(ImapArg arg);
    void EndLine();
    bool Fail(ParseError error, std::string text);
    void TrackTail(char c);

    ParserLimits limits_;
    State state_ = State::kLineStart;
    ParsedLine line_;
    bool ready_ = false;
    std::size_t lineBytes_ = 0;
    std::vector<ImapArg> open_;  // lists opened and not yet closed, innermost last
    bool inCode_ = false;        // reading a response code's arguments
    bool statusChecked_ = false;
    std::string token_;         // the atom, string or literal being read
    std::size_t brackets_ = 0;  // "[" open inside the current atom
    uint64_t count_ = 0;        // a literal's count, then what is left of its data
    bool countDigits_ = false;
    std::string tail_;  // the end of the physical line, to find "{n}" when skipping
};

// Parses a whole response; lines receives every line, failed ones included. The result
// is the first line's failure (the unfinished one's included), or kIncomplete when the
// bytes end inside a line.
ParseResult ParseResponse(std::string_view reply, std::vector<ParsedLine>& lines, ParserLimits limits = {});

}  // namespace imap
