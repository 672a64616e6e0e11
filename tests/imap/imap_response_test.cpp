// Reading IMAP responses: completion, status, literals and the readers of the responses
// the host uses, each with the reason it gives when a response is not what it reads.
#include <gtest/gtest.h>

#include "hosts/imap/imap_readers.h"
#include "hosts/imap/imap_response.h"

namespace {

using namespace imap;

std::vector<ParsedLine> Parse(const std::string& reply) {
    std::vector<ParsedLine> lines;
    ParseResponse(reply, lines);
    return lines;
}

TEST(ImapReplyEnd, CompletesOnlyAtOwnTaggedLine) {
    struct {
        const char* reply;
        bool continuation;
        bool complete;
    } cases[] = {
        {"* 1 EXISTS\r\nAEG1 OK done\r\n", false, true},
        {"AEG1 NO refused\r\n", false, true},
        {"* OK AEG1 OK in text\r\n", false, false},
        {"AEG10 OK other tag\r\n", false, false},
        // A literal whose text holds our status line does not end the response.
        {"* 1 FETCH (BODY[] {14}\r\nAEG1 OK fake\r\n)\r\n", false, false},
        {"* 1 FETCH (BODY[] {14}\r\nAEG1 OK fake\r\n)\r\nAEG1 OK real\r\n", false, true},
        {"+ go ahead\r\n", true, true},
        {"+ go ahead\r\n", false, false},
        {"AEG1 NO [TRYCREATE] no folder\r\n", true, true},
        // A line the parser cannot read does not hide the tagged line after it, nor
        // does a literal announced after the failure.
        {"* 1 FETCH (FLAGS (\\Seen\r\nAEG1 OK done\r\n", false, true},
        {"* 1 FETCH (X \"open {14}\r\nAEG1 OK fake\r\n)\r\n", false, false},
        {"* 1 FETCH (BODY[] {999999999999}\r\nAEG1 OK done\r\n", false, false},
    };
    for (const auto& c : cases) {
        ImapReplyEnd end("AEG1", c.continuation);
        EXPECT_EQ(end.Complete(c.reply), c.complete) << c.reply;
    }
    // Piecewise, split inside the literal; the lines read are kept for the readers.
    ImapReplyEnd end("AEG1");
    std::string reply = "* 1 FETCH (BODY[] {14}\r\nAEG1 O";
    EXPECT_FALSE(end.Complete(reply));
    reply += "K fake\r\n)\r\n";
    EXPECT_FALSE(end.Complete(reply));
    reply += "AEG1 OK real\r\n";
    EXPECT_TRUE(end.Complete(reply));
    ASSERT_EQ(end.Lines().size(), 2u);
    EXPECT_EQ(StatusOf(end.Lines(), "AEG1"), TaggedStatus::kOk);
    FetchData data;
    ASSERT_TRUE(ReadFetch(end.Lines()[0], data).Ok());
    ASSERT_EQ(data.bodies.size(), 1u);
    EXPECT_EQ(data.bodies[0].text, "AEG1 OK fake\r\n");
}

TEST(ImapResponse, StatusIsTheTaggedLineItself) {
    struct {
        const char* reply;
        TaggedStatus status;
    } cases[] = {
        {"* 2 EXISTS\r\nAEG1 OK SELECT completed\r\n", TaggedStatus::kOk},
        {"AEG1 NO [ALERT] not OK at all\r\n", TaggedStatus::kNo},
        {"AEG1 BAD syntax\r\n", TaggedStatus::kBad},
        {"AEG1 WHAT\r\n", TaggedStatus::kBad},
        {"* BYE AEG1 OK\r\n", TaggedStatus::kMissing},
        {"AEG12 OK not ours\r\n", TaggedStatus::kMissing},
        {"* 1 FETCH (BODY[] {12}\r\nAEG1 OK x\r\n)\r\nAEG1 NO y\r\n", TaggedStatus::kNo},
        // The status word stands even when the code after it is broken.
        {"AEG1 OK [UIDNEXT 4\r\n", TaggedStatus::kOk},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusOf(Parse(c.reply), "AEG1"), c.status) << c.reply;
    }
}

TEST(ImapResponse, LiteralsAreTakenByTheirCount) {
    std::vector<ParsedLine> lines;
    ASSERT_TRUE(ParseResponse("* 7 FETCH (UID 42 BODY[] {8}\r\nab\r\n)\r\nz)\r\nAEG3 OK\r\n", lines).Ok());
    ASSERT_EQ(lines.size(), 2u);
    FetchData data;
    ASSERT_TRUE(FindFetchByUid(lines, 42, data).Ok());
    EXPECT_EQ(data.uid, 42u);
    ASSERT_EQ(data.bodies.size(), 1u);
    EXPECT_EQ(data.bodies[0].text, "ab\r\n)\r\nz");

    // A count that runs past the data is reported, not read beyond; one past the bound
    // is refused before anything is kept.
    EXPECT_EQ(ParseResponse("* 1 FETCH (BODY[] {999}\r\nshort\r\n", lines).error, ParseError::kIncomplete);
    EXPECT_EQ(ParseResponse("* 1 FETCH (BODY[] {99999999999999}\r\n", lines).error, ParseError::kLiteralTooLarge);
}

TEST(ImapResponse, ListLines) {
    struct {
        const char* line;
        ParseError error;
        const char* name;
        bool noselect;
    } cases[] = {
        {"* LIST (\\HasNoChildren) \".\" \"INBOX.Sent\"\r\n", ParseError::kNone, "INBOX.Sent", false},
        {"* LIST () \"/\" Drafts\r\n", ParseError::kNone, "Drafts", false},
        {"* LIST (\\NoSelect) \"/\" Archive\r\n", ParseError::kNone, "Archive", true},
        {"* LIST (\\Sent) \"/\" \"My \\\"Quoted\\\" \\\\Box\"\r\n", ParseError::kNone, "My \"Quoted\" \\Box", false},
        {"* LIST () NIL Flat\r\n", ParseError::kNone, "Flat", false},
        {"* LIST () \"/\" NIL\r\n", ParseError::kNone, "NIL", false},  // a folder named NIL
        {"* LIST () \"/\" \"Entw\xc3\xbcrfe\"\r\n", ParseError::kNone, "Entw\xc3\xbcrfe", false},
        {"* LIST (\\Noselect) NIL \"\"\r\n", ParseError::kBadResponse, "", true},
        {"* LSUB () \"/\" Drafts\r\n", ParseError::kNotFound, "", false},
        {"* LIST \\HasNoChildren \"/\" Drafts\r\n", ParseError::kBadResponse, "", false},
        {"* LIST () \"/\"\r\n", ParseError::kBadResponse, "", false},
        {"* LIST (\\HasNoChildren\r\n", ParseError::kUnbalancedList, "", false},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines = Parse(c.line);
        ASSERT_EQ(lines.size(), 1u) << c.line;
        ListEntry entry;
        ParseResult result = ReadListEntry(lines[0], "LIST", entry);
        EXPECT_EQ(result.error, c.error) << c.line << ": " << result.text;
        if (result.Ok()) {
            EXPECT_EQ(entry.name, c.name) << c.line;
            EXPECT_EQ(entry.HasFlag("\\Noselect"), c.noselect) << c.line;
        } else {
            EXPECT_FALSE(result.text.empty()) << c.line;
        }
    }
    ListEntry entry;
    EXPECT_TRUE(ReadListEntry(Parse("* LSUB () \"/\" Drafts\r\n")[0], "LSUB", entry).Ok());
    EXPECT_EQ(entry.delimiter, "/");
    std::vector<ParsedLine> lines = Parse("* LIST () \"/\" {7}\r\nWeird B\r\nAEG1 OK\r\n");
    ASSERT_TRUE(ReadListEntry(lines[0], "LIST", entry).Ok());
    EXPECT_EQ(entry.name, "Weird B");
}

TEST(ImapResponse, SearchLine) {
    struct {
        const char* reply;
        bool found;
        std::vector<uint32_t> uids;
    } cases[] = {
        {"* SEARCH 4 9 12\r\nAEG1 OK\r\n", true, {4, 9, 12}},
        {"* SEARCH\r\nAEG1 OK\r\n", true, {}},
        {"* OK still here\r\n* SEARCH 5\r\nAEG1 OK\r\n", true, {5}},
        {"AEG1 OK\r\n", false, {}},
        {"* SEARCH 1 2 3 4 5\r\nAEG1 OK\r\n", true, {1, 2, 3}},  // at most the folder's count
        {"* SEARCH 99999999999\r\nAEG1 OK\r\n", true, {}},
        {"* SEARCH 0 7\r\nAEG1 OK\r\n", true, {7}},
        {"* SEARCH 2 8 (MODSEQ 917162500)\r\nAEG1 OK\r\n", true, {2, 8}},
        // A line the parser could not read is no answer.
        {"* SEARCH 2 \"8\r\nAEG1 OK\r\n", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> uids;
        ParseResult result = ReadSearch(Parse(c.reply), uids, 3);
        EXPECT_EQ(result.Ok(), c.found) << c.reply;
        if (!c.found) {
            EXPECT_EQ(result.error, ParseError::kNotFound) << c.reply;
        }
        EXPECT_EQ(uids, c.uids) << c.reply;
    }
}

TEST(ImapReplyEnd, TakenLinesAreHandedOverNotKept) {
    // A line split across two arrivals is taken once it is whole; the tagged line, and
    // untagged lines not taken, stay.
    ImapReplyEnd end("AEG1");
    std::vector<std::string> taken;
    end.TakeUntagged([&](ParsedLine& line) {
        if (line.args.size() < 2 || !line.args[1].IsAtom("FETCH")) return false;
        taken.push_back(line.args[0].text);
        return true;
    });
    std::string reply = "* 1 FETCH (FLAGS ())\r\n* 2 FET";
    EXPECT_FALSE(end.Complete(reply));
    reply += "CH (FLAGS ())\r\n* 3 EXISTS\r\nAEG1 OK\r\n";
    EXPECT_TRUE(end.Complete(reply));
    EXPECT_EQ(taken, (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(end.Lines().size(), 2u);
    EXPECT_EQ(end.Lines()[0].args[1].text, "EXISTS");
    EXPECT_EQ(StatusOf(end.Lines(), "AEG1"), TaggedStatus::kOk);
}

TEST(ImapResponse, EsearchAllSet) {
    struct {
        const char* reply;
        ParseError error;
        std::vector<uint32_t> uids;
    } cases[] = {
        {"* ESEARCH (TAG \"AEG4\") UID ALL 1:3,7\r\nAEG4 OK\r\n", ParseError::kNone, {1, 2, 3, 7}},
        {"* ESEARCH (TAG \"AEG4\") UID ALL 9\r\nAEG4 OK\r\n", ParseError::kNone, {9}},
        {"* ESEARCH UID COUNT 2 ALL 5:4\r\nAEG4 OK\r\n", ParseError::kNone, {4, 5}},
        // Nothing matched: no ALL at all.
        {"* ESEARCH (TAG \"AEG4\") UID\r\nAEG4 OK\r\n", ParseError::kNone, {}},
        // A set spanning every number stops at the folder's count.
        {"* ESEARCH (TAG \"AEG4\") UID ALL 1:4294967295\r\nAEG4 OK\r\n", ParseError::kNone, {1, 2, 3, 4, 5}},
        {"* ESEARCH (TAG \"AEG4\") UID ALL 1:*\r\nAEG4 OK\r\n", ParseError::kBadResponse, {}},
        {"* ESEARCH (TAG \"AEG4\") UID ALL 0:3\r\nAEG4 OK\r\n", ParseError::kBadResponse, {}},
        {"* ESEARCH (TAG \"AEG4\") UID ALL 1,,2\r\nAEG4 OK\r\n", ParseError::kBadResponse, {}},
        {"* ESEARCH (TAG \"AEG4\") UID ALL 4294967296\r\nAEG4 OK\r\n", ParseError::kBadResponse, {}},
        {"* SEARCH 1 2\r\nAEG4 OK\r\n", ParseError::kNotFound, {}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> uids;
        ParseResult result = ReadEsearchAll(Parse(c.reply), uids, 5);
        EXPECT_EQ(result.error, c.error) << c.reply;
        if (result.Ok()) {
            EXPECT_EQ(uids, c.uids) << c.reply;
        }
    }
}

TEST(ImapResponse, VanishedSetsAndQresyncCodes) {
    using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;
    struct {
        const char* line;
        ParseError error;
        bool earlier;
        Ranges ranges;
    } cases[] = {
        {"* VANISHED (EARLIER) 1:3,7,9:8\r\n", ParseError::kNone, true, {{1, 3}, {7, 7}, {8, 9}}},
        {"* VANISHED 4\r\n", ParseError::kNone, false, {{4, 4}}},
        // A range past every UID a folder ever held is still one range, not counted out.
        {"* VANISHED (EARLIER) 1:4294967295\r\n", ParseError::kNone, true, {{1, 4294967295u}}},
        {"* VANISHED (LATER) 4\r\n", ParseError::kBadResponse, false, {}},
        {"* VANISHED (EARLIER)\r\n", ParseError::kBadResponse, false, {}},
        {"* VANISHED 0:3\r\n", ParseError::kBadResponse, false, {}},
        {"* VANISHED 1:*\r\n", ParseError::kBadResponse, false, {}},
        {"* VANISHED 3 4\r\n", ParseError::kBadResponse, false, {}},
        {"* 3 EXPUNGE\r\n", ParseError::kNotFound, false, {}},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines = Parse(c.line);
        ASSERT_EQ(lines.size(), 1u) << c.line;
        bool earlier = !c.earlier;
        Ranges ranges;
        ParseResult result = ReadVanished(lines[0], earlier, ranges);
        EXPECT_EQ(result.error, c.error) << c.line;
        if (result.Ok()) {
            EXPECT_EQ(earlier, c.earlier) << c.line;
            EXPECT_EQ(ranges, c.ranges) << c.line;
        }
    }

    // HIGHESTMODSEQ is 63 bits; other codes stay 32.
    auto select = Parse("* OK [HIGHESTMODSEQ 90000000000] x\r\n* OK [UIDVALIDITY 4294967296] y\r\nA1 OK\r\n");
    uint64_t n = 0;
    EXPECT_TRUE(ReadCodeNumber(select, "HIGHESTMODSEQ", n, INT64_MAX).Ok());
    EXPECT_EQ(n, 90000000000ull);
    EXPECT_EQ(ReadCodeNumber(select, "HIGHESTMODSEQ", n).error, ParseError::kBadResponse);
    EXPECT_EQ(ReadCodeNumber(select, "UIDVALIDITY", n).error, ParseError::kBadResponse);
    EXPECT_FALSE(HasCode(select, "NOMODSEQ"));
    EXPECT_TRUE(HasCode(Parse("* OK [NOMODSEQ] none\r\n"), "nomodseq"));

    std::vector<std::string> enabled;
    EXPECT_TRUE(ReadEnabled(Parse("* ENABLED CONDSTORE QRESYNC\r\nA1 OK\r\n"), enabled).Ok());
    EXPECT_EQ(enabled, (std::vector<std::string>{"CONDSTORE", "QRESYNC"}));
    EXPECT_TRUE(ReadEnabled(Parse("* ENABLED\r\nA1 OK\r\n"), enabled).Ok());
    EXPECT_TRUE(enabled.empty());
    EXPECT_EQ(ReadEnabled(Parse("A1 BAD unknown\r\n"), enabled).error, ParseError::kNotFound);
}

TEST(ImapResponse, FetchItems) {
    struct {
        const char* line;
        ParseError error;
        const char* shown;  // number uid flags size date [section]origin=text ...
    } cases[] = {
        {"* 3 FETCH (UID 42 FLAGS (\\Seen \\Answered) RFC822.SIZE 1234)\r\n", ParseError::kNone,
         "3 42 \\Seen,\\Answered 1234 -"},
        {"* 3 FETCH (FLAGS ())\r\n", ParseError::kNone, "3 - , - -"},
        {"* 1 FETCH (INTERNALDATE \"17-Jul-1996 02:44:25 -0700\" UID 9)\r\n", ParseError::kNone,
         "1 9 - - 17-Jul-1996 02:44:25 -0700"},
        {"* 1 FETCH (UID 5 FLAGS (\\Seen) BODY[HEADER.FIELDS (Received)] {11}\r\nReceived: x)\r\n", ParseError::kNone,
         "1 5 \\Seen - - [HEADER.FIELDS (Received)]=Received: x"},
        {"* 1 FETCH (BODY[1.MIME] \"Content-Type: text/plain\" BODY[2]<0> NIL)\r\n", ParseError::kNone,
         "1 - - - - [1.MIME]=Content-Type: text/plain [2]<0>=NIL"},
        // Items not read here are passed over whole, lists and all.
        {"* 1 FETCH (BODYSTRUCTURE (\"text\" \"plain\" NIL NIL NIL \"7bit\" 3 1) UID 6)\r\n", ParseError::kNone,
         "1 6 - - -"},
        {"* 1 FETCH (UID 0)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (UID 4294967296)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (RFC822.SIZE -3)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (FLAGS \\Seen)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (FLAGS (\"\\Seen\"))\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (UID 5 FLAGS)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH (BODY[] (a))\r\n", ParseError::kBadResponse, ""},
        {"* 0 FETCH (UID 5)\r\n", ParseError::kBadResponse, ""},
        {"* 1 FETCH UID 5\r\n", ParseError::kBadResponse, ""},
        {"* 1 EXPUNGE\r\n", ParseError::kNotFound, ""},
        {"* 1 FETCH (UID 5\r\n", ParseError::kUnbalancedList, ""},
    };
    for (const auto& c : cases) {
        std::vector<ParsedLine> lines = Parse(c.line);
        ASSERT_EQ(lines.size(), 1u) << c.line;
        FetchData d;
        ParseResult result = ReadFetch(lines[0], d);
        EXPECT_EQ(result.error, c.error) << c.line << ": " << result.text;
        if (!result.Ok()) {
            EXPECT_FALSE(result.text.empty()) << c.line;
            continue;
        }
        std::string flags;
        for (const auto& f : d.flags) flags += (flags.empty() ? "" : ",") + f;
        std::string shown = std::to_string(d.number) + " " + (d.hasUid ? std::to_string(d.uid) : "-") + " " +
                            (d.hasFlags ? (flags.empty() ? "," : flags) : "-") + " " +
                            (d.hasSize ? std::to_string(d.size) : "-") + " " +
                            (d.hasInternalDate ? d.internalDate : "-");
        for (const auto& b : d.bodies) {
            shown += " [" + b.section + "]" + b.origin + "=" + (b.nil ? "NIL" : b.text);
        }
        EXPECT_EQ(shown, c.shown) << c.line;
    }
}

// A server may tell of other messages' changes at any time; the answer asked for is the
// FETCH of our message.
TEST(ImapResponse, FindsTheFetchOfTheMessageAskedFor) {
    const std::vector<ParsedLine> lines = Parse(
        "* 2 FETCH (UID 8 FLAGS (\\Seen))\r\n* 3 FETCH (UID 9 FLAGS ())\r\n"
        "* 4 FETCH (FLAGS (\\Deleted))\r\nAEG1 OK\r\n");
    FetchData d;
    ASSERT_TRUE(FindFetchByUid(lines, 9, d).Ok());
    EXPECT_EQ(d.number, 3u);
    EXPECT_FALSE(d.HasFlag("\\seen"));
    ASSERT_TRUE(FindFetchByUid(lines, 8, d).Ok());
    EXPECT_TRUE(d.HasFlag("\\SEEN"));
    // A FETCH without a UID may be the answer (a server need not repeat the UID).
    ASSERT_TRUE(FindFetchByUid(lines, 5, d).Ok());
    EXPECT_EQ(d.number, 4u);
    ASSERT_TRUE(FindFetchBySequence(lines, 4, d).Ok());
    EXPECT_TRUE(d.HasFlag("\\Deleted"));
    EXPECT_EQ(FindFetchBySequence(lines, 7, d).error, ParseError::kNotFound);
    // A malformed FETCH of another message does not hide ours; without ours it is the
    // reason given.
    const std::vector<ParsedLine> broken =
        Parse("* 2 FETCH (UID x)\r\n* 3 FETCH (UID 9 RFC822.SIZE 77)\r\nAEG1 OK\r\n");
    ASSERT_TRUE(FindFetchByUid(broken, 9, d).Ok());
    EXPECT_EQ(d.size, 77u);
    EXPECT_EQ(FindFetchByUid(broken, 10, d).error, ParseError::kBadResponse);
}

TEST(ImapResponse, MailboxStatus) {
    struct {
        const char* line;
        ParseError error;
        const char* mailbox;
        uint64_t messages, uidnext;
    } cases[] = {
        {"* STATUS INBOX (MESSAGES 231 UIDNEXT 44292)\r\n", ParseError::kNone, "INBOX", 231, 44292},
        {"* STATUS \"Sent Items\" (uidnext 3 messages 0)\r\n", ParseError::kNone, "Sent Items", 0, 3},
        {"* STATUS {5}\r\nA )(B (MESSAGES 1 UIDNEXT 2)\r\n", ParseError::kNone, "A )(B", 1, 2},
        {"* STATUS INBOX (MESSAGES)\r\n", ParseError::kBadResponse, "", 0, 0},
        {"* STATUS INBOX (MESSAGES x)\r\n", ParseError::kBadResponse, "", 0, 0},
        {"* STATUS INBOX MESSAGES 2\r\n", ParseError::kBadResponse, "", 0, 0},
        {"* LIST () \"/\" INBOX\r\n", ParseError::kNotFound, "", 0, 0},
    };
    for (const auto& c : cases) {
        MailboxStatus status;
        ParseResult result = ReadMailboxStatus(Parse(c.line)[0], status);
        EXPECT_EQ(result.error, c.error) << c.line << ": " << result.text;
        if (!result.Ok()) continue;
        EXPECT_EQ(status.mailbox, c.mailbox);
        EXPECT_EQ(status.items["MESSAGES"], c.messages) << c.line;
        EXPECT_EQ(status.items["UIDNEXT"], c.uidnext) << c.line;
    }
}

TEST(ImapResponse, CapabilitiesCodesAndExists) {
    std::vector<std::string> names;
    ASSERT_TRUE(ReadCapabilities(Parse("* CAPABILITY IMAP4rev1 UIDPLUS IDLE\r\nAEG1 OK\r\n"), names).Ok());
    EXPECT_TRUE(HasCapability(names, "uidplus"));
    EXPECT_FALSE(HasCapability(names, "UIDPLUS2"));
    EXPECT_FALSE(HasCapability(names, "CAPABILITY"));
    ASSERT_TRUE(ReadCapabilities(Parse("AEG1 OK [CAPABILITY IMAP4rev1 UIDPLUS] Logged in\r\n"), names).Ok());
    EXPECT_TRUE(HasCapability(names, "UIDPLUS"));
    // The word only in the text is no capability.
    EXPECT_EQ(ReadCapabilities(Parse("* OK UIDPLUS CAPABILITY ready\r\n"), names).error, ParseError::kNotFound);
    EXPECT_EQ(ReadCapabilities(Parse("* CAPABILITY IMAP4rev1 (X)\r\n"), names).error, ParseError::kBadResponse);

    const std::vector<ParsedLine> select = Parse(
        "* 172 EXISTS\r\n* 1 RECENT\r\n* OK [UIDVALIDITY 3857529045] UIDs valid\r\n"
        "* OK [UIDNEXT 4392] Predicted next UID\r\nAEG2 OK [READ-WRITE] done\r\n");
    uint64_t n = 0;
    ASSERT_TRUE(ReadCodeNumber(select, "UIDVALIDITY", n).Ok());
    EXPECT_EQ(n, 3857529045u);
    ASSERT_TRUE(ReadCodeNumber(select, "uidnext", n).Ok());
    EXPECT_EQ(n, 4392u);
    EXPECT_EQ(ReadCodeNumber(select, "HIGHESTMODSEQ", n).error, ParseError::kNotFound);
    EXPECT_EQ(ReadCodeNumber(Parse("* OK [UIDNEXT 4294967296]\r\n"), "UIDNEXT", n).error, ParseError::kBadResponse);
    uint32_t exists = 0;
    ASSERT_TRUE(ReadExists(select, exists).Ok());
    EXPECT_EQ(exists, 172u);
    EXPECT_EQ(ReadExists(Parse("* 1 RECENT\r\nAEG2 OK\r\n"), exists).error, ParseError::kNotFound);
    EXPECT_EQ(ReadExists(Parse("* 99999999999 EXISTS\r\n"), exists).error, ParseError::kBadResponse);
}

TEST(ImapResponse, QuoteEscapesOrRefuses) {
    std::string out;
    EXPECT_TRUE(Quote("pa\"ss\\word", out));
    EXPECT_EQ(out, "\"pa\\\"ss\\\\word\"");
    EXPECT_FALSE(Quote("bad\r\nA1 DELETE INBOX", out));
}

}  // namespace
