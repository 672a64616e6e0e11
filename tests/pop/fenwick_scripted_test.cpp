// The POP host against scripted servers: what real servers will not do on demand (a
// connection lost mid-message, odd replies, unusual message numbers) and exact bytes
// on the wire (APOP digest, which message a command names).
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "common/msg_record.h"
#include "hosts/pop/fenwick.h"
#include "hosts/pop/pop_session.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/inet/scripted_server.h"
#include "tests/support/test_home.h"

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::MailMsg;
using tess::MsgIdDescriptor;
using tess::PopLogonRecord;

namespace {

using S = inet::test::ScriptedServer;

std::string Now() {
    char text[64];
    std::time_t now = std::time(nullptr) - 3600;
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return text;
}

std::string Mail(const std::string& subject, const std::string& body) {
    return "From: Ann <ann@tess.test>\r\nTo: you@tess.test\r\nSubject: " + subject + "\r\nDate: " + Now() + "\r\n\r\n" +
           body;
}

// USER/PASS logon and a listing, as every script begins.
std::vector<S::Step> Greeting(const std::string& listing) {
    return {S::Send("+OK ready\r\n"),     S::Expect("user ann"), S::Send("+OK\r\n"), S::Expect("pass secret"),
            S::Send("+OK logged in\r\n"), S::Expect("uidl"),     S::Send(listing)};
}

std::vector<S::Step> Then(std::vector<S::Step> first, const std::vector<S::Step>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

std::string IdOf(const MailMsg* m) {
    return std::string(reinterpret_cast<const char*>(m->msgId), static_cast<std::size_t>(m->msgIdLength));
}

class FenwickScripted : public ::testing::Test {
protected:
    void SetUp() override {
        platform::syncmgr::clearCapturedLog();
        record_ = PopLogonRecord{};
        record_.server = "127.0.0.1";
        record_.user = "ann";
        record_.password = "secret";
        record_.accountName = "Ann's POP";
        record_.serverUsable = 1;
        record_.downloadAttachments = 1;
        session_.SetWaitTimeout(3000);
        session_.SetLogSink([this](const std::string& line) { log_ += line + "\n"; });
    }
    int LogonTo(S& server, int flags = 2) {
        record_.port = server.port();
        return session_.Logon(&record_, flags);
    }
    std::vector<std::string> Subjects(MailMsg** list, int count) {
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i) out.push_back(list[i]->Subject ? list[i]->Subject : "");
        return out;
    }

    tess::test::TempHome home_;
    PopLogonRecord record_;
    std::string log_;  // before the session, which logs while it closes
    pop::CPopSession session_;
};

TEST_F(FenwickScripted, ServerClosingMidRetrDeliversNothingOfThatMessage) {
    const std::string first = Mail("first", "whole body\r\n");
    S server(Then(Greeting("+OK\r\n1 a\r\n2 b\r\n.\r\n"),
                  {S::Expect("retr 1"), S::Send("+OK\r\n" + first + "\r\n.\r\n"), S::Expect("retr 2"),
                   S::Send("+OK\r\n" + Mail("second", "half a bo")), S::Close()}));
    ASSERT_EQ(LogonTo(server), 0);

    MailMsg** list = nullptr;
    int count = -1;
    // The listing is incomplete: a failure, not a mailbox of one message.
    EXPECT_NE(session_.GetAllMsgs(&list, &count, false), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(server.Finish()) << server.failure();

    // Neither message is answered from the cache, and the cut one cannot be fetched.
    MailMsg* one = nullptr;
    MsgIdDescriptor b{1, "b"};
    EXPECT_EQ(session_.GetMsg(&b, &one), pop::kPopNotFetched);
    EXPECT_EQ(one, nullptr);
    AttachmentTable* table = nullptr;
    EXPECT_EQ(session_.GetMessageAttachment(1, "b", &table), 2);
}

TEST_F(FenwickScripted, NumbersComeFromTheListingAndBodiesAreUnstuffed) {
    S server(Then(Greeting("+OK\r\n2 x\r\n0 zero\r\n5 y\r\n.\r\n"),
                  {S::Expect("retr 2"), S::Send("+OK\r\n" + Mail("two", "..leading dot\r\n...\r\nlast\r\n") + ".\r\n"),
                   S::Expect("retr 5"), S::Send("-ERR [SYS/TEMP] ok maybe later\r\n")}));
    ASSERT_EQ(LogonTo(server), 0);

    MailMsg** ids = nullptr;
    int idCount = 0;
    ASSERT_EQ(session_.GetMsgIds(&ids, &idCount), 0);
    ASSERT_EQ(idCount, 2);
    EXPECT_EQ(IdOf(ids[0]), "x");
    EXPECT_EQ(IdOf(ids[1]), "y");
    EXPECT_EQ(ids[0]->flags & 0x02000000u, 0u);
    FreeMailMsg(ids, idCount);

    MailMsg** list = nullptr;
    int count = 0;
    // The refused message is passed over; the connection stays in step.
    ASSERT_EQ(session_.GetAllMsgs(&list, &count, false), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(IdOf(list[0]), "x");
    EXPECT_STREQ(list[0]->Subject, "two");
    EXPECT_STREQ(list[0]->Body, ".leading dot\r\n..\r\nlast\r\n");
    EXPECT_NE(list[0]->flags & 0x80000000u, 0u);
    FreeMailMsg(list, count);
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST_F(FenwickScripted, DeleteNamesTheMessageWhoseIdIsExactlyTheOneGiven) {
    S server(Then(Greeting("+OK\r\n1 11\r\n2 1\r\n3 111\r\n.\r\n"),
                  {S::Expect("dele 2"), S::Send("+OK deleted\r\n"), S::Expect("dele 3"),
                   S::Send("-ERR message ok? no\r\n"), S::Expect("quit"), S::Send("+OK bye\r\n")}));
    ASSERT_EQ(LogonTo(server), 0);
    auto del = [this](const std::string& id) {
        CMsg msg;
        msg.msgId.SetData(id.data(), static_cast<int>(id.size()));
        MailMsg* block = nullptr;
        EXPECT_EQ(msg.ToMailMsg(&block), 0);
        int rc = session_.DeleteMsg(block);
        FreeMailMsgBlock(block);
        return rc;
    };
    EXPECT_EQ(del("1"), 0);
    EXPECT_EQ(del(""), 2);      // an empty id matches nothing
    EXPECT_EQ(del("1111"), 2);  // no such id: nothing sent
    EXPECT_EQ(del("111"), 2);   // refused by the server, although its reply says "ok"
    EXPECT_EQ(session_.Logoff(), 0);
    EXPECT_TRUE(server.Finish()) << server.failure();
    EXPECT_EQ(server.received(),
              (std::vector<std::string>{"user ann", "pass secret", "uidl", "dele 2", "dele 3", "quit"}));
}

// A deleted message is never named again in its session (the server refuses it, and ends
// a session with too many refusals, rolling every DELE back), and Logoff succeeds only
// when the server answered QUIT: only then are the deletions carried out.
TEST_F(FenwickScripted, DeletedMessagesLeaveTheListingAndCountOnlyAfterQuit) {
    for (const bool quitAnswered : {true, false}) {
        SCOPED_TRACE(quitAnswered ? "QUIT answered" : "session dropped before QUIT");
        session_.Cleanup();
        const std::vector<S::Step> end = quitAnswered ? std::vector<S::Step>{S::Expect("quit"), S::Send("+OK bye\r\n")}
                                                      : std::vector<S::Step>{S::Expect("quit"), S::Close()};
        S server(Then(Then(Greeting("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"),
                           {S::Expect("dele 2"), S::Send("+OK deleted\r\n"), S::Expect("top 3 0"),
                            S::Send("+OK\r\n" + Mail("third", "") + ".\r\n")}),
                      end));
        ASSERT_EQ(LogonTo(server), 0);
        CMsg msg;
        msg.msgId.SetData("b", 1);
        MailMsg* block = nullptr;
        ASSERT_EQ(msg.ToMailMsg(&block), 0);
        EXPECT_EQ(session_.DeleteMsg(block), 0);
        EXPECT_EQ(session_.DeleteMsg(block), 2);  // nothing sent for it a second time
        FreeMailMsgBlock(block);

        MailMsg** ids = nullptr;
        int idCount = 0;
        ASSERT_EQ(session_.GetMsgIds(&ids, &idCount), 0);
        std::vector<std::string> listed;
        for (int i = 0; i < idCount; ++i) listed.push_back(IdOf(ids[i]));
        FreeMailMsg(ids, idCount);
        EXPECT_EQ(listed, (std::vector<std::string>{"a", "c"}));

        MsgIdDescriptor b{1, "b"}, c{1, "c"};
        MsgIdDescriptor* wanted[] = {&b, &c};
        int wantedCount = 2;
        MailMsg** headers = nullptr;
        int count = 0;
        ASSERT_EQ(session_.GetMsgHeaders(&headers, &count, wanted, &wantedCount), 0);
        EXPECT_EQ(Subjects(headers, count), std::vector<std::string>{"third"});
        FreeMailMsg(headers, count);

        EXPECT_EQ(session_.Logoff() == 0, quitAnswered);
        EXPECT_TRUE(server.Finish()) << server.failure();
        EXPECT_EQ(server.received(),
                  (std::vector<std::string>{"user ann", "pass secret", "uidl", "dele 2", "top 3 0", "quit"}));
    }
}

// Every message is listed under an id of its own, also where the server repeats a UIDL or
// offers none, and the sync log says what the server lacks.
TEST_F(FenwickScripted, EveryMessageListedWhenUidlsRepeatOrAreMissing) {
    const std::string one = Mail("one", "1\r\n"), two = Mail("two", "2\r\n"), three = Mail("three", "3\r\n");
    auto head = [](const std::string& mail) { return mail.substr(0, mail.find("\r\n\r\n") + 4); };
    struct Case {
        const char* name;
        std::vector<S::Step> listing;
        std::string notice;
    };
    const Case cases[] = {
        {"repeated ids", {S::Send("+OK\r\n1 same\r\n2 same\r\n3 same#2\r\n.\r\n")}, "gives 1 message(s)"},
        {"no UIDL",
         {S::Send("-ERR unknown command\r\n"), S::Expect("list"), S::Send("+OK\r\n1 10\r\n2 20\r\n3 30\r\n.\r\n"),
          S::Expect("top 1 0"), S::Send("+OK\r\n" + head(one) + ".\r\n"), S::Expect("top 2 0"),
          S::Send("+OK\r\n" + head(two) + ".\r\n"), S::Expect("top 3 0"), S::Send("+OK\r\n" + head(three) + ".\r\n")},
         "does not offer UIDL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session_.Cleanup();
        platform::syncmgr::clearCapturedLog();
        std::vector<S::Step> script = {S::Send("+OK ready\r\n"), S::Expect("user ann"),        S::Send("+OK\r\n"),
                                       S::Expect("pass secret"), S::Send("+OK logged in\r\n"), S::Expect("uidl")};
        script = Then(Then(script, c.listing),
                      {S::Expect("retr 1"), S::Send("+OK\r\n" + one + ".\r\n"), S::Expect("retr 2"),
                       S::Send("+OK\r\n" + two + ".\r\n"), S::Expect("retr 3"), S::Send("+OK\r\n" + three + ".\r\n")});
        S server(script);
        ASSERT_EQ(LogonTo(server), 0);
        MailMsg** list = nullptr;
        int count = 0;
        ASSERT_EQ(session_.GetAllMsgs(&list, &count, false), 0);
        EXPECT_EQ(Subjects(list, count), (std::vector<std::string>{"one", "two", "three"}));
        std::set<std::string> ids;
        for (int i = 0; i < count; ++i) ids.insert(IdOf(list[i]));
        FreeMailMsg(list, count);
        EXPECT_EQ(ids.size(), 3u);
        EXPECT_TRUE(server.Finish()) << server.failure();
        std::string logged;
        for (const auto& line : platform::syncmgr::capturedLog()) logged += line.text + "\n";
        EXPECT_NE(logged.find(c.notice), std::string::npos) << logged;
        EXPECT_NE(logged.find("Ann's POP"), std::string::npos) << logged;
    }
}

TEST_F(FenwickScripted, ApopSendsTheDigestOfTimestampAndPassword) {
    // The example exchange of the POP3 standard.
    record_.popValue = 1;
    record_.user = "mrose";
    record_.password = "tanstaaf";
    S server({S::Send("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
              S::Expect("apop mrose c4c9334bac560ecc979e58001b3e22fb"), S::Send("+OK maildrop\r\n"), S::Expect("uidl"),
              S::Send("+OK\r\n.\r\n")});
    ASSERT_EQ(LogonTo(server), 0);
    EXPECT_TRUE(server.Finish()) << server.failure();
    // Passwords never reach the log.
    EXPECT_EQ(log_.find("tanstaaf"), std::string::npos);
    EXPECT_NE(log_.find("POP Login"), std::string::npos);
    MailMsg** list = nullptr;
    int count = -1;
    EXPECT_EQ(session_.GetAllMsgs(&list, &count, false), 0);  // an empty mailbox is fine
    EXPECT_EQ(count, 0);
}

TEST_F(FenwickScripted, ApopWithoutTimestampSendsNothingAndSaysSo) {
    record_.popValue = 1;
    S server({S::Send("+OK POP3 ready\r\n"), S::Expect("never")});
    EXPECT_EQ(LogonTo(server, 0), 1);
    server.Finish();
    EXPECT_TRUE(server.received().empty());
    const auto lines = platform::syncmgr::capturedLog();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.front().text.find("The account 'Ann's POP' has been configured to use APOP"), std::string::npos);
    EXPECT_EQ(lines.front().activity, -1);
}

TEST_F(FenwickScripted, RefusalsThatMentionOkAreRefusals) {
    {
        // PASS refused: the logon fails and, with notification on, the sync log says so.
        S server({S::Send("+OK ready\r\n"), S::Expect("user ann"), S::Send("+OK\r\n"), S::Expect("pass secret"),
                  S::Send("-ERR [AUTH] that was not ok\r\n")});
        EXPECT_EQ(LogonTo(server, 1), 1);
        server.Finish();
        const auto lines = platform::syncmgr::capturedLog();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, "TESSALINE INFO -- Server logon failed for user 'ann'");
        EXPECT_EQ(lines[0].activity, 22);
    }
    session_.Cleanup();
    {
        // UIDL refused: logged in, but the listing exports fail instead of reading empty.
        S server(Greeting("-ERR listing ok later\r\n"));
        ASSERT_EQ(LogonTo(server), 0);
        MailMsg** list = nullptr;
        int count = -1;
        EXPECT_NE(session_.GetMsgIds(&list, &count), 0);
        EXPECT_NE(session_.GetAllMsgs(&list, &count, true), 0);
        EXPECT_EQ(list, nullptr);
        server.Finish();
    }
    session_.Cleanup();
    {
        // A greeting that is not +OK is no server to log in to.
        S server({S::Send("-ERR go away, ok\r\n"), S::Expect("never")});
        EXPECT_EQ(LogonTo(server), 1);
        server.Finish();
        EXPECT_TRUE(server.received().empty());
    }
}

TEST_F(FenwickScripted, HeadersWithinTheWindowAndAttachmentsOfCachedMessages) {
    const std::string old = "From: a@b\r\nSubject: old\r\nDate: Mon, 01 Jan 1990 00:00:00 +0000\r\n\r\n";
    const std::string withFiles = "From: a@b\r\nSubject: files\r\nDate: " + Now() +
                                  "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n"
                                  "--XX\r\nContent-Type: text/plain\r\n\r\nsee files\r\n"
                                  "--XX\r\nContent-Type: application/octet-stream; name=\"name.part.ext\"\r\n"
                                  "Content-Disposition: attachment; filename=\"name.part.ext\"\r\n"
                                  "Content-Transfer-Encoding: base64\r\n\r\naGVsbG8=\r\n"
                                  "--XX\r\nContent-Type: application/octet-stream; name=\"name.part.ext\"\r\n"
                                  "Content-Disposition: attachment; filename=\"name.part.ext\"\r\n"
                                  "Content-Transfer-Encoding: base64\r\n\r\nd29ybGQ=\r\n--XX--\r\n";
    record_.days = 30;
    S server(Then(Greeting("+OK\r\n1 old\r\n2 files\r\n.\r\n"),
                  {S::Expect("top 1 0"), S::Send("+OK\r\n" + old + ".\r\n"), S::Expect("top 2 0"),
                   S::Send("+OK\r\n" + withFiles.substr(0, withFiles.find("\r\n\r\n") + 4) + ".\r\n"),
                   S::Expect("retr 2"), S::Send("+OK\r\n" + withFiles + ".\r\n")}));
    ASSERT_EQ(LogonTo(server), 0);

    MsgIdDescriptor a{3, "old"}, b{7, "files\x01x"};  // 0x01 ends an id
    MsgIdDescriptor* ids[] = {&a, &b};
    int idCount = 2;
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(session_.GetMsgHeaders(&list, &count, ids, &idCount), 0);
    ASSERT_EQ(count, 1);  // the 1990 message lies before the window
    EXPECT_EQ(Subjects(list, count), std::vector<std::string>{"files"});
    FreeMailMsg(list, count);

    // Headers only: nothing cached.
    AttachmentTable* table = nullptr;
    EXPECT_EQ(session_.GetMessageAttachment(5, "files", &table), 2);

    MailMsg* whole = nullptr;
    MsgIdDescriptor c{5, "files"};
    ASSERT_EQ(session_.GetMsg(&c, &whole), 0);
    EXPECT_STREQ(whole->Body, "see files\r\n");
    FreeMailMsgBlock(whole);
    ASSERT_EQ(session_.GetMessageAttachment(5, "files", &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 2);
    std::filesystem::path p0 = table->path[0], p1 = table->path[1];
    EXPECT_EQ(p0.filename(), "name.part.ext");
    EXPECT_EQ(p1.filename(), "name(1).part.ext");
    EXPECT_TRUE(std::filesystem::exists(p1));
    EXPECT_EQ(FreeAttachment(&table), 0);
    EXPECT_FALSE(std::filesystem::exists(p0));
    EXPECT_FALSE(std::filesystem::exists(p1));
    EXPECT_TRUE(server.Finish()) << server.failure();
}

TEST_F(FenwickScripted, ASecondLogonForgetsTheFirstMailbox) {
    S first(Then(Greeting("+OK\r\n1 1\r\n.\r\n"),
                 {S::Expect("retr 1"), S::Send("+OK\r\n" + Mail("first box", "a\r\n") + ".\r\n")}));
    ASSERT_EQ(LogonTo(first), 0);
    MailMsg** list = nullptr;
    int count = 0;
    ASSERT_EQ(session_.GetAllMsgs(&list, &count, false), 0);
    ASSERT_EQ(count, 1);
    FreeMailMsg(list, count);

    // Another account whose mailbox uses the same id: its message is fetched, not the cached one.
    S second(Then(Greeting("+OK\r\n1 1\r\n.\r\n"),
                  {S::Expect("retr 1"), S::Send("+OK\r\n" + Mail("second box", "b\r\n") + ".\r\n")}));
    ASSERT_EQ(LogonTo(second), 0);
    MsgIdDescriptor one{1, "1"};
    MailMsg* msg = nullptr;
    ASSERT_EQ(session_.GetMsg(&one, &msg), 0);
    EXPECT_STREQ(msg->Subject, "second box");
    FreeMailMsgBlock(msg);
    EXPECT_TRUE(second.Finish()) << second.failure();
}

TEST(FenwickExports, BeforeLogonAndFreeRules) {
    ASSERT_EQ(Initialize(), 0);
    EXPECT_EQ(GetMsgIds(nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(GetAllMsgs(0, nullptr, nullptr, 0), -1);
    EXPECT_EQ(DeleteMsg(nullptr, nullptr), -1);
    EXPECT_EQ(SendMsg(nullptr), -1);
    EXPECT_EQ(SetMsgReadStatus(nullptr, nullptr, 1), -1);
    FolderRecord** folders = nullptr;
    int count = 0;
    EXPECT_EQ(GetFolderList(&folders, &count), 6);
    EXPECT_EQ(GetMsg(nullptr, nullptr, nullptr), 6);  // no POP3 side: 6, whatever the log-on
    EXPECT_EQ(HostSupportsPartialMessages(), 1);
    EXPECT_EQ(Logon(nullptr, 0, 0), 16394);

    EXPECT_EQ(FreeMailMsg(nullptr, 1), 211);
    EXPECT_EQ(FreeFolderList(nullptr, 1), 211);
    MailMsg* dummy[1] = {nullptr};
    EXPECT_EQ(FreeMailMsg(dummy, 0), 0);
    AttachmentTable* none = nullptr;
    EXPECT_EQ(FreeAttachment(&none), 0);
    EXPECT_EQ(FreeAttachment(nullptr), 0);
}

}  // namespace
