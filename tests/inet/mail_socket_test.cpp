// The mail socket: connection set-up, send checks, and replies that end only when
// they are complete.
#include <gtest/gtest.h>

#include "hosts/inet/mail_socket.h"
#include "tests/inet/scripted_server.h"

namespace {

using inet::CMailSocket;
using inet::SocketSettings;
using inet::test::ScriptedServer;

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
        ReplyCase{"SingleLine", {S::Send("+OK ready\r\n"), S::Pause(1000), S::Close()}, "+OK", 0, "+OK ready\r\n"},
        // A reply that pauses mid-way is waited for, not cut at the pause.
        ReplyCase{"SlowReply",
                  {S::Send("* 3 EXISTS\r\n"), S::Pause(400), S::Send("* 0 REC"), S::Pause(300),
                   S::Send("ENT\r\nA1 OK done\r\n")},
                  "A1 ",
                  0,
                  "* 3 EXISTS\r\n* 0 RECENT\r\nA1 OK done\r\n"},
        // Silence before the end is a time-out, with what arrived kept.
        ReplyCase{"StallsBeforeStatus",
                  {S::Send("* 3 EXISTS\r\n"), S::Pause(1000)},
                  "A1 ",
                  inet::kSockTimedOut,
                  "* 3 EXISTS\r\n"},
        ReplyCase{"Nothing", {S::Pause(1000)}, "A1 ", inet::kSockNoData, ""},
        // The peer closing mid-reply is not a success either.
        ReplyCase{
            "ClosedMidReply", {S::Send("* 3 EXISTS\r\n"), S::Close()}, "A1 ", inet::kSockAborted, "* 3 EXISTS\r\n"},
        // A status line only counts when whole.
        ReplyCase{"PartialStatusLine", {S::Send("A1 OK do"), S::Pause(1000)}, "A1 ", inet::kSockTimedOut, "A1 OK do"}),
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

// A live peer must keep a reply moving: dribbling lines is given up after the grace,
// while a slow but steady transfer and silence before the first byte (bounded by the
// waits and their retries) are not cut.
TEST(MailSocket, ReplyRateIsBounded) {
    std::vector<S::Step> dribble, steady;
    for (int i = 0; i < 60; ++i) {
        dribble.push_back(S::Send("* x\r\n"));
        dribble.push_back(S::Pause(100));
    }
    for (int i = 0; i < 10; ++i) {
        steady.push_back(S::Send("* " + std::string(3000, 'y') + "\r\n"));
        steady.push_back(S::Pause(100));
    }
    steady.push_back(S::Send("A1 OK done\r\n"));
    const std::vector<S::Step> lateStart = {S::Pause(700), S::Send("A1 OK done\r\n")};

    struct {
        const char* name;
        const std::vector<S::Step>& script;
        int expected;
        std::size_t atLeast;  // bytes the reply holds afterwards
    } cases[] = {
        {"dribble", dribble, inet::kSockTimedOut, 5},
        {"steady", steady, inet::kSockOk, 30000},
        {"late start", lateStart, inet::kSockOk, 10},
    };
    for (const auto& c : cases) {
        ScriptedServer server(c.script);
        SocketSettings settings = Loopback(server.port(), 400);
        settings.minRate = 1000;
        settings.rateGrace = 400;
        CMailSocket s(settings);
        ASSERT_EQ(s.Startup(), 0);
        ASSERT_EQ(s.Connect(), 0);
        std::string reply;
        const int rc = s.Receive(reply, true, "A1 ");
        EXPECT_EQ(rc, c.expected) << c.name << ": " << s.LastError();
        EXPECT_GE(reply.size(), c.atLeast) << c.name;
        if (c.expected == inet::kSockTimedOut) {
            EXPECT_NE(s.LastError().find("too slowly"), std::string::npos) << c.name;
            EXPECT_LT(reply.size(), 60u * 5) << c.name << ": waited for the whole dribble";
        }
        s.Close();
        server.Finish();
    }
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
