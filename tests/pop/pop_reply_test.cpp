// Reading POP3 replies: status, APOP timestamp, multi-line ends, UIDL listings.
#include <gtest/gtest.h>

#include "hosts/pop/pop_reply.h"

namespace {

using pop::UidlEntry;

TEST(PopReply, StatusIsJudgedByTheStartOfTheReply) {
    struct Case {
        const char* reply;
        bool ok;
    } cases[] = {
        {"+OK\r\n", true},
        {"+OK 3 messages\r\n", true},
        {"+ok lower case\r\n", true},
        {"-ERR not ok\r\n", false},  // holds "ok" but is a refusal
        {"-ERR [AUTH] book ok?\r\n", false},
        {" +OK leading blank\r\n", false},
        {"OK\r\n", false},
        {"", false},
        {"+O", false},
    };
    for (const Case& c : cases) EXPECT_EQ(pop::IsOkReply(c.reply), c.ok) << c.reply;
}

TEST(PopReply, ApopTimestampFromTheGreeting) {
    struct Case {
        const char* greeting;
        const char* stamp;
    } cases[] = {
        {"+OK POP3 ready <1896.697170952@dbc.mtview.ca.us>\r\n", "<1896.697170952@dbc.mtview.ca.us>"},
        {"+OK Dovecot ready.\r\n", ""},
        {"+OK ready <unclosed\r\n", ""},
        {"+OK ready > <\r\n", ""},
        {"+OK ready <a b@c>\r\n", ""},         // a blank is not part of a stamp
        {"+OK ready\r\n<next@line>\r\n", ""},  // only the greeting line counts
        {"+OK <first@x> <second@y>\r\n", "<first@x>"},
    };
    for (const Case& c : cases) EXPECT_EQ(pop::ApopTimestamp(c.greeting), c.stamp) << c.greeting;
    EXPECT_EQ(pop::ApopTimestamp("+OK <" + std::string(600, 'a') + ">\r\n"), "");
}

TEST(PopReply, MultiLineEndWaitsForTheTerminatingLine) {
    struct Case {
        std::vector<const char*> chunks;  // arriving one after the other
        int completeAt;                   // index of the chunk that completes; -1 never
    } cases[] = {
        {{"+OK\r\n", "1 a\r\n", ".\r\n"}, 2},
        {{"+OK\r\n1 a\r\n.", "\r\n"}, 1},
        {{"-ERR no\r\n"}, 0},  // a refusal is one line
        {{"-ERR no"}, -1},
        {{"+OK\r\n", "..\r\n", ". \r\n"}, -1},  // stuffed and blank-trailed dots
        {{"+OK\r\n.x\r\n", "\n.\n"}, 1},
        {{"+OK\r\nbody .\r\n", ".\r\n"}, 1},
        {{".\r\n"}, 0},  // the first line is the status
    };
    for (const Case& c : cases) {
        pop::MultiLineEnd end;
        end.Reset();
        std::string reply;
        int at = -1;
        for (std::size_t i = 0; i < c.chunks.size() && at < 0; ++i) {
            reply += c.chunks[i];
            if (end.Complete(reply)) at = static_cast<int>(i);
        }
        EXPECT_EQ(at, c.completeAt) << reply;
    }
}

TEST(PopReply, MultiLineBodyIsUnstuffedAndNeedsItsEnd) {
    std::vector<std::string> lines;
    ASSERT_TRUE(pop::ReadMultiLine("+OK 40 octets\r\nSubject: x\r\n\r\n..dot\r\n...\r\nend\r\n.\r\n", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"Subject: x", "", ".dot", "..", "end"}));

    // Cut short (the server went away mid-message): not a message at all.
    EXPECT_FALSE(pop::ReadMultiLine("+OK\r\nSubject: x\r\n\r\nbody\r\n", lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(pop::ReadMultiLine("+OK\r\nSubject: x\r\n..\r\n", lines));
    EXPECT_FALSE(pop::ReadMultiLine("-ERR no such message\r\n", lines));
    EXPECT_FALSE(pop::ReadMultiLine("", lines));
}

TEST(PopReply, MessageKeepsWhatFollowsANul) {
    using namespace std::string_literals;
    std::vector<std::string> lines;
    ASSERT_TRUE(pop::ReadMessageLines("+OK\r\nSubject: a\0b\r\n\r\n\0before\0\0after\0\r\n.\r\n"s, lines));
    const std::string stand(1, pop::kNulStandIn);
    EXPECT_EQ(lines, (std::vector<std::string>{"Subject: a" + stand + "b", "",
                                               stand + "before" + stand + stand + "after" + stand}));
    // The listing reader is left as it was: an id with a NUL is still no id.
    std::vector<UidlEntry> entries;
    ASSERT_TRUE(pop::ParseUidlListing("+OK\r\n1 a\0b\r\n.\r\n"s, entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(pop::ReadMessageLines("+OK\r\nx\0y\r\n"s, lines));  // cut short
    EXPECT_TRUE(lines.empty());
}

TEST(PopReply, UidlListing) {
    std::vector<UidlEntry> entries;
    ASSERT_TRUE(
        pop::ParseUidlListing("+OK\r\n1 1\r\n2 11\r\n0 zero\r\n3 \r\n4\r\nx5 bad\r\n7 tail  \r\n"
                              "99999999999 big\r\n 8 lead\r\n9 a b\r\n10 c\rd\r\n11 e\x01\r\n.\r\n",
                              entries));
    const std::vector<std::pair<int, std::string>> want = {{1, "1"}, {2, "11"}, {7, "tail"}, {9, "a b"}};
    ASSERT_EQ(entries.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(entries[i].number, want[i].first);
        EXPECT_EQ(entries[i].uidl, want[i].second);
    }

    EXPECT_TRUE(pop::ParseUidlListing("+OK\r\n.\r\n", entries));
    EXPECT_TRUE(entries.empty());
    // A refused or cut listing is a failure, never an empty mailbox.
    EXPECT_FALSE(pop::ParseUidlListing("-ERR ok then\r\n", entries));
    EXPECT_FALSE(pop::ParseUidlListing("+OK\r\n1 a\r\n2 b\r\n", entries));
    EXPECT_TRUE(entries.empty());
}

}  // namespace
