// The IMAP response parser: the tree it builds, the same tree however the bytes are
// split, the bounds it keeps, and the reason it gives for each failure.
#include <gtest/gtest.h>

#include "hosts/imap/imap_parser.h"

namespace {

using namespace imap;

// A line's arguments in a compact form: atoms bare, strings quoted, literals as
// {n}bytes, NIL as NIL, lists in parentheses.
std::string Show(const ImapArg& arg) {
    switch (arg.type) {
    case ArgType::kAtom: return arg.text;
    case ArgType::kString: return "\"" + arg.text + "\"";
    case ArgType::kLiteral: return "{" + std::to_string(arg.text.size()) + "}" + arg.text;
    case ArgType::kNil: return "NIL";
    case ArgType::kList: {
        std::string out = "(";
        for (const auto& item : arg.list) out += (out.size() > 1 ? " " : "") + Show(item);
        return out + ")";
    }
    }
    return "?";
}

std::string Show(const std::vector<ImapArg>& args) {
    std::string out;
    for (const auto& arg : args) out += (out.empty() ? "" : " ") + Show(arg);
    return out;
}

// Everything a line holds, so two parses can be compared whole.
std::string Show(const ParsedLine& line) {
    std::string out = line.tag + "|" + std::to_string(static_cast<int>(line.status)) + "|";
    if (line.hasCode) out += "[" + line.code + (line.codeArgs.empty() ? "" : " ") + Show(line.codeArgs) + "]";
    out += "|" + line.text + "|" + Show(line.args) + "|" + ErrorName(line.result.error);
    return out;
}

ParserLimits Limits(std::size_t line, uint64_t literal, std::size_t depth) {
    ParserLimits limits;
    limits.maxLine = line;
    limits.maxLiteral = literal;
    limits.maxDepth = depth;
    return limits;
}

std::vector<ParsedLine> ParseInPieces(std::string_view bytes, std::size_t piece, ParserLimits limits = {}) {
    CResponseParser parser(limits);
    std::vector<ParsedLine> lines;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        std::string_view chunk = bytes.substr(at, piece);
        while (!chunk.empty()) {
            chunk.remove_prefix(parser.Feed(chunk));
            if (parser.LineReady()) lines.push_back(parser.TakeLine());
        }
    }
    return lines;
}

TEST(ImapParser, BuildsTheTreeOfEachLine) {
    struct {
        const char* bytes;
        const char* shown;  // of the first line
    } cases[] = {
        {"* 3 FETCH (UID 42 FLAGS (\\Seen \\Answered) RFC822.SIZE 1234)\r\n",
         "*|0|||3 FETCH (UID 42 FLAGS (\\Seen \\Answered) RFC822.SIZE 1234)|no error"},
        // A section with a list and an origin is one atom; its literal follows it.
        {"* 1 FETCH (BODY[HEADER.FIELDS (Received)]<0> {5}\r\nab\r\nc)\r\n",
         "*|0|||1 FETCH (BODY[HEADER.FIELDS (Received)]<0> {5}ab\r\nc)|no error"},
        {"* 1 FETCH (BODY[] {0}\r\n)\r\n", "*|0|||1 FETCH (BODY[] {0})|no error"},
        // Bare NIL is nil, quoted "NIL" a string; escapes are removed.
        {"* LIST (\\Noselect) NIL \"NIL\"\r\n", "*|0|||LIST (\\Noselect) NIL \"NIL\"|no error"},
        {"* LIST () \"/\" \"a \\\"b\\\" \\\\c\"\r\n", "*|0|||LIST () \"/\" \"a \"b\" \\c\"|no error"},
        // 8-bit bytes pass through atoms and strings untouched.
        {"* LIST () \"/\" Entw\xc3\xbc"
         "rfe\r\n",
         "*|0|||LIST () \"/\" Entw\xc3\xbcrfe|no error"},
        {"* LIST () \"/\" \"\xe8\x8d\x89\xe7\xa8\xbf\"\r\n",
         "*|0|||LIST () \"/\" \"\xe8\x8d\x89\xe7\xa8\xbf\"|no error"},
        {"* SEARCH 4 9 12\n", "*|0|||SEARCH 4 9 12|no error"},
        {"* 5 EXISTS\r\n", "*|0|||5 EXISTS|no error"},
        // Status lines: the word, the code with its arguments, free text that may hold
        // anything a text may, parentheses and quotes included.
        {"AEG1 OK [UIDNEXT 9] Select (done \"\r\n", "AEG1|1|[UIDNEXT 9]|Select (done \"||no error"},
        {"* OK [PERMANENTFLAGS (\\Seen \\*)] Limited\r\n", "*|1|[PERMANENTFLAGS (\\Seen \\*)]|Limited||no error"},
        {"* OK [CAPABILITY IMAP4rev1 UIDPLUS]\r\n", "*|1|[CAPABILITY IMAP4rev1 UIDPLUS]|||no error"},
        {"AEG2 no [TRYCREATE] no such folder\r\n", "AEG2|2|[TRYCREATE]|no such folder||no error"},
        {"* BYE\r\n", "*|5||||no error"},
        {"+ Ready for literal data\r\n", "+|0||Ready for literal data||no error"},
        {"+\r\n", "+|0||||no error"},
        {"* STATUS {4}\r\nA )B (MESSAGES 3 UIDNEXT 9)\r\n", "*|0|||STATUS {4}A )B (MESSAGES 3 UIDNEXT 9)|no error"},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines;
        EXPECT_TRUE(ParseResponse(c.bytes, lines).Ok()) << c.bytes;
        ASSERT_EQ(lines.size(), 1u) << c.bytes;
        EXPECT_EQ(Show(lines[0]), c.shown) << c.bytes;
        EXPECT_EQ(lines[0].kind, lines[0].tag == "*"   ? LineKind::kUntagged
                                 : lines[0].tag == "+" ? LineKind::kContinuation
                                                       : LineKind::kTagged);
    }
}

// The socket hands over whatever arrived: every split point, inside a literal's count,
// its line end or its data, or inside a quoted string, gives the tree a whole feed gives.
TEST(ImapParser, SameTreeWhereverTheBytesAreSplit) {
    const std::string reply =
        "* 2 FETCH (UID 7 BODY[1.MIME] {13}\r\nhead\r\n)\r\n\"x\r\n BODY[2] {3+}\r\nabc "
        "X \"q \\\" s\")\r\n* OK [UIDVALIDITY 3] x\r\n+ go\r\nAEG5 OK done\r\n";
    std::vector<ParsedLine> whole;
    ASSERT_TRUE(ParseResponse(reply, whole).Ok());
    ASSERT_EQ(whole.size(), 4u);
    EXPECT_EQ(Show(whole[0].args),
              "2 FETCH (UID 7 BODY[1.MIME] {13}head\r\n)\r\n\"x\r\n "
              "BODY[2] {3}abc X \"q \" s\")");
    for (std::size_t piece = 1; piece <= 9; ++piece) {
        std::vector<ParsedLine> lines = ParseInPieces(reply, piece);
        ASSERT_EQ(lines.size(), whole.size()) << piece;
        for (std::size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(Show(lines[i]), Show(whole[i])) << "pieces of " << piece;
        }
    }
    // Split in two at every point, too.
    for (std::size_t cut = 1; cut < reply.size(); ++cut) {
        CResponseParser parser;
        std::vector<ParsedLine> lines;
        for (std::string_view part : {std::string_view(reply).substr(0, cut), std::string_view(reply).substr(cut)}) {
            while (!part.empty()) {
                part.remove_prefix(parser.Feed(part));
                if (parser.LineReady()) lines.push_back(parser.TakeLine());
            }
        }
        ASSERT_EQ(lines.size(), whole.size()) << cut;
        EXPECT_EQ(Show(lines[0]), Show(whole[0])) << cut;
        EXPECT_FALSE(parser.MidLine());
    }
}

// Each failure has its own reason; the line still arrives (with its tag when that was
// read), and the line after it is read where the server meant it to start.
TEST(ImapParser, EachFailureHasItsReasonAndKeepsTheFraming) {
    const ParserLimits small = Limits(64, 100, 3);
    struct {
        const char* name;
        std::string bytes;  // a failing line, then "AEG1 OK" that must still be read
        ParseError error;
        const char* tag;
    } cases[] = {
        {"literal over the bound", "* 1 FETCH (BODY[] {101}\r\n" + std::string(101, 'x') + ")\r\n",
         ParseError::kLiteralTooLarge, "*"},
        {"literal count overflows", "* 1 FETCH (BODY[] {99999999999999999999}\r\n", ParseError::kLiteralOverflow, "*"},
        {"literal count not digits", "* 1 FETCH (BODY[] {1x}\r\n", ParseError::kBadLiteral, "*"},
        {"literal count empty", "* 1 FETCH (BODY[] {}\r\n", ParseError::kBadLiteral, "*"},
        {"literal without a line end", "* 1 FETCH (BODY[] {3} abc)\r\n", ParseError::kBadLiteral, "*"},
        {"unterminated quoted string", "* LIST () \"/\" \"Sent\r\n", ParseError::kUnterminatedString, "*"},
        {"escape at the line end", "* LIST () \"/\" \"Sent\\\r\n", ParseError::kUnterminatedString, "*"},
        // The quoted string runs to a line that ends in a literal: its data is skipped too.
        {"unterminated string before a literal", "* X \"a {4}\r\nAEG1\r\n", ParseError::kUnterminatedString, "*"},
        {"nesting too deep", "* 1 FETCH (BODYSTRUCTURE ((((\"text\"))))))\r\n", ParseError::kNestingTooDeep, "*"},
        {"')' without '('", "* 1 FETCH (UID 1))\r\n", ParseError::kUnbalancedList, "*"},
        {"line ends inside a list", "* 1 FETCH (UID 1\r\n", ParseError::kUnbalancedList, "*"},
        {"line too long", "* SEARCH" + std::string(200, ' ') + "1\r\n", ParseError::kLineTooLong, "*"},
        // Too long before a literal: the literal is still skipped by its count.
        {"line too long before a literal", "* X " + std::string(80, 'a') + " {6}\r\nAEG1 x)\r\n",
         ParseError::kLineTooLong, "*"},
        {"section not closed", "* 1 FETCH (BODY[HEADER.FIELDS (To)\r\n", ParseError::kBadSection, "*"},
        {"code not closed", "AEG9 OK [UIDNEXT 9\r\n", ParseError::kBadCode, "AEG9"},
        {"code name not closed", "AEG9 NO [ALERT\r\n", ParseError::kBadCode, "AEG9"},
        {"NUL in a quoted string", std::string("* X \"a\0b\"\r\n", 11), ParseError::kBadCharacter, "*"},
        {"control byte in an atom", "* X a\x01z\r\n", ParseError::kBadCharacter, "*"},
        {"CR alone", "* X a\rb\r\n", ParseError::kBadCharacter, "*"},
        {"empty line", "\r\n", ParseError::kBadSyntax, ""},
        {"tag alone", "AEG9\r\n", ParseError::kBadSyntax, "AEG9"},
        {"blank first", " AEG9 OK\r\n", ParseError::kBadSyntax, ""},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines;
        ParseResult result = ParseResponse(c.bytes + "AEG1 OK done\r\n", lines, small);
        EXPECT_EQ(result.error, c.error) << c.name << ": " << result.text;
        EXPECT_FALSE(result.text.empty()) << c.name;
        ASSERT_EQ(lines.size(), 2u) << c.name;
        EXPECT_EQ(lines[0].result.error, c.error) << c.name;
        EXPECT_EQ(lines[0].tag, c.tag) << c.name;
        EXPECT_TRUE(lines[1].result.Ok()) << c.name;
        EXPECT_EQ(Show(lines[1]), "AEG1|1||done||no error") << c.name;
        // Fed a byte at a time the failure and the framing are the same.
        std::vector<ParsedLine> pieces = ParseInPieces(c.bytes + "AEG1 OK done\r\n", 1, small);
        ASSERT_EQ(pieces.size(), 2u) << c.name;
        EXPECT_EQ(pieces[0].result.error, c.error) << c.name;
        EXPECT_EQ(Show(pieces[1]), Show(lines[1])) << c.name;
    }
}

TEST(ImapParser, BoundsAreInclusive) {
    const ParserLimits small = Limits(16, 5, 2);
    struct {
        std::string bytes;
        ParseError error;
    } cases[] = {
        {"* 1 X ((a))\r\n", ParseError::kNone},
        {"* 1 X (((a)))\r\n", ParseError::kNestingTooDeep},
        {"* 1 X {5}\r\nabcde\r\n", ParseError::kNone},
        {"* 1 X {6}\r\nabcdef\r\n", ParseError::kLiteralTooLarge},
        {"* " + std::string(12, 'a') + "\r\n", ParseError::kNone},  // 16 bytes with CRLF
        {"* " + std::string(13, 'a') + "\r\n", ParseError::kLineTooLong},
        // A literal's data does not count towards the line; the text around it does.
        {"* 1 {5}\r\nabcde X\r\n", ParseError::kNone},
        {"* 1 {5}\r\nabcde XXXXXXXX\r\n", ParseError::kLineTooLong},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines;
        EXPECT_EQ(ParseResponse(c.bytes, lines, small).error, c.error) << c.bytes;
        EXPECT_EQ(lines.size(), 1u) << c.bytes;
    }
}

TEST(ImapParser, IncompleteBytesAreSaidSo) {
    for (const char* bytes :
         {"* 1 FETCH (BODY[] {10}\r\nshort", "* SEARCH 1 2", "AEG1 OK", "* X \"open", "* 1 FETCH (BODY[] {1"}) {
        std::vector<ParsedLine> lines;
        EXPECT_EQ(ParseResponse(bytes, lines).error, ParseError::kIncomplete) << bytes;
        EXPECT_TRUE(lines.empty()) << bytes;
    }
}

TEST(ImapParser, NumbersAreCheckedForRange) {
    struct {
        ArgType type;
        const char* text;
        bool any;   // AsNumber without a bound
        bool nz32;  // AsNzNumber
    } cases[] = {
        {ArgType::kAtom, "0", true, false},
        {ArgType::kAtom, "4294967295", true, true},
        {ArgType::kAtom, "4294967296", true, false},
        {ArgType::kAtom, "18446744073709551615", true, false},
        {ArgType::kAtom, "18446744073709551616", false, false},
        {ArgType::kAtom, "000000000000000000001", false, false},  // more digits than any fits
        {ArgType::kAtom, "-1", false, false},
        {ArgType::kAtom, "12a", false, false},
        {ArgType::kAtom, "", false, false},
        {ArgType::kString, "12", false, false},  // a quoted number is a string
        {ArgType::kNil, "NIL", false, false},
    };
    for (const auto& c : cases) {
        ImapArg arg{c.type, c.text, {}};
        uint64_t n = 0;
        uint32_t n32 = 0;
        EXPECT_EQ(arg.AsNumber(n), c.any) << c.text;
        EXPECT_EQ(arg.AsNzNumber(n32), c.nz32) << c.text;
    }
    ImapArg big{ArgType::kAtom, "1099511627776", {}};
    uint64_t n = 0;
    EXPECT_FALSE(big.AsNumber(n, (1ull << 40) - 1));
    EXPECT_TRUE(big.AsNumber(n, 1ull << 40));
    EXPECT_EQ(n, 1ull << 40);
}

}  // namespace
