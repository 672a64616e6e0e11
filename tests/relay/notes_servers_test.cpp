// The relay's scenario in Notes mode on real software: mail in the user's Notes mail file is
// forwarded through mail.box, and the stand-in's router hands it to the test SMTP server;
// a control mail's request leaves the same way. Faults: mail.box away (the forward is kept
// and handed over later), the SMTP server unreachable (the router keeps the note and sends
// it once when the server is back).
#include <algorithm>

#include "tests/relay/notes_mode_support.h"
#include "relay/relay_util.h"
#include "tests/servers/server_fixture.h"

namespace tess::relay::test {

using tess::test::MailServers;

namespace {

class NotesRelayOnServers : public NotesModeFixture {
protected:
    static void SetUpTestSuite() {
        if (!servers_) servers_ = std::make_unique<MailServers>();
    }
    static void TearDownTestSuite() { servers_.reset(); }

    void SetUp() override {
        servers_->reset();
        wireless = servers_->address(servers_->user2());
        NotesModeFixture::SetUp();
        useSmtp(servers_->smtpPort());
    }

    void useSmtp(int port) {
        std::string error;
        ASSERT_TRUE(platform::notes::setSmtpRelay(
            inst, {"smtp://127.0.0.1:" + std::to_string(port), servers_->user(), servers_->password()}, error))
            << error;
    }

    // The messages the SMTP server took that went to `to`.
    std::vector<std::string> capturedFor(const std::string& to) {
        std::vector<std::string> out;
        for (const std::string& m : servers_->captured())
            if (m.find("\r\nTo: " + to) != std::string::npos || m.rfind("To: " + to, 0) == 0) out.push_back(m);
        return out;
    }
    static std::string headerOf(const std::string& message, const std::string& name) {
        const std::string head = "\r\n" + message.substr(0, message.find("\r\n\r\n"));
        const size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) return {};
        const size_t from = at + name.size() + 4 - 2;
        return message.substr(from, message.find("\r\n", from) - from);
    }
    static std::string bodyOf(const std::string& message) {
        const size_t at = message.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : message.substr(at + 4);
    }

    static std::unique_ptr<MailServers> servers_;
};

std::unique_ptr<MailServers> NotesRelayOnServers::servers_;

TEST_F(NotesRelayOnServers, ForwardsNewNotesAndObeysControlMailsThroughTheRouter) {
    startNotes();
    const NOTEID figures = noteMail("Quarterly figures", "The figures are in.\r\nRegards");
    auto routed = platform::notes::routeMail(inst);
    EXPECT_EQ(routed.sent, 1) << routed.error;
    auto forwards = capturedFor(wireless);
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_EQ(headerOf(forwards[0], "From"), me);
    std::string subject;
    ASSERT_TRUE(handheld->unseal(Unbraced(headerOf(forwards[0], "Subject")), subject));
    EXPECT_EQ(std::string(subject.c_str()), "Quarterly figures");
    std::string body = bodyOf(forwards[0]);
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
    const ForwardBody f = parseForward(body);
    EXPECT_NE(f.header.find("From: alice@example.test\r\n"), std::string::npos) << f.header;
    EXPECT_NE(f.header.find("Subject: Quarterly figures\r\n\r\n"), std::string::npos) << f.header;
    ASSERT_EQ(f.rest.back(), '{');
    std::string text;
    ASSERT_TRUE(handheld->unseal(f.rest.substr(0, f.rest.size() - 1), text));
    EXPECT_EQ(std::string(text.c_str()), "The figures are in.\r\nRegards") << "the body as the note carried it";
    EXPECT_TRUE(noteExists(figures));

    // A control mail from the handheld: its request leaves through the router (to an
    // address outside the Notes domain; here the handheld's own).
    const std::string bob = wireless;
    const NOTEID control =
        noteMail("???E-N-2    Wayfarer Message - Do Not Delete",
                 handheld->seal("To: <" + bob + ">\r\nSubject: Sent from the road\r\n\r\nHello from the handheld"),
                 wireless, {{me, MAPI_TO}});
    EXPECT_FALSE(noteExists(control)) << "the control mail is removed";
    routed = platform::notes::routeMail(inst);
    EXPECT_EQ(routed.sent, 1) << routed.error;
    const auto sent = capturedFor(bob);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(headerOf(sent[1], "Subject"), "Sent from the road");
    EXPECT_EQ(headerOf(sent[1], "From"), me);
    EXPECT_EQ(relay::Trimmed(bodyOf(sent[1])), "Hello from the handheld");

    // A control mail sealed with another key: logged, removed, nothing sent.
    HandheldSeal stranger(NewKeyRecord());
    const NOTEID forged = noteMail("???E-N-2    Wayfarer Message - Do Not Delete",
                                   stranger.seal("To: <" + bob + ">\r\n\r\nx"), wireless, {{me, MAPI_TO}});
    EXPECT_FALSE(noteExists(forged));
    EXPECT_TRUE(mailBox().empty());
    bool warned = false;
    for (const auto& e : logEntries())
        warned = warned || e.find("Unable to decode control message") != std::string::npos;
    EXPECT_TRUE(warned);
    EXPECT_EQ(servers_->captured().size(), 2u);
}

TEST_F(NotesRelayOnServers, NothingIsLostOrSentTwiceWhenMailBoxOrTheServerIsAway) {
    startNotes();
    // mail.box away: the forward waits in the relay.
    fs::rename(inst.dataDir / "mail.box", inst.dataDir / "mail.box.away");
    noteMail("While mail.box was away", "one");
    EXPECT_FALSE(watcher->RetryPendingForwards());
    fs::rename(inst.dataDir / "mail.box.away", inst.dataDir / "mail.box");

    // The SMTP server unreachable: the note stays in mail.box.
    useSmtp(1);
    EXPECT_TRUE(watcher->RetryPendingForwards());
    noteMail("While the server was away", "two");
    auto routed = platform::notes::routeMail(inst);
    EXPECT_EQ(routed.sent, 0);
    EXPECT_EQ(routed.failed, 2);
    EXPECT_EQ(mailBox().size(), 2u);
    EXPECT_TRUE(capturedFor(wireless).empty());

    useSmtp(servers_->smtpPort());
    routed = platform::notes::routeMail(inst);
    EXPECT_EQ(routed.sent, 2) << routed.error;
    EXPECT_TRUE(watcher->RetryPendingForwards());
    routed = platform::notes::routeMail(inst);
    EXPECT_EQ(routed.sent, 0) << "nothing twice";
    std::vector<std::string> subjects;
    for (const auto& m : capturedFor(wireless)) {
        std::string plain;
        ASSERT_TRUE(handheld->unseal(Unbraced(headerOf(m, "Subject")), plain));
        subjects.push_back(plain.c_str());
    }
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"While mail.box was away", "While the server was away"}));
}

}  // namespace
}  // namespace tess::relay::test
