// The test mail servers themselves: logins over IMAP and POP3 (USER/PASS and APOP), and
// mail submitted over SMTP with AUTH LOGIN reaching the recipient's mailbox.
#include "tests/servers/server_fixture.h"

#include <gtest/gtest.h>

#include <regex>

namespace tess::test {
namespace {

using MailServersTestSuite = MailServersTest;

bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

TEST_F(MailServersTestSuite, ImapLoginAcceptsOnlyTheRightPassword) {
    struct Case {
        std::string user, password;
        bool ok;
    } cases[] = {
        {servers().user(), servers().password(), true},   {servers().user2(), servers().password2(), true},
        {servers().user(), servers().password2(), false}, {servers().user(), "", false},
        {"nobody-here", servers().password(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user + " / " + c.password);
        LineClient imap(servers().imapPort());
        EXPECT_TRUE(startsWith(imap.readLine(), "* OK"));
        auto reply = imap.imapCommand("a1", "LOGIN \"" + c.user + "\" \"" + c.password + "\"");
        EXPECT_TRUE(startsWith(reply.back(), c.ok ? "a1 OK" : "a1 NO")) << reply.back();
    }
}

TEST_F(MailServersTestSuite, ImapListsSpecialUseFolders) {
    LineClient imap(servers().imapPort());
    imap.readLine();
    ASSERT_TRUE(
        startsWith(imap.imapCommand("a1", "LOGIN " + servers().user() + " " + servers().password()).back(), "a1 OK"));
    auto lines = imap.imapCommand("a2", "LIST \"\" \"*\"");
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    for (const char* use : {"\\Sent) \"/\" Sent", "\\Trash) \"/\" Trash", "\\Drafts) \"/\" Drafts"})
        EXPECT_NE(all.find(use), std::string::npos) << use << " missing in\n" << all;
}

TEST_F(MailServersTestSuite, Pop3UserPassLogin) {
    struct Case {
        std::string password;
        bool ok;
    } cases[] = {{servers().password(), true}, {"wrong", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        LineClient pop(servers().pop3Port());
        std::string greeting = pop.readLine();
        EXPECT_TRUE(startsWith(greeting, "+OK"));
        // The plain instance offers no APOP, so its greeting has no timestamp.
        EXPECT_EQ(greeting.find('<'), std::string::npos) << greeting;
        EXPECT_TRUE(startsWith(pop.command("USER " + servers().user()), "+OK"));
        EXPECT_TRUE(startsWith(pop.command("PASS " + c.password), c.ok ? "+OK" : "-ERR"));
    }
}

TEST_F(MailServersTestSuite, Pop3ApopLogin) {
    struct Case {
        std::string password;
        bool ok;
    } cases[] = {{servers().password2(), true}, {servers().password(), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        LineClient pop(servers().pop3ApopPort());
        std::string greeting = pop.readLine();
        std::smatch m;
        ASSERT_TRUE(std::regex_search(greeting, m, std::regex("<[^>]+>"))) << greeting;
        std::string reply = pop.command("APOP " + servers().user2() + " " + md5Hex(m.str() + c.password));
        EXPECT_TRUE(startsWith(reply, c.ok ? "+OK" : "-ERR")) << reply;
    }
}

// Runs an SMTP exchange line by line; returns the last reply line of each step.
std::string smtpStep(LineClient& smtp, const std::string& line) {
    smtp.sendLine(line);
    return smtp.smtpReply();
}

TEST_F(MailServersTestSuite, SubmittedMailIsReadableOverImap) {
    const std::string head = "From: <" + servers().address(servers().user()) +
                             ">\r\n"
                             "To: <" +
                             servers().address(servers().user2()) +
                             ">\r\n"
                             "Subject: servers check 7f3a\r\n"
                             "\r\n"
                             "first line\r\n";
    // On the wire the dotted line is stuffed; the stored message must not be.
    const std::string message = head + ".a line that starts with a dot\r\n";
    {
        LineClient smtp(servers().smtpPort());
        ASSERT_TRUE(startsWith(smtp.smtpReply(), "220"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, "EHLO client.test"), "250"));
        // Without AUTH the server refuses to take mail.
        EXPECT_TRUE(startsWith(smtpStep(smtp, "MAIL FROM:<" + servers().address(servers().user()) + ">"), "530"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, "AUTH LOGIN"), "334"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, base64(servers().user())), "334"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, base64(servers().password())), "235"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, "MAIL FROM:<" + servers().address(servers().user()) + ">"), "250"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, "RCPT TO:<" + servers().address(servers().user2()) + ">"), "250"));
        ASSERT_TRUE(startsWith(smtpStep(smtp, "DATA"), "354"));
        smtp.send(head + "..a line that starts with a dot\r\n.\r\n");
        ASSERT_TRUE(startsWith(smtp.smtpReply(), "250"));
        EXPECT_TRUE(startsWith(smtpStep(smtp, "QUIT"), "221"));
    }
    auto captured = servers().captured();
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_EQ(captured[0], message);

    LineClient imap(servers().imapPort());
    imap.readLine();
    ASSERT_TRUE(
        startsWith(imap.imapCommand("a1", "LOGIN " + servers().user2() + " " + servers().password2()).back(), "a1 OK"));
    auto select = imap.imapCommand("a2", "SELECT INBOX");
    ASSERT_TRUE(startsWith(select.back(), "a2 OK"));
    EXPECT_NE(std::find(select.begin(), select.end(), "* 1 EXISTS"), select.end());
    auto fetch = imap.imapCommand("a3", "FETCH 1 BODY.PEEK[]");
    ASSERT_TRUE(startsWith(fetch.back(), "a3 OK"));
    std::string all;
    for (const auto& l : fetch) all += l + "\r\n";
    EXPECT_NE(all.find("Subject: servers check 7f3a\r\n"), std::string::npos) << all;
    EXPECT_NE(all.find("\r\n.a line that starts with a dot\r\n"), std::string::npos) << all;
}

TEST_F(MailServersTestSuite, SmtpChecksPasswordsAndRefusesRecipients) {
    servers().refuseRecipient("full@tess.test", "452 4.2.2 Mailbox full");
    servers().refuseRecipient(servers().address(servers().user2()));
    struct Case {
        std::string rcpt, code;
    } cases[] = {
        {"full@tess.test", "452"},         {servers().address(servers().user2()), "550"},
        {"no-such-user@tess.test", "550"}, {servers().address(servers().user()), "250"},
        {"someone@elsewhere.test", "250"},
    };
    LineClient smtp(servers().smtpPort());
    smtp.smtpReply();
    smtpStep(smtp, "EHLO client.test");
    ASSERT_TRUE(startsWith(smtpStep(smtp, "AUTH LOGIN " + base64(servers().user())), "334"));
    EXPECT_TRUE(startsWith(smtpStep(smtp, base64("wrong")), "535"));
    ASSERT_TRUE(startsWith(smtpStep(smtp, "AUTH PLAIN " + base64(std::string("\0", 1) + servers().user() +
                                                                 std::string("\0", 1) + servers().password())),
                           "235"));
    ASSERT_TRUE(startsWith(smtpStep(smtp, "MAIL FROM:<>"), "250"));
    for (const auto& c : cases) EXPECT_TRUE(startsWith(smtpStep(smtp, "RCPT TO:<" + c.rcpt + ">"), c.code)) << c.rcpt;
}

}  // namespace
}  // namespace tess::test
