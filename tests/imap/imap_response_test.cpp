// Reading IMAP responses: completion, status, literals and the untagged lines we use.
#include <gtest/gtest.h>

#include "hosts/imap/imap_response.h"

namespace {

using namespace imap;

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
    };
    for (const auto& c : cases) {
        ImapReplyEnd end("AEG1", c.continuation);
        EXPECT_EQ(end.Complete(c.reply), c.complete) << c.reply;
    }
    // Piecewise, split inside the literal.
    ImapReplyEnd end("AEG1");
    std::string reply = "* 1 FETCH (BODY[] {14}\r\nAEG1 O";
    EXPECT_FALSE(end.Complete(reply));
    reply += "K fake\r\n)\r\n";
    EXPECT_FALSE(end.Complete(reply));
    reply += "AEG1 OK real\r\n";
    EXPECT_TRUE(end.Complete(reply));
}

TEST(ImapResponse, StatusIsTheTaggedLineItself) {
    struct {
        const char* reply;
        TaggedStatus status;
    } cases[] = {
        {"* 2 EXISTS\r\nAEG1 OK SELECT completed\r\n", TaggedStatus::kOk},
        {"AEG1 NO [ALERT] not OK at all\r\n", TaggedStatus::kNo},
        {"AEG1 BAD syntax\r\n", TaggedStatus::kBad},
        {"* BYE AEG1 OK\r\n", TaggedStatus::kMissing},
        {"AEG12 OK not ours\r\n", TaggedStatus::kMissing},
        {"* 1 FETCH (BODY[] {12}\r\nAEG1 OK x\r\n)\r\nAEG1 NO y\r\n", TaggedStatus::kNo},
    };
    for (const auto& c : cases) {
        std::vector<ResponseLine> lines;
        ParseResponse(c.reply, lines);
        EXPECT_EQ(StatusOf(lines, "AEG1"), c.status) << c.reply;
    }
}

TEST(ImapResponse, LiteralsAreTakenByTheirCount) {
    std::vector<ResponseLine> lines;
    ASSERT_TRUE(ParseResponse(
        "* 7 FETCH (UID 42 BODY[] {8}\r\nab\r\n)\r\nz)\r\nAEG3 OK\r\n", lines));
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].literals.size(), 1u);
    EXPECT_EQ(lines[0].literals[0], "ab\r\n)\r\nz");
    std::string literal;
    EXPECT_TRUE(FetchLiteral(lines, literal));
    uint64_t uid = 0;
    EXPECT_TRUE(FetchNumber(lines, "UID", uid));
    EXPECT_EQ(uid, 42u);

    // A count that runs past the data is reported, not read beyond.
    EXPECT_FALSE(ParseResponse("* 1 FETCH (BODY[] {999}\r\nshort\r\n", lines));
    EXPECT_FALSE(ParseResponse("* 1 FETCH (BODY[] {99999999999999}\r\n", lines));
}

TEST(ImapResponse, ListLines) {
    struct {
        const char* line;
        bool ok;
        const char* name;
        const char* flags;
    } cases[] = {
        {"* LIST (\\HasNoChildren) \".\" \"INBOX.Sent\"", true, "INBOX.Sent", "\\hasnochildren"},
        {"* LIST () \"/\" Drafts", true, "Drafts", ""},
        {"* LIST (\\Noselect) NIL \"\"", false, "", "\\noselect"},
        {"* LIST (\\Sent) \"/\" \"My \\\"Quoted\\\" \\\\Box\"", true, "My \"Quoted\" \\Box",
         "\\sent"},
        {"* LSUB () \"/\" Drafts", false, "", ""},
        {"* LIST (\\HasNoChildren", false, "", ""},
    };
    for (const auto& c : cases) {
        std::vector<ResponseLine> lines;
        ParseResponse(c.line, lines);
        ListEntry entry;
        EXPECT_EQ(ParseListLine(lines[0], entry), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(entry.name, c.name);
        }
    }
    std::vector<ResponseLine> lines;
    ParseResponse("* LIST () \"/\" {7}\r\nWeird B\r\nAEG1 OK\r\n", lines);
    ListEntry entry;
    ASSERT_TRUE(ParseListLine(lines[0], entry));
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
    };
    for (const auto& c : cases) {
        std::vector<ResponseLine> lines;
        ParseResponse(c.reply, lines);
        std::vector<uint32_t> uids;
        EXPECT_EQ(ParseSearch(lines, uids, 3), c.found) << c.reply;
        EXPECT_EQ(uids, c.uids) << c.reply;
    }
}

TEST(ImapResponse, QuoteEscapesOrRefuses) {
    std::string out;
    EXPECT_TRUE(Quote("pa\"ss\\word", out));
    EXPECT_EQ(out, "\"pa\\\"ss\\\\word\"");
    EXPECT_FALSE(Quote("bad\r\nA1 DELETE INBOX", out));
}

}  // namespace
