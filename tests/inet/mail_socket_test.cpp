// The mail socket: connection set-up, send checks, and replies that end only when
// they are complete.
#include <gtest/gtest.h>

#include "hosts/inet/mail_socket.h"
#include "tests/inet/scripted_server.h"

namespace {

using inet::CMailSocket;
using inet::SocketSettings;
using tess::test::ScriptedServer;

SocketSettings Loopback(int port, int waitMs = 3000) {
    SocketSettings s;
    s.host = "127.0.0.1";
    s.port = port;
    s.waitTimeout = waitMs;
    return s;
}

TEST(MailSocket, SetUpErrors) {
    SocketSettings noPort;
    noPort.host = "127.0.0.1";
    EXPECT_EQ(CMailSocket(noPort).Port(), 80);

    SocketSettings bad = Loopback(25);
    bad.host = "no-such-host.invalid";
    CMailSocket unresolved(bad);
    EXPECT_EQ(unresolved.Connect(), inet::kSockNotStarted);
    ASSERT_EQ(unresolved.Startup(), 0);
    EXPECT_EQ(unresolved.Connect(), inet::kSockBadServer);
    EXPECT_NE(unresolved.LastError().find("no-such-host.invalid"), std::string::npos);

    CMailSocket never(Loopback(25));
    EXPECT_EQ(never.Send("x"), inet::kSockNotConnected);  // even though never started
    std::string reply = "old";
    EXPECT_EQ(never.Receive(reply, false, "+OK"), inet::kSockNotConnected);
    EXPECT_TRUE(reply.empty());
}

TEST(MailSocket, EmptySendTouchesNothing) {
    ScriptedServer server({ScriptedServer::Expect("PING")});
    CMailSocket s(Loopback(server.port()));
    ASSERT_EQ(s.Startup(), 0);
    ASSERT_EQ(s.Connect(), 0);
    EXPECT_EQ(s.Send(""), inet::kSockBadParameter);
    EXPECT_EQ(s.Send("PING\r\n"), 0);
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_EQ(server.received(), std::vector<std::string>{"PING"});
}

// What one reply does on the wire, and what Receive must make of it.
struct ReplyCase {
    const char* name;
    std::vector<ScriptedServer::Step> script;
    const char* terminator;
    int expected;
    const char* text;  // what reply holds afterwards
};

class MailSocketReplies : public testing::TestWithParam<ReplyCase> {};

TEST_P(MailSocketReplies, EndsOnlyWhenComplete) {
    const ReplyCase& c = GetParam();
    ScriptedServer server(c.script);
    CMailSocket s(Loopback(server.port(), 700));
    ASSERT_EQ(s.Startup(), 0);
    ASSERT_EQ(s.Connect(), 0);
    std::string reply;
    EXPECT_EQ(s.Receive(reply, false, c.terminator), c.expected) << s.LastError();
    EXPECT_EQ(reply, c.text);
    server.Finish();
}

using S = ScriptedServer;
INSTANTIATE_TEST_SUITE_P(
    Cases, MailSocketReplies,
    testing::Values(
        // One short status line is complete at once; the later close is never seen.
        ReplyCase{"SingleLine", {S::Send("+OK ready\r\n"), S::Pause(1000), S::Close()}, "+OK", 0,
                  "+OK ready\r\n"},
        // A reply that pauses mid-way is waited for, not cut at the pause.
        ReplyCase{"SlowReply",
                  {S::Send("* 3 EXISTS\r\n"), S::Pause(400), S::Send("* 0 REC"), S::Pause(300),
                   S::Send("ENT\r\nA1 OK done\r\n")},
                  "A1 ",
                  0,
                  "* 3 EXISTS\r\n* 0 RECENT\r\nA1 OK done\r\n"},
        // Silence before the end is a time-out, with what arrived kept.
        ReplyCase{"StallsBeforeStatus", {S::Send("* 3 EXISTS\r\n"), S::Pause(1000)}, "A1 ",
                  inet::kSockTimedOut, "* 3 EXISTS\r\n"},
        ReplyCase{"Nothing", {S::Pause(1000)}, "A1 ", inet::kSockNoData, ""},
        // The peer closing mid-reply is not a success either.
        ReplyCase{"ClosedMidReply", {S::Send("* 3 EXISTS\r\n"), S::Close()}, "A1 ",
                  inet::kSockAborted, "* 3 EXISTS\r\n"},
        // A status line only counts when whole.
        ReplyCase{"PartialStatusLine", {S::Send("A1 OK do"), S::Pause(1000)}, "A1 ",
                  inet::kSockTimedOut, "A1 OK do"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailSocket, ReplySizeIsBounded) {
    ScriptedServer server({S::Send(std::string(10000, 'x')), S::Pause(500)});
    SocketSettings settings = Loopback(server.port());
    settings.maxReply = 4096;
    CMailSocket s(settings);
    ASSERT_EQ(s.Startup(), 0);
    ASSERT_EQ(s.Connect(), 0);
    std::string reply;
    EXPECT_NE(s.Receive(reply, false, "+OK"), 0);
    EXPECT_LE(reply.size(), 4096u);
}

TEST(ReplyEnds, SmtpReplies) {
    struct {
        const char* text;
        bool complete;
    } cases[] = {
        {"220 ready\r\n", true},
        {"250-first\r\n250-second\r\n", false},
        {"250-first\r\n250-second\r\n250 last\r\n", true},
        {"250\r\n", true},
        {"250 last", false},  // no line end yet
        {"25 short\r\n", false},
    };
    for (const auto& c : cases) {
        inet::SmtpReplyEnd end;
        EXPECT_EQ(end.Complete(c.text), c.complete) << c.text;
    }
    // Fed piecewise, as the socket does.
    inet::SmtpReplyEnd end;
    std::string reply = "250-a\r\n";
    EXPECT_FALSE(end.Complete(reply));
    reply += "250 b\r\n";
    EXPECT_TRUE(end.Complete(reply));
}

}  // namespace
