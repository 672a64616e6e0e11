// The relay's SMTP session against scripted servers, for the exact bytes of its mails and
// for what real servers will not do on demand: refusals at each step, a stall, a close in
// the middle of the data. A mail the server could not take is kept and sent later.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/base64.h"
#include "hosts/inet/mime_message.h"
#include "relay/relay_smtp_session.h"
#include "tests/inet/scripted_server.h"
#include "tests/support/test_home.h"

namespace tess::relay::test {

using inet::test::ScriptedServer;
using tess::test::TempHome;

namespace {

using S = ScriptedServer;
using relay::CRelaySmtpSession;
using relay::SmtpOutcome;

relay::RelaySmtpSettings Settings(int port, const std::string& spool = {}) {
    relay::RelaySmtpSettings s;
    s.server = "127.0.0.1";
    s.port = port;
    s.waitTimeoutMs = 1500;
    s.spoolDirectory = spool;
    return s;
}

struct Mail {
    std::string from = "tess@tess.test", to{}, cc{}, bcc{}, subject{}, body{}, names{};
    FilterMessage record() const {
        FilterMessage f{};
        auto p = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        f.senderAddress = p(from);
        f.toRecipients = p(to);
        f.ccRecipients = p(cc);
        f.blindCopies = p(bcc);
        f.subject = p(subject);
        f.body = p(body);
        f.attachmentNames = p(names);
        return f;
    }
};

std::vector<S::Step> Greeting() {
    return {S::Send("220 mx ready\r\n"), S::Expect("HELO COM"), S::Send("250 hello\r\n")};
}

std::vector<S::Step> Join(std::vector<S::Step> a, const std::vector<S::Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One mail the server takes: its sender, each recipient, the data.
std::vector<S::Step> Accepting(const std::vector<std::string>& recipients) {
    std::vector<S::Step> steps = {S::Expect("MAIL FROM: <tess@tess.test>"), S::Send("250 ok\r\n")};
    for (const std::string& r : recipients)
        steps = Join(steps, {S::Expect("RCPT TO: <" + r + ">"), S::Send("250 ok\r\n")});
    return Join(steps, {S::Expect("DATA"), S::Send("354 go\r\n"), S::ReadUntil("."), S::Send("250 queued\r\n")});
}

// The data as the server read it (lines joined by LF, the final "." included).
std::string DataOf(ScriptedServer& server) {
    for (const auto& entry : server.received())
        if (entry.find("\n.\n") != std::string::npos || entry.rfind(".\n") == entry.size() - 2) return entry;
    return {};
}

std::string WithoutDate(std::string text) {
    const size_t date = text.find("Date: ");
    if (date != std::string::npos) text.erase(date, text.find('\n', date) + 1 - date);
    return text;
}

TEST(RelaySmtpSession, WireLayoutOfAMailWithBodyAndAttachment) {
    // Three items: a bare address, a quoted name with a comma and an address, another bare
    // address, separated by a comma and a semicolon.
    S server(Join(Greeting(), Accepting({"ann@x.test", "bob@x.test", "cy@x.test"})));
    CRelaySmtpSession session(Settings(server.port()));
    ASSERT_TRUE(session.Ready());
    const Mail m{.to = "ann@x.test, \"Baker, Bob\" <bob@x.test>; cy@x.test",
                 .subject = "Figures",
                 .body = "Line one\nLine two",
                 .names = "a.bin"};
    ASSERT_TRUE(session.StartMessage(m.record(), false));
    std::string b64;
    Base64Encode("\x00\x01\xff", 3, b64, false);
    session.AddAttachment("a.bin", b64);
    std::string rejected, reply;
    EXPECT_EQ(session.EndMessage(true, rejected, reply), SmtpOutcome::kSent);
    EXPECT_EQ(rejected, "");
    session.Release();
    ASSERT_TRUE(server.Finish()) << server.failure();

    const std::string data = DataOf(server);
    ASSERT_NE(data.find("\nDate: "), std::string::npos) << data;
    EXPECT_EQ(WithoutDate(data),
              "To: ann@x.test, \"Baker, Bob\" <bob@x.test>; cy@x.test\n"
              "Subject: Figures\n"
              "From: <tess@tess.test>\n"
              "Reply-To: <tess@tess.test>\n"
              "X-Mailer: Larkspur C2001.4.00, Corvid, Inc.\n"
              "Mime-Version: 1.0\n"
              "Content-Type: multipart/mixed; boundary=\"====_NextPart_====\"\n"
              "\n"
              "This is a multi-part message in MIME format.\n"
              "--====_NextPart_====\n"
              "Content-Type: text/plain; charset=\"ISO-8859-1\"\n"
              "Content-Transfer-Encoding: 7bit\n"
              "\n"
              "Line one\n"
              "Line two\n"
              "--====_NextPart_====\n"
              "Content-Type: application/octet-stream; name=\"a.bin\"\n"
              "Content-Transfer-Encoding: base64\n"
              "Content-Disposition: attachment; filename=\"a.bin\"\n"
              "\n"
              "AAH/\n"
              "--====_NextPart_====--\n"
              "\n"
              ".\n");
}

TEST(RelaySmtpSession, TextThatCannotTravelAsItStandsIsQuotedPrintableAndComesBackWhole) {
    const std::string longLine(1200, 'x');
    struct Case {
        const char* what;
        std::string body;
        bool encoded;
        const char* charset;
    } cases[] = {
        {"plain lines", "Hello\nthere\n", false, "ISO-8859-1"},
        {"8-bit text", "Caf\xe9 cr\xe8me", true, "ISO-8859-1"},
        {"euro sign and quotes", "\x80 5, \x93quoted\x94", true, "windows-1252"},
        {"a line over 998 characters", "a\n" + longLine + "\nb", true, "ISO-8859-1"},
        {"a blank at a line end", "gone? \nno", true, "ISO-8859-1"},
        {"a stray CR", "one\rtwo", true, "ISO-8859-1"},
        {"a line like the boundary", "--====_NextPart_====\nx", true, "ISO-8859-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRelaySmtpSession session(relay::RelaySmtpSettings{});  // no server: composing only
        Mail m;
        m.to = "ann@x.test";
        m.body = c.body;
        ASSERT_TRUE(session.StartMessage(m.record(), false));
        const std::string text = session.PendingText();
        EXPECT_NE(text.find(std::string("charset=\"") + c.charset + "\""), std::string::npos) << text;
        EXPECT_NE(text.find(c.encoded ? "Transfer-Encoding: quoted-printable" : "Transfer-Encoding: 7bit"),
                  std::string::npos);
        std::string body = text.substr(text.find("\r\n\r\n") + 4);
        for (size_t at = 0; (at = body.find("\r\n", at)) != std::string::npos; at += 2) {
            const size_t next = body.find("\r\n", at + 2);
            EXPECT_LE((next == std::string::npos ? body.size() : next) - (at + 2), c.encoded ? 76u : 998u);
        }
        if (c.encoded) {
            ASSERT_TRUE(inet::CMimeMessage::DecodeQuotedPrintable(body));
        }
        // Line breaks travel as CR LF; read back, every byte and line is the user's.
        for (size_t at = 0; (at = body.find("\r\n", at)) != std::string::npos;) body.erase(at, 1);
        EXPECT_EQ(body, c.body);
    }
}

TEST(RelaySmtpSession, HeaderValuesStayOnOneLineAndEightBitSubjectsAreEncoded) {
    CRelaySmtpSession session(relay::RelaySmtpSettings{});
    Mail m;
    m.to = "ann@x.test\r\nBcc: evil@x.test";
    m.subject = "R\xe9sum\xe9";
    m.body = "";
    ASSERT_TRUE(session.StartMessage(m.record(), false));
    const std::string text = session.PendingText();
    EXPECT_NE(text.find("To: ann@x.test  Bcc: evil@x.test\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: =?ISO-8859-1?B?UulzdW3p?=\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 5), "\r\n\r\n ") << "an empty body is one blank";
}

TEST(RelaySmtpSession, BlindCopiesAloneInTheEnvelopeAndABccLine) {
    S server(Join(Greeting(), Accepting({"hid@x.test"})));
    CRelaySmtpSession session(Settings(server.port()));
    const Mail m{.to = "ann@x.test", .cc = "cy@x.test", .bcc = "hid@x.test", .body = ".leading dot\n..two"};
    ASSERT_TRUE(session.StartMessage(m.record(), true));
    std::string rejected, reply;
    EXPECT_EQ(session.EndMessage(false, rejected, reply), SmtpOutcome::kSent);
    session.Release();
    ASSERT_TRUE(server.Finish()) << server.failure();
    const std::string data = DataOf(server);
    EXPECT_NE(data.find("To: ann@x.test\ncc: cy@x.test\nbcc: hid@x.test\n"), std::string::npos) << data;
    EXPECT_NE(data.find("\n\n..leading dot\n...two\n.\n"), std::string::npos) << "dot-stuffed on the wire: " << data;
}

TEST(RelaySmtpSession, RefusalsAtEachStep) {
    struct Case {
        const char* what;
        std::vector<S::Step> after;  // after the greeting
        SmtpOutcome outcome;
        const char* rejected;
        const char* reply;
    } cases[] = {
        {"one recipient refused, the others delivered",
         {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT TO: <ann@x.test>"), S::Send("250 ok\r\n"),
          S::Expect("RCPT TO: <bob@x.test>"), S::Send("550 5.1.1 no such user\r\n"), S::Expect("RCPT TO: <cy@x.test>"),
          S::Send("250 ok\r\n"), S::Expect("DATA"), S::Send("354 go\r\n"), S::ReadUntil("."), S::Send("250 ok\r\n")},
         SmtpOutcome::kSent,
         "bob@x.test",
         "550 5.1.1 no such user"},
        {"every recipient refused",
         {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT TO"), S::Send("550 no\r\n"),
          S::Expect("RCPT TO"), S::Send("553 never\r\n"), S::Expect("RCPT TO"), S::Send("550 no\r\n"),
          S::Expect("RSET"), S::Send("250 reset\r\n")},
         SmtpOutcome::kRefused,
         "ann@x.test, bob@x.test, cy@x.test",
         "550 no"},
        {"sender refused",
         {S::Expect("MAIL FROM"), S::Send("553 sender not allowed\r\n"), S::Expect("RSET"), S::Send("250 reset\r\n")},
         SmtpOutcome::kRefused,
         "",
         "553 sender not allowed"},
        {"data refused",
         {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"), S::Expect("RCPT"),
          S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"), S::Expect("DATA"),
          S::Send("554 no data for you\r\n"), S::Expect("RSET"), S::Send("250 reset\r\n")},
         SmtpOutcome::kRefused,
         "",
         "554 no data for you"},
        {"end of data refused",
         {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"), S::Expect("RCPT"),
          S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"), S::Expect("DATA"), S::Send("354 go\r\n"),
          S::ReadUntil("."), S::Send("552 too big\r\n"), S::Expect("RSET"), S::Send("250 reset\r\n")},
         SmtpOutcome::kRefused,
         "",
         "552 too big"},
        {"a temporary refusal waits",
         {S::Expect("MAIL FROM"), S::Send("451 try later\r\n"), S::Expect("RSET"), S::Send("250 reset\r\n")},
         SmtpOutcome::kDeferred,
         "",
         "451 try later"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        S server(Join(Greeting(), c.after));
        CRelaySmtpSession session(Settings(server.port(), (home.path() / "spool").string()));
        Mail m;
        m.to = "ann@x.test, bob@x.test";
        m.cc = "cy@x.test";
        m.body = "text";
        ASSERT_TRUE(session.StartMessage(m.record(), false));
        std::string rejected, reply;
        EXPECT_EQ(session.EndMessage(false, rejected, reply), c.outcome);
        EXPECT_EQ(rejected, c.rejected);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(session.SpoolCount(), c.outcome == SmtpOutcome::kDeferred ? 1 : 0);
        session.Release();
        EXPECT_TRUE(server.Finish()) << server.failure();
    }
}

TEST(RelaySmtpSession, NoRecipientsSendsNothingAndNoServerIsNoSession) {
    CRelaySmtpSession none(relay::RelaySmtpSettings{});
    EXPECT_FALSE(none.Ready());
    Mail m;
    EXPECT_FALSE(none.StartMessage(m.record(), false)) << "no To, Cc or blind copies";
    m.to = "\"Only A Name\"";
    ASSERT_TRUE(none.StartMessage(m.record(), false));
    std::string rejected, reply;
    EXPECT_EQ(none.EndMessage(false, rejected, reply), SmtpOutcome::kRefused) << "a name is no address";
    EXPECT_EQ(rejected, "\"Only A Name\"");
}

TEST(RelaySmtpSession, AServerThatClosesMidDataOrStallsLosesNothing) {
    TempHome home;
    const std::string spool = (home.path() / "spool").string();
    Mail m;
    m.to = "ann@x.test";
    m.subject = "Keep me";
    m.body = "every word\n.of it";
    std::string sentText;
    {
        // Closes after half of the data.
        S closing(
            Join(Greeting(), {S::Expect("MAIL FROM"), S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"),
                              S::Expect("DATA"), S::Send("354 go\r\n"), S::ReadBytes(40), S::Close()}));
        CRelaySmtpSession session(Settings(closing.port(), spool));
        ASSERT_TRUE(session.StartMessage(m.record(), false));
        sentText = session.PendingText();
        std::string rejected, reply;
        EXPECT_EQ(session.EndMessage(false, rejected, reply), SmtpOutcome::kDeferred);
        EXPECT_EQ(session.SpoolCount(), 1);
        EXPECT_TRUE(closing.Finish()) << closing.failure();
    }
    {
        // Answers nothing to the envelope.
        S stalling(Join(Greeting(), {S::Expect("MAIL FROM"), S::Pause(2500), S::Close()}));
        CRelaySmtpSession session(Settings(stalling.port(), spool));
        ASSERT_TRUE(session.StartMessage(m.record(), false));
        std::string rejected, reply;
        // The older mail goes first; while it waits, the new one waits behind it.
        EXPECT_EQ(session.EndMessage(false, rejected, reply), SmtpOutcome::kDeferred);
        EXPECT_EQ(session.SpoolCount(), 2);
        stalling.Finish();
    }
    // The server is back: both go, in order, with the bytes they had.
    std::vector<S::Step> back = Greeting();
    for (int i = 0; i < 2; ++i) back = Join(back, Accepting({"ann@x.test"}));
    S good(back);
    relay::RelaySmtpSettings settings = Settings(good.port(), spool);
    CRelaySmtpSession session(settings);
    EXPECT_EQ(session.FlushSpool(), 0);
    EXPECT_EQ(session.SpoolCount(), 0);
    session.Release();
    ASSERT_TRUE(good.Finish()) << good.failure();
    int mails = 0;
    for (const auto& entry : good.received()) {
        if (entry.find("Subject: Keep me") == std::string::npos) continue;
        ++mails;
        std::string lf = WithoutDate(sentText);
        for (size_t at = 0; (at = lf.find("\r\n", at)) != std::string::npos;) lf.replace(at, 2, "\n");
        for (size_t at = 0; (at = lf.find("\n.", at)) != std::string::npos; at += 3) lf.insert(at + 1, ".");
        EXPECT_EQ(WithoutDate(entry), lf + "\n.\n");
    }
    EXPECT_EQ(mails, 2);
}

TEST(RelaySmtpSession, GreetingFailuresLeaveTheSessionNotReady) {
    struct Case {
        const char* what;
        std::vector<S::Step> script;
    } cases[] = {
        {"refused greeting", {S::Send("554 go away\r\n")}},
        {"HELO refused", {S::Send("220 hi\r\n"), S::Expect("HELO COM"), S::Send("502 no\r\n")}},
        {"silent server", {S::Pause(2500)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        S server(c.script);
        CRelaySmtpSession session(Settings(server.port()));
        EXPECT_FALSE(session.Ready());
        server.Finish();
    }
    relay::RelaySmtpSettings nowhere = Settings(1);
    CRelaySmtpSession session(nowhere);
    EXPECT_FALSE(session.Ready());
}

}  // namespace
}  // namespace tess::relay::test
