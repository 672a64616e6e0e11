// The IMAP-shaped scenarios again, with the IMAP host against the private Dovecot and
// SMTP server instead of the scripted host.
#include <set>
#include <thread>

#include "datamgr/ledgerly_store.h"
#include "tests/engine/dovecot_account.h"
#include "tools/tallyhop/sync_command.h"

namespace tess::engine::test {
namespace {

using tess::test::ImapAdmin;

class ImapRoad : public tess::test::MailServersTest {
protected:
    void SetUp() override {
        MailServersTest::SetUp();
        world_ = std::make_unique<EngineWorld>();
        ASSERT_NO_FATAL_FAILURE(UseImapHost(*world_));
        handheld_app::AccountSetup h = DovecotAccount(servers());
        h.smtpLogin = true;  // the test SMTP server wants the user's own logon
        DesktopAccount d;
        d.sizeKb = 400;
        world_->ImapAccount(0, d, h);
    }
    void TearDown() override { world_.reset(); }

    EngineWorld& W() { return *world_; }

    ImapAdmin& Imap() {
        if (!imap_) imap_ = std::make_unique<ImapAdmin>(servers().imapPort(), servers().user(), servers().password());
        return *imap_;
    }
    std::vector<std::string> Command(const std::string& line) { return Imap().Command(line); }
    void Append(const std::string& subject, const std::string& flags = "", const std::string& attachment = "") {
        std::string text = "From: Bob <bob@example.org>\r\nTo: " + servers().address(servers().user()) +
                           "\r\nSubject: " + subject + "\r\nDate: " + DateNow() + "\r\n";
        if (attachment.empty()) {
            text += "\r\nBody of " + subject + "\r\n";
        } else {
            text +=
                "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n"
                "Content-Type: text/plain\r\n\r\nBody of " +
                subject +
                "\r\n--b1\r\n"
                "Content-Type: text/plain; name=\"data.txt\"\r\nContent-Disposition: attachment; "
                "filename=\"data.txt\"\r\n\r\n" +
                attachment + "\r\n--b1--\r\n";
        }
        Imap().Append("INBOX", flags, text);
    }
    static std::string DateNow() {
        char buf[64];
        const std::time_t t = std::time(nullptr) - 3600;
        std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", std::gmtime(&t));
        return buf;
    }
    // The FETCH lines of every message of INBOX with their flags and subjects.
    std::string Inbox() {
        Command("SELECT INBOX");
        std::string all;
        for (const auto& l : Command("FETCH 1:* (FLAGS BODY.PEEK[HEADER.FIELDS (SUBJECT)])")) all += l + "\n";
        return all;
    }
    int InboxCount() {
        Command("UNSELECT");
        for (const auto& l : Command("SELECT INBOX")) {
            const size_t at = l.find(" EXISTS");
            if (at != std::string::npos) return std::atoi(l.c_str() + 2);
        }
        return -1;
    }

    std::unique_ptr<EngineWorld> world_;
    std::unique_ptr<ImapAdmin> imap_;
};

TEST_F(ImapRoad, FirstSyncNothingChangedThenDeletesBothWays) {
    Append("one");
    Append("two");
    Append("three");
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"one", "three", "two"})) << EngineWorld::Log();
    ASSERT_EQ(W().Sync(), 0);
    EXPECT_EQ(W().Subjects(0).size(), 3u) << "nothing added twice";

    // Deleted on the host.
    Command("SELECT INBOX");
    Command("SEARCH SUBJECT one");
    Command("STORE 1 +FLAGS (\\Deleted)");
    Command("EXPUNGE");
    ASSERT_EQ(W().Sync(), 0);
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"three", "two"}));

    // Deleted on the handheld.
    ASSERT_EQ(handheld_app::DeleteMessage(W().handheld, W().RecordOf("two")), 0);
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(InboxCount(), 1) << Inbox();
    EXPECT_EQ(W().Subjects(0), (std::vector<std::string>{"three"}));
    EXPECT_EQ(handheld_app::RecordCount(W().handheld, "Larkspur Disconnected"), 0);
}

TEST_F(ImapRoad, ReadFlagsBothWays) {
    Append("seen on host");
    Append("read on handheld");
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    Command("SELECT INBOX");
    Command("STORE 1 +FLAGS (\\Seen)");
    ASSERT_EQ(handheld_app::MarkRead(W().handheld, W().RecordOf("read on handheld"), true), 0);
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    for (auto& m : W().Folder(0)) EXPECT_TRUE(m.msg.status & 0x8000) << m.msg.Subject;
    const std::string inbox = Inbox();
    EXPECT_EQ(std::count(inbox.begin(), inbox.end(), '\\') >= 2, true) << inbox;
    EXPECT_EQ(inbox.find("FLAGS ()"), std::string::npos) << inbox;
}

TEST_F(ImapRoad, OutboxGoesOutOverSmtpAndFolderActionsReachTheServer) {
    ASSERT_EQ(handheld_app::ComposeOutbox(W().handheld, 0, servers().address(servers().user()), "from the handheld",
                                          "written on the road", {}, nullptr),
              0);
    ASSERT_EQ(handheld_app::RecordAction(W().handheld, 0, handheld_app::kCreateFolder, 0, "Projects", ""), 0);
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(W().Subjects(3), (std::vector<std::string>{"from the handheld"})) << EngineWorld::Log();
    bool listed = false;
    for (const auto& l : Command("LIST \"\" \"*\"")) listed = listed || l.find("Projects") != std::string::npos;
    EXPECT_TRUE(listed);
    // The SMTP server delivers into the same mailbox.
    bool delivered = false;
    for (int i = 0; i < 50 && !delivered; ++i) {
        delivered = Inbox().find("from the handheld") != std::string::npos;
        if (!delivered) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(delivered);
}

TEST_F(ImapRoad, LargeAttachmentInPiecesThenMovedToTheTrash) {
    std::string lines;
    while (lines.size() < 100000) lines += "line " + std::to_string(lines.size()) + " of the attached text\r\n";
    Append("with data", "", lines);
    Command("CREATE Trash");
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    const auto shown = W().Folder(0);
    ASSERT_EQ(shown.size(), 1u) << EngineWorld::Log();
    EXPECT_NE(shown[0].msg.partIds[0], 0u);
    EXPECT_GE(handheld_app::RecordCount(W().handheld, "Larkspur Attachments"), 3) << "two pieces and the terminator";

    ASSERT_EQ(handheld_app::DeleteMessage(W().handheld, shown[0].recordId, handheld_app::kMoveToTrash), 0);
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(InboxCount(), 0);
    bool inTrash = false;
    for (const auto& l : Command("STATUS Trash (MESSAGES)"))
        inTrash = inTrash || l.find("MESSAGES 1") != std::string::npos;
    EXPECT_TRUE(inTrash);
    EXPECT_EQ(handheld_app::RecordCount(W().handheld, "Larkspur Disconnected"), 0);
    EXPECT_EQ(handheld_app::RecordCount(W().handheld, "Larkspur Attachments"), 0)
        << "its attachment records went with it";
}

// An outside component at work between the handheld and the server: it reads the action
// the handheld queued and writes a message into the Outbox through the data manager; then
// a Tallyhop operation started as `tallyhop sync` starts it carries out both.
TEST_F(ImapRoad, WhatTheDataManagerWritesReachesTheServer) {
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();  // the account set up on both sides
    ASSERT_EQ(handheld_app::RecordAction(W().handheld, 0, handheld_app::kCreateFolder, 0, "Errands", ""), 0);
    int session = 1;
    IpesInitBlock block{&session, 0, W().userId, IPES_CREATOR_MAIL};
    ASSERT_EQ(IPES_Initialize(&block), 0);
    StoreHandle *account = nullptr, *action = nullptr, *outbox = nullptr, *message = nullptr;
    ASSERT_EQ(IPES_GetAccountById(0, &account), 0);
    ASSERT_EQ(MTxnGetFirst(account, &action), 0);
    int type = 0;
    ASSERT_EQ(MTxnGetType(action, &type), 0);
    EXPECT_EQ(type, 6);  // add a folder
    EXPECT_EQ(MTxnRelease(&action), 0);

    ASSERT_EQ(MAccGetCommonFolder(account, handheld_app::kOutbox, &outbox), 0);
    ASSERT_EQ(MMsgCreate(outbox, &message), 0);
    ASSERT_EQ(MMsgSetStringData(message, 0, servers().address(servers().user()).c_str()), 0);
    ASSERT_EQ(MMsgSetStringData(message, 1, servers().address(servers().user()).c_str()), 0);
    ASSERT_EQ(MMsgSetStringData(message, 4, "written through the exports"), 0);
    const std::string body = "A body the data manager wrote.";
    uint32_t length = uint32_t(body.size());
    ASSERT_EQ(MMsgWriteBody(message, 0, body.c_str(), &length), 0);
    ASSERT_EQ(MMsgSave(&message), 0);
    EXPECT_EQ(MMsgRelease(&message), 0);
    EXPECT_EQ(MFldRelease(&outbox), 0);
    EXPECT_EQ(MAccRelease(&account), 0);
    IPES_CloseDatabase();

    std::ostringstream out, err;
    tallyhop::SyncOptions o;
    o.userName = "tester";
    ASSERT_EQ(tallyhop::runSync(o, out, err), 0) << out.str() << err.str() << EngineWorld::Log();
    bool listed = false;
    for (const auto& l : Command("LIST \"\" \"*\"")) listed = listed || l.find("Errands") != std::string::npos;
    EXPECT_TRUE(listed) << EngineWorld::Log();
    EXPECT_EQ(handheld_app::RecordCount(W().handheld, "Larkspur Disconnected"), 0);
    std::string delivered;
    for (int i = 0; i < 50 && delivered.empty(); ++i) {
        for (const std::string& m : servers().captured())
            if (m.find("written through the exports") != std::string::npos) delivered = m;
        if (delivered.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_NE(delivered.find(body), std::string::npos) << out.str() << EngineWorld::Log();
}

TEST_F(ImapRoad, ManyMessagesComeInBatchesOnceAndFollowLaterChanges) {
    constexpr int kCount = 75;  // more than two batches of bodies
    std::set<std::string> want;
    for (int i = 0; i < kCount; ++i) {
        const std::string subject = "n" + std::to_string(100 + i);
        Append(subject, i % 5 ? "" : "\\Seen", i % 9 ? "" : "attached text " + subject);
        want.insert(subject);
    }
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    auto check = [&](const std::set<std::string>& expected, const std::set<std::string>& read) {
        const auto shown = W().Folder(0);
        std::multiset<std::string> got;
        for (const auto& m : shown) {
            got.insert(m.msg.Subject);
            EXPECT_EQ((m.msg.status & 0x8000) != 0, read.count(m.msg.Subject) != 0) << m.msg.Subject;
        }
        EXPECT_EQ(got, std::multiset<std::string>(expected.begin(), expected.end())) << EngineWorld::Log();
    };
    std::set<std::string> read;
    for (int i = 0; i < kCount; i += 5) read.insert("n" + std::to_string(100 + i));
    check(want, read);

    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    check(want, read);  // nothing changed: nothing added twice, nothing lost

    // Read and deleted on the host since.
    Command("SELECT INBOX");
    Command("STORE 2 +FLAGS (\\Seen)");
    Command("STORE 3 +FLAGS (\\Deleted)");
    Command("EXPUNGE");
    read.insert("n101");
    want.erase("n102");
    ASSERT_EQ(W().Sync(), 0) << EngineWorld::Log();
    check(want, read);
    EXPECT_EQ(InboxCount(), kCount - 1);
}

}  // namespace
}  // namespace tess::engine::test
