// The POP host's exports against the private Dovecot (POP3 with and without APOP, UIDL =
// the IMAP UID) and SMTP server: logon, exact ids, fetch, attachments, deletion, send.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/msg_record.h"
#include "hosts/pop/fenwick.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/servers/server_fixture.h"
#include "tests/support/test_home.h"

using tess::AttachmentTable;
using tess::CMsg;
using tess::FreeMailMsgBlock;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::PopLogonRecord;

namespace {

std::string RecentDate(int daysAgo) {
    char text[64];
    std::time_t when = std::time(nullptr) - daysAgo * 86400L;
    std::tm tm{};
    gmtime_r(&when, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return text;
}

std::string Mail(const std::string& subject, const std::string& date = RecentDate(1)) {
    return "From: Ann <ann@tess.test>\r\nTo: tess@tess.test\r\nSubject: " + subject + "\r\nDate: " + date +
           "\r\n\r\nBody of " + subject + ".\r\n";
}

std::string Text(const void* bytes, int length) {
    return std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

class FenwickServers : public tess::test::MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        platform::syncmgr::clearCapturedLog();
        record_ = PopLogonRecord{};
        record_.server = servers().host().c_str();
        record_.port = servers().pop3Port();
        record_.smtpServer = servers().host().c_str();
        record_.smtpPort = servers().smtpPort();
        record_.user = servers().user().c_str();
        record_.password = servers().password().c_str();
        record_.emailAddress = "Tess";
        record_.accountName = "Tess POP";
        record_.downloadAttachments = 1;
        record_.serverUsable = 1;
        ASSERT_EQ(Initialize(), 0);
    }
    void TearDown() override {
        Logoff();
        Uninitialize();
    }

    // Stores a message in the user's Inbox through IMAP; POP sees it with UIDL = its UID.
    void Append(const std::string& text) {
        if (!imap_)
            imap_ =
                std::make_unique<tess::test::ImapAdmin>(servers().imapPort(), servers().user(), servers().password());
        const auto appended = imap_->Append("INBOX", "", text);
        ASSERT_EQ(appended.continuation.substr(0, 1), "+");
        ASSERT_NE(appended.status.find(" OK"), std::string::npos) << appended.status;
    }

    // The ids a fresh POP session lists (the server's own view, through the host).
    std::vector<std::string> ServerIds() {
        Uninitialize();
        Initialize();
        EXPECT_EQ(Logon(&record_, 0, 0), 0);
        MailMsg** list = nullptr;
        int count = 0;
        EXPECT_EQ(GetMsgIds(nullptr, &list, &count), 0);
        std::vector<std::string> ids;
        for (int i = 0; i < count; ++i) ids.push_back(Text(list[i]->msgId, list[i]->msgIdLength));
        FreeMailMsg(list, count);
        return ids;
    }

    std::string SubjectOf(const std::string& id) {
        MsgIdDescriptor d{static_cast<int32_t>(id.size()), id.data()};
        MailMsg* msg = nullptr;
        const int rc = GetMsg(nullptr, &d, &msg);
        if (rc != 0) return "<" + std::to_string(rc) + ">";
        std::string subject = msg->Subject ? msg->Subject : "";
        FreeMailMsgBlock(msg);
        return subject;
    }

    // A message of a text part and one attachment part with these headers and body.
    static std::string WithAttachment(const std::string& headers, const std::string& body) {
        return "From: b@tess.test\r\nTo: tess@tess.test\r\nSubject: with file\r\nDate: " + RecentDate(1) +
               "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
               "--b1\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n--b1\r\n" +
               headers + "\r\n\r\n" + body + "\r\n--b1--\r\n";
    }

    // The attachment files (name, bytes) of the one message in the mailbox, as the host
    // writes them.
    std::vector<std::pair<std::string, std::string>> AttachmentsOfTheMessage() {
        std::vector<std::pair<std::string, std::string>> files;
        EXPECT_EQ(Logon(&record_, 0, 0), 0);
        MailMsg** list = nullptr;
        int count = 0;
        EXPECT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
        EXPECT_EQ(count, 1);
        if (count != 1) return files;
        const std::string id = Text(list[0]->msgId, list[0]->msgIdLength);
        FreeMailMsg(list, count);
        AttachmentTable* table = nullptr;
        if (GetMessageAttachment(nullptr, static_cast<int>(id.size()), id.data(), &table) != 0 || !table) return files;
        for (int i = 0; i < table->count; ++i) {
            std::ifstream in(table->path[i], std::ios::binary);
            files.emplace_back(std::filesystem::path(table->path[i]).filename().string(),
                               std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        }
        FreeAttachment(&table);
        return files;
    }

    tess::test::TempHome home_;
    PopLogonRecord record_{};
    std::unique_ptr<tess::test::ImapAdmin> imap_;
};

// A suite of its own, so that it gets fresh servers whose UIDs begin at 1.
class FenwickFreshMailbox : public FenwickServers {};

TEST_F(FenwickFreshMailbox, IdsAreMatchedExactly) {
    for (int i = 1; i <= 12; ++i) Append(Mail("m" + std::to_string(i)));
    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &list, &count), 0);
    ASSERT_EQ(count, 12);
    EXPECT_EQ(Text(list[0]->msgId, list[0]->msgIdLength), "1");
    EXPECT_EQ(Text(list[10]->msgId, list[10]->msgIdLength), "11");
    FreeMailMsg(list, count);

    // "1" is a part of "11" and "12": only the message whose id is "1" answers.
    EXPECT_EQ(SubjectOf("1"), "m1");
    EXPECT_EQ(SubjectOf("11"), "m11");
    EXPECT_EQ(SubjectOf("2"), "m2");
    EXPECT_EQ(SubjectOf(""), "<12>");
    EXPECT_EQ(SubjectOf("111"), "<12>");

    // Deleting "1" takes that message, and only it, at the end of the session.
    CMsg one;
    one.msgId.SetData("1", 1);
    MailMsg* block = nullptr;
    ASSERT_EQ(one.ToMailMsg(&block), 0);
    EXPECT_EQ(DeleteMsg(nullptr, block), 0);
    FreeMailMsgBlock(block);
    EXPECT_EQ(Logoff(), 0);
    const auto ids = ServerIds();
    EXPECT_EQ(ids.size(), 11u);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "1"), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "11"), 1);
}

TEST_F(FenwickServers, LogonWithAndWithoutApop) {
    struct Case {
        const char* name;
        bool apopServer;
        int useApop;
        const char* password;
        int result;
    } cases[] = {
        {"user/pass", false, 0, nullptr, 0},
        {"apop", true, 1, nullptr, 0},
        {"user/pass on the apop server", true, 0, nullptr, 0},
        {"apop on a server without it", false, 1, nullptr, 16394},
        {"wrong password", false, 0, "wrong", 16394},
        {"apop, wrong password", true, 1, "wrong", 16394},
    };
    Append(Mail("hello"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record_.port = c.apopServer ? servers().pop3ApopPort() : servers().pop3Port();
        record_.popValue = c.useApop;
        record_.password = c.password ? c.password : servers().password().c_str();
        platform::syncmgr::clearCapturedLog();
        ASSERT_EQ(Initialize(), 0);
        EXPECT_EQ(Logon(&record_, 0, 0), c.result);
        if (c.result == 0) {
            MailMsg** list = nullptr;
            int count = 0;
            EXPECT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
            ASSERT_EQ(count, 1);
            EXPECT_STREQ(list[0]->Subject, "hello");
            EXPECT_STREQ(list[0]->Body, "Body of hello.\r\n");
            FreeMailMsg(list, count);
        } else {
            EXPECT_EQ(GetMsgIds(nullptr, nullptr, nullptr), -1);
        }
        const auto log = platform::syncmgr::capturedLog();
        const bool notice = !log.empty() && log[0].text.find("Tess POP") != std::string::npos;
        EXPECT_EQ(notice, c.useApop && !c.apopServer);
        Uninitialize();
    }
}

TEST_F(FenwickServers, DateWindowAttachmentsAndHeaders) {
    Append(Mail("ancient", "Mon, 01 Jan 1990 00:00:00 +0000"));
    Append("From: b@tess.test\r\nTo: tess@tess.test\r\nSubject: with file\r\nDate: " + RecentDate(2) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
           "--b1\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n"
           "--b1\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
           "Content-Disposition: attachment; filename=\"notes.txt\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nZmlsZSBieXRlcwo=\r\n--b1--\r\n");
    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
    ASSERT_EQ(count, 1);  // the 1990 message is outside the default window
    EXPECT_STREQ(list[0]->Subject, "with file");
    const std::string id = Text(list[0]->msgId, list[0]->msgIdLength);
    FreeMailMsg(list, count);

    AttachmentTable* table = nullptr;
    ASSERT_EQ(GetMessageAttachment(nullptr, static_cast<int>(id.size()), id.data(), &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 1);
    std::ifstream in(table->path[0], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "file bytes\n");
    EXPECT_EQ(std::filesystem::path(table->path[0]).filename(), "notes.txt");
    FreeAttachment(&table);

    // Headers without a window (days 0) keep every message.
    MailMsg** all = nullptr;
    int idCount = 0;
    ASSERT_EQ(GetMsgIds(nullptr, &all, &idCount), 0);
    ASSERT_EQ(idCount, 2);
    std::vector<MsgIdDescriptor> descriptors;
    std::vector<MsgIdDescriptor*> ids;
    for (int i = 0; i < idCount; ++i) descriptors.push_back({all[i]->msgIdLength, all[i]->msgId});
    for (auto& d : descriptors) ids.push_back(&d);
    ASSERT_EQ(GetMsgHeaders(nullptr, &list, &count, ids.data(), &idCount), 0);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(list[0]->Subject, "ancient");
    EXPECT_EQ(list[0]->Body, nullptr);
    FreeMailMsg(list, count);
    FreeMailMsg(all, idCount);
}

// A message's date comes from the newest Received line, else from its Date; when neither
// can be read it is dated by its arrival, never 1970, and it is kept.
TEST_F(FenwickServers, DatesFromReceivedThenDateThenArrival) {
    const std::string received = "Received: from relay.tess.test by mx.tess.test; " + RecentDate(3) + "\r\n";
    const std::string older = "Received: from a by relay.tess.test; " + RecentDate(5) + "\r\n";
    auto mail = [](const std::string& subject, const std::string& headers) {
        return headers + "From: Ann <ann@tess.test>\r\nTo: tess@tess.test\r\nSubject: " + subject + "\r\n\r\nBody.\r\n";
    };
    const std::time_t now = std::time(nullptr);
    struct {
        const char* subject;
        std::string headers;
        long daysAgo;  // -1: dated by arrival
    } cases[] = {
        {"no date, received", received + older, 3},
        {"bad date, received", received + "Date: not a date\r\n", 3},
        {"bad received, date", "Received: from x by y; garbage\r\nDate: " + RecentDate(4) + "\r\n", 4},
        {"no date at all", "", -1},
        {"bad date only", "Date: 32 Foo 99999 99:99\r\n", -1},
    };
    for (const auto& c : cases) Append(mail(c.subject, c.headers));

    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
    std::map<std::string, int32_t> dates;
    for (int i = 0; i < count; ++i) dates[list[i]->Subject ? list[i]->Subject : ""] = list[i]->date;
    FreeMailMsg(list, count);
    for (const auto& c : cases) {
        ASSERT_EQ(dates.count(c.subject), 1u) << c.subject << ": dropped";
        const long expected = c.daysAgo < 0 ? static_cast<long>(now) : static_cast<long>(now) - c.daysAgo * 86400L;
        EXPECT_NEAR(dates[c.subject], expected, 120) << c.subject;
    }
}

// The server sends a NUL in a message as it is; the handheld's copy goes on past it, with
// the byte the server's IMAP side puts in its place.
TEST_F(FenwickServers, NulInAMessageKeepsTheRest) {
    using namespace std::string_literals;
    const std::string mail = "From: Ann <ann@tess.test>\r\nTo: tess@tess.test\r\nSubject: with\0nul\r\nDate: "s +
                             RecentDate(1) + "\r\n\r\nfirst line\r\nbefore\0after\r\nlast line\r\n"s;
    // Straight into the Maildir: the message is stored byte for byte, NUL included.
    {
        std::ofstream out(servers().maildir() / "new" / "1700000000.M1P1.nul", std::ios::binary);
        out << mail;
    }
    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(GetAllMsgs(0, &list, &count, 0), 0);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(list[0]->Subject, "with\x80nul");
    EXPECT_STREQ(list[0]->Body,
                 "first line\r\nbefore\x80"
                 "after\r\nlast line\r\n");
    FreeMailMsg(list, count);
}

// Attachments the reader once dropped arrive whole, under their names.
TEST_F(FenwickServers, AttachmentsArriveWhole) {
    const struct {
        const char* what;
        const char* headers;
        const char* body;
        const char* name;
    } cases[] = {
        {"stray bytes inside the base64",
         "Content-Type: text/plain; name=\"notes.txt\"\r\n"
         "Content-Disposition: attachment; filename=\"notes.txt\"\r\nContent-Transfer-Encoding: base64",
         "ZmlsZS*BieXRl\r\n-cwo=", "notes.txt"},
        {"named only in the RFC 2231 form, in two sections",
         "Content-Type: text/plain\r\nContent-Disposition: attachment;\r\n filename*0*=UTF-8''annual%20report;\r\n"
         " filename*1=\"-2026.txt\"\r\nContent-Transfer-Encoding: base64",
         "ZmlsZSBieXRlcwo=", "annual report-2026.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        servers().reset();
        Append(WithAttachment(c.headers, c.body));
        const auto files = AttachmentsOfTheMessage();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].first, c.name);
        EXPECT_EQ(files[0].second, "file bytes\n");
        Logoff();
        Uninitialize();
        ASSERT_EQ(Initialize(), 0);
    }
}

TEST_F(FenwickServers, SentMailComesBackByPop) {
    record_.smtpUsable = 1;
    record_.separateSmtpLogin = 1;  // the server takes mail only after AUTH LOGIN
    record_.smtpUser = servers().user().c_str();
    record_.smtpPassword = servers().password().c_str();
    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    CMsg out;
    out.From = servers().address(servers().user());
    out.To = "Tess <" + servers().address(servers().user()) + ">";
    out.Subject = "round trip";
    out.Body = "Sent from the handheld.\r\n";
    MailMsg* block = nullptr;
    ASSERT_EQ(out.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 0);
    FreeMailMsgBlock(block);
    ASSERT_EQ(servers().captured().size(), 1u);

    const auto ids = ServerIds();  // a new session sees the delivered mail
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(SubjectOf(ids[0]), "round trip");

    // Without an SMTP side the send fails cleanly.
    Uninitialize();
    Initialize();
    record_.smtpUsable = 0;
    ASSERT_EQ(Logon(&record_, 0, 0), 0);
    ASSERT_EQ(out.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 212);
    FreeMailMsgBlock(block);
}

}  // namespace
