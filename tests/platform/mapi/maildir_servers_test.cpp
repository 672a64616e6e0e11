// The Maildir backing against real mail software: the test Dovecot and SMTP server share
// the user's Maildir with the store.
#include "tests/platform/mapi/mapi_test_support.h"
#include "tests/servers/server_fixture.h"

#include <poll.h>

#include <chrono>
#include <set>
#include <thread>

namespace platform::mapi::test {

using tess::test::LineClient;
using tess::test::MailServersTest;
using tess::test::base64;

namespace {

struct Counter : IMAPIAdviseSink {
    std::vector<NOTIFICATION> seen;
    ULONG OnNotify(const std::vector<NOTIFICATION>& n) override {
        seen.insert(seen.end(), n.begin(), n.end());
        return 0;
    }
};

class MaildirWithServers : public MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        platform::mapi::Profile p = workProfile();
        p.maildir = servers().maildir().string();
        p.smtpUrl = "smtp://127.0.0.1:" + std::to_string(servers().smtpPort());
        p.smtpUser = servers().user();
        p.smtpPassword = servers().password();
        p.identity = {"Tess User", "SMTP", servers().address(servers().user()), {}};
        env = std::make_unique<StoreEnv>(BackingKind::Maildir, p);
        ASSERT_TRUE(env->store);
    }
    void TearDown() override { env.reset(); }

    // Sends a message through the test SMTP server as the first user.
    void sendOverSmtp(const std::string& to, const std::string& message) {
        LineClient smtp(servers().smtpPort());
        smtp.smtpReply();
        smtp.sendLine("EHLO client.test");
        smtp.smtpReply();
        smtp.sendLine("AUTH PLAIN " +
                      base64(std::string(1, '\0') + servers().user() + std::string(1, '\0') + servers().password()));
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "235");
        smtp.sendLine("MAIL FROM:<" + servers().address(servers().user()) + ">");
        smtp.smtpReply();
        smtp.sendLine("RCPT TO:<" + to + ">");
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "250");
        smtp.sendLine("DATA");
        smtp.smtpReply();
        smtp.send(message + ".\r\n");
        ASSERT_EQ(smtp.smtpReply().substr(0, 3), "250");
    }

    // Runs the caller's side of the event loop until `count` notifications came or the
    // time is up.
    void pump(Counter& sink, size_t count, std::chrono::milliseconds limit) {
        const int fd = HrNotificationFd(env->session.get());
        ASSERT_GE(fd, 0);
        auto end = std::chrono::steady_clock::now() + limit;
        while (sink.seen.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 100);
            HrDispatchNotifications(env->session.get());
        }
    }

    std::vector<std::string> imap(LineClient& c, const std::string& tag, const std::string& cmd) {
        auto lines = c.imapCommand(tag, cmd);
        EXPECT_EQ(lines.back().substr(0, tag.size() + 3), tag + " OK") << cmd << ": " << lines.back();
        return lines;
    }

    std::unique_ptr<StoreEnv> env;
};

TEST_F(MaildirWithServers, DeliveredMailRaisesOneNotificationAndKeepsItsIdThroughImapRenames) {
    auto sink = std::make_shared<Counter>();
    ULONG connection = 0;
    ASSERT_EQ(env->store->Advise(env->folderId(0), fnevNewMail, sink, &connection), S_OK);
    sendOverSmtp(servers().address(servers().user()), "Subject: watch me\r\n\r\nhello\r\n");
    pump(*sink, 1, std::chrono::seconds(10));
    ASSERT_EQ(sink->seen.size(), 1u);
    pump(*sink, 2, std::chrono::milliseconds(500));  // nothing more comes
    EXPECT_EQ(sink->seen.size(), 1u);

    const EntryId id = sink->seen[0].entryId;
    auto m = env->open(id);
    ASSERT_TRUE(m);
    std::vector<SPropValue> v;
    m->GetProps({PR_SUBJECT, PR_MESSAGE_FLAGS}, 0, v);
    EXPECT_EQ(v[0].str, "watch me");
    EXPECT_EQ(v[1].l & MSGFLAG_READ, 0);

    // Dovecot moves the file from new/ to cur/ and renames it for \Seen.
    LineClient c(servers().imapPort());
    c.readLine();
    imap(c, "a1", "LOGIN " + servers().user() + " " + servers().password());
    imap(c, "a2", "SELECT INBOX");
    imap(c, "a3", "STORE 1 +FLAGS (\\Seen)");
    // The store's own files in the Maildir (its sidecar) are no folders to the server.
    auto list = imap(c, "a4", "LIST \"\" \"*\"");
    std::set<std::string> names;
    for (const auto& l : list)
        if (l.rfind("* LIST", 0) == 0) names.insert(l.substr(l.rfind(' ') + 1));
    EXPECT_EQ(names, (std::set<std::string>{"INBOX", "Sent", "Trash", "Drafts", "Outbox"}));
    imap(c, "a5", "LOGOUT");
    auto again = env->open(id);
    ASSERT_TRUE(again) << "the entry id no longer opens after the server renamed the file";
    again->GetProps({PR_SUBJECT, PR_MESSAGE_FLAGS}, 0, v);
    EXPECT_EQ(v[0].str, "watch me");
    EXPECT_NE(v[1].l & MSGFLAG_READ, 0);
    // The rename is not new mail.
    pump(*sink, 2, std::chrono::milliseconds(300));
    EXPECT_EQ(sink->seen.size(), 1u);
}

TEST_F(MaildirWithServers, SubmittedMailArrivesLeavesSentCopyAndRefusalsComeBackAsReports) {
    const std::string refused = "bounce@tess.test";
    servers().refuseRecipient(refused, "550 5.1.1 <bounce@tess.test>: Recipient address rejected");
    auto outbox = env->folder(PR_IPM_OUTBOX_ENTRYID);
    std::shared_ptr<IMessage> m;
    ASSERT_EQ(outbox->CreateMessage(0, m), S_OK);
    m->SetProps({SPropValue::String(PR_SUBJECT, "from the store \xE9"), SPropValue::String(PR_BODY, "body line\r\n")});
    ADRLIST list;
    list.aEntries = {recipient("Second", servers().address(servers().user2()), MAPI_TO),
                     recipient("Bounce", refused, MAPI_CC)};
    m->ModifyRecipients(0, list);
    ASSERT_EQ(m->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    ASSERT_EQ(m->SubmitMessage(FORCE_SUBMIT), S_OK);

    // The recipient's mailbox has it (over IMAP), with the subject's text intact.
    LineClient c(servers().imapPort());
    c.readLine();
    imap(c, "a1", "LOGIN " + servers().user2() + " " + servers().password2());
    auto select = imap(c, "a2", "SELECT INBOX");
    EXPECT_NE(std::find(select.begin(), select.end(), "* 1 EXISTS"), select.end());
    auto fetch = imap(c, "a3", "FETCH 1 BODY.PEEK[]");
    std::string all;
    for (const auto& l : fetch) all += l + "\n";
    EXPECT_NE(all.find("Subject: from the store =?UTF-8?B?w6k=?="), std::string::npos) << all;  // é in UTF-8
    EXPECT_NE(all.find("body line"), std::string::npos) << all;
    EXPECT_EQ(all.find("Bcc"), std::string::npos);

    // A Sent copy, read; the Outbox is empty.
    auto sent = env->rows(*env->folder(PR_IPM_SENTMAIL_ENTRYID), {PR_SUBJECT, PR_MESSAGE_FLAGS});
    ASSERT_EQ(sent.cRows(), 1u);
    EXPECT_EQ(sent.aRow[0].lpProps[0].str, "from the store \xE9");
    EXPECT_NE(sent.aRow[0].lpProps[1].l & MSGFLAG_READ, 0);
    EXPECT_EQ(env->rows(*outbox, {PR_SUBJECT}).cRows(), 0u);

    // The refused recipient: a delivery report in the Inbox naming it and the reason.
    auto inbox = env->rows(*env->folder(0), {PR_ENTRYID, PR_MESSAGE_CLASS});
    ASSERT_EQ(inbox.cRows(), 1u);
    EXPECT_EQ(inbox.aRow[0].lpProps[1].str, "REPORT.IPM.Note.NDR");
    std::shared_ptr<IMAPITable> t;
    env->open(inbox.aRow[0].lpProps[0].bin)->GetRecipientTable(0, t);
    SRowSet rows;
    t->SetColumns({PR_EMAIL_ADDRESS, PR_REPORT_TEXT}, 0);
    t->QueryRows(10, 0, rows);
    ASSERT_EQ(rows.cRows(), 1u);
    EXPECT_EQ(rows.aRow[0].lpProps[0].str, refused);
    EXPECT_EQ(rows.aRow[0].lpProps[1].str, "550 5.1.1 <bounce@tess.test>: Recipient address rejected");
}

TEST_F(MaildirWithServers, ServerDeliveryStatusMailReadsAsReport) {
    const std::string me = servers().address(servers().user());
    sendOverSmtp(me,
                 "From: Mail Delivery Subsystem <MAILER-DAEMON@tess.test>\r\n"
                 "To: " +
                     me +
                     "\r\n"
                     "Subject: Undelivered Mail Returned to Sender\r\n"
                     "MIME-Version: 1.0\r\n"
                     "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b1\"\r\n"
                     "\r\n"
                     "--b1\r\nContent-Type: text/plain\r\n\r\nYour message could not be delivered.\r\n"
                     "--b1\r\nContent-Type: message/delivery-status\r\n\r\n"
                     "Reporting-MTA: dns; tess.test\r\n\r\n"
                     "Final-Recipient: rfc822; gone@far.test\r\nAction: failed\r\nStatus: 5.1.1\r\n"
                     "Diagnostic-Code: smtp; 550 5.1.1 user unknown\r\n"
                     "--b1--\r\n");
    SRowSet rows;
    for (int i = 0; i < 50 && rows.cRows() == 0; ++i) {
        rows = env->rows(*env->folder(0), {PR_ENTRYID, PR_MESSAGE_CLASS, PR_SENDER_NAME});
        if (!rows.cRows()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(rows.cRows(), 1u);
    EXPECT_EQ(rows.aRow[0].lpProps[1].str, "REPORT.IPM.Note.NDR");
    EXPECT_EQ(rows.aRow[0].lpProps[2].str, "Mail Delivery Subsystem");
    std::shared_ptr<IMAPITable> t;
    env->open(rows.aRow[0].lpProps[0].bin)->GetRecipientTable(0, t);
    SRowSet recips;
    t->SetColumns({PR_EMAIL_ADDRESS, PR_REPORT_TEXT}, 0);
    t->QueryRows(10, 0, recips);
    ASSERT_EQ(recips.cRows(), 1u);
    EXPECT_EQ(recips.aRow[0].lpProps[0].str, "gone@far.test");
    EXPECT_EQ(recips.aRow[0].lpProps[1].str, "550 5.1.1 user unknown");
}

}  // namespace
}  // namespace platform::mapi::test
