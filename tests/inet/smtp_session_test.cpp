// The SMTP client against a scripted server: greeting and login, the envelope, and
// what happens when the server refuses a step.
#include <gtest/gtest.h>

#include "common/msg_record.h"
#include "hosts/inet/smtp_session.h"
#include "tests/inet/scripted_server.h"

using tess::CMsg;

namespace {

using inet::CSmtpSession;
using inet::SmtpSettings;
using S = inet::test::ScriptedServer;

SmtpSettings Settings(int port, bool login) {
    SmtpSettings s;
    s.server = "127.0.0.1";
    s.port = port;
    s.waitTimeout = 2000;
    s.separateLogin = login ? 1 : 0;
    s.user = "sam";
    s.password = "open sesame";
    s.displayName = "Sam Sender";
    s.logEnabled = 1;
    return s;
}

CMsg Message() {
    CMsg m;
    m.From = "sam@example.org";
    m.To = "ann@example.org; \"Doe, John\" <john@example.org>";
    m.Bcc = "hidden@example.org";
    m.Subject = "Hello";
    m.Body = "First line\n.hidden dot line\n.\nlast";
    return m;
}

TEST(SmtpSession, AuthLoginAndSendWithOneRefusedRecipient) {
    S server({S::Send("220 mx ready\r\n"),
              S::Expect("EHLO COM"),
              S::Send("250-mx\r\n250-SIZE 1000\r\n250 8BITMIME\r\n"),
              S::Expect("AUTH LOGIN"),
              S::Send("334 VXNlcm5hbWU6\r\n"),
              S::Expect("c2Ft"),
              S::Send("334 UGFzc3dvcmQ6\r\n"),
              S::Expect("b3BlbiBzZXNhbWU="),
              S::Send("235 ok\r\n"),
              S::Expect("MAIL FROM: <sam@example.org>"),
              S::Send("250 ok\r\n"),
              S::Expect("RCPT TO: <ann@example.org>"),
              S::Send("250 ok\r\n"),
              S::Expect("RCPT TO: <john@example.org>"),
              S::Send("550 no such user\r\n"),
              S::Expect("RCPT TO: <hidden@example.org>"),
              S::Send("250 ok\r\n"),
              S::Expect("DATA"),
              S::Send("354 go on\r\n"),
              S::ReadUntil("."),
              S::Send("250 queued\r\n"),
              S::Expect("quit")});
    std::string log;
    SmtpSettings settings = Settings(server.port(), true);
    settings.log = [&](const std::string& line) { log += line + "\n"; };
    CSmtpSession smtp;
    ASSERT_EQ(smtp.Connect(&settings), 0);
    std::string sent;
    CMsg message = Message();
    EXPECT_EQ(smtp.SendMessage(&message, sent), 0);
    smtp.Close();
    ASSERT_TRUE(server.Finish()) << server.failure();

    // The data went out dot-stuffed; the copy handed back is the message as written.
    std::string data;
    for (const auto& entry : server.received()) {
        if (entry.find("Subject: Hello") != std::string::npos) data = entry;
    }
    EXPECT_NE(data.find("\n..hidden dot line\n..\nlast\n"), std::string::npos) << data;
    EXPECT_NE(sent.find("\r\n.hidden dot line\r\n.\r\nlast\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("From: \"Sam Sender\" <sam@example.org>\r\n"), std::string::npos);
    EXPECT_EQ(sent.find("hidden@example.org"), std::string::npos);  // never a header
    // Neither the password nor its encoding reaches the log.
    EXPECT_EQ(log.find("sesame"), std::string::npos);
    EXPECT_EQ(log.find("b3BlbiBzZXNhbWU"), std::string::npos);
    EXPECT_NE(log.find("SMTP SEND:DATA\nSMTP RECV:354"), std::string::npos) << log;
    // The user line is logged as it went out; the password line is not.
    EXPECT_NE(log.find("SMTP SEND:c2Ft\nSMTP RECV:334 UGFzc3dvcmQ6"), std::string::npos) << log;
    EXPECT_NE(log.find("SMTP SEND:AUTH LOGIN\nSMTP RECV:334 VXNlcm5hbWU6"), std::string::npos) << log;
}

TEST(SmtpSession, GreetingAndLoginFailures) {
    {
        // An empty password: EHLO goes out, nothing more is tried.
        S server({S::Send("220 ready\r\n"), S::Expect("EHLO COM"), S::Pause(300)});
        SmtpSettings settings = Settings(server.port(), true);
        settings.password.clear();
        CSmtpSession smtp;
        EXPECT_EQ(smtp.Connect(&settings), inet::kSmtpGreeting);
        server.Finish();
        EXPECT_EQ(server.received().size(), 1u);
    }
    {
        // "235" inside a refusal is not a success.
        S server({S::Send("220 ready\r\n"), S::Expect("EHLO"), S::Send("250 mx\r\n"), S::Expect("AUTH LOGIN"),
                  S::Send("334 x\r\n"), S::Expect("c2Ft"), S::Send("334 y\r\n"), S::Expect("b3Bl"),
                  S::Send("535 5.7.8 error 235\r\n")});
        SmtpSettings settings = Settings(server.port(), true);
        CSmtpSession smtp;
        EXPECT_EQ(smtp.Connect(&settings), inet::kSmtpGreeting);
    }
    {
        S server({S::Send("554 go away\r\n"), S::Pause(300)});
        SmtpSettings settings = Settings(server.port(), false);
        CSmtpSession smtp;
        EXPECT_EQ(smtp.Connect(&settings), inet::kSmtpGreeting);
        EXPECT_FALSE(smtp.IsConnected());
    }
    {
        // A greeting that never ends, one continuation line at a time: given up once it
        // falls under the minimum rate, not waited for line after line.
        std::vector<S::Step> dribble;
        for (int i = 0; i < 100; ++i) {
            dribble.push_back(S::Send("220-still greeting\r\n"));
            dribble.push_back(S::Pause(100));
        }
        S server(dribble);
        SmtpSettings settings = Settings(server.port(), false);
        settings.minRate = 1000;
        settings.rateGrace = 300;
        std::string log;
        settings.log = [&](const std::string& line) { log += line + "\n"; };
        CSmtpSession smtp;
        EXPECT_EQ(smtp.Connect(&settings), inet::kSmtpGreeting);
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_TRUE(server.received().empty());
        EXPECT_NE(log.find("too slowly"), std::string::npos) << log;
        smtp.Close();
        server.Finish();
    }
}

// A refusal at any step of a transaction: the result, and RSET before the next message.
struct Refusal {
    const char* name;
    std::vector<S::Step> steps;
    int expected;
};

class SmtpRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(SmtpRefusals, ResetAfterRefusal) {
    std::vector<S::Step> script = {S::Send("220 ready\r\n"), S::Expect("HELO COM"), S::Send("250 hello\r\n")};
    for (const auto& step : GetParam().steps) script.push_back(step);
    script.push_back(S::Expect("RSET"));
    script.push_back(S::Send("250 reset\r\n"));
    S server(script);
    SmtpSettings settings = Settings(server.port(), false);
    CSmtpSession smtp;
    ASSERT_EQ(smtp.Connect(&settings), 0);
    CMsg message = Message();
    message.Cc.clear();
    message.Bcc.clear();
    message.To = "ann@example.org";
    std::string sent = "untouched";
    EXPECT_EQ(smtp.SendMessage(&message, sent), GetParam().expected);
    EXPECT_EQ(sent, "untouched");
    EXPECT_TRUE(server.Finish()) << server.failure();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SmtpRefusals,
    testing::Values(Refusal{"Sender", {S::Expect("MAIL FROM"), S::Send("553 sender rejected\r\n")}, inet::kSmtpRefused},
                    Refusal{"EveryRecipient",
                            {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT TO"),
                             S::Send("550 unknown\r\n")},
                            inet::kSmtpNoRecipient},
                    // Without 354 the body is never sent: the next line is RSET.
                    Refusal{"Data",
                            {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT TO"), S::Send("250 ok\r\n"),
                             S::Expect("DATA"), S::Send("554 no data\r\n")},
                            inet::kSmtpRefused},
                    Refusal{"FinalReply",
                            {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT TO"), S::Send("250 ok\r\n"),
                             S::Expect("DATA"), S::Send("354 go\r\n"), S::ReadUntil("."), S::Send("552 too big\r\n")},
                            inet::kSmtpRefused}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmtpSession, EnvelopeAddresses) {
    using V = std::vector<std::string>;
    EXPECT_EQ(inet::EnvelopeAddresses("\"Doe, John\" <john@x.org>, a@b.c; Ann <ann@y.org>"),
              (V{"john@x.org", "a@b.c", "ann@y.org"}));
    EXPECT_EQ(inet::EnvelopeAddresses("\"quoted only\", b@c.d"), (V{"b@c.d"}));
    EXPECT_EQ(inet::EnvelopeAddresses(""), V{});
}

TEST(SmtpSession, NotConnectedOrIncomplete) {
    CSmtpSession smtp;
    CMsg message = Message();
    std::string sent;
    EXPECT_EQ(smtp.SendMessage(&message, sent), inet::kSmtpNotConnected);
    EXPECT_EQ(smtp.Connect(nullptr), inet::kSmtpNoSettings);
}

}  // namespace
