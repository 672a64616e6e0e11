// The Notes host's exports against the Notes client stand-in: logon, folders, reading a
// folder into message records, read marks, deletion, sending through mail.box and
// attachment files.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "common/msg_record.h"
#include "hosts/notes/briarholt.h"
#include "platform/core/runtime.h"
#include "platform/ui/window_messages.h"
#include "tests/platform/notes/notes_fixture.h"

namespace notes::test {

using tess::AttachmentTable;
using tess::CMsg;
using tess::FolderRecord;
using tess::FreeMailMsgBlock;
using tess::kMsgFlagRead;
using tess::kMsgFlagSeenOnHost;
using tess::MailMsg;
using tess::NotesLogonRecord;

using tess::test::TempHome;
using platform::notes::test::NotesInstallation;

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class BriarholtTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        work = notes.home.path() / "syncmgr";
        fs::create_directories(work);
    }
    void TearDown() override {
        Logoff();
        Uninitialize();
        setenv("PATH", savedPath.c_str(), 1);
    }

    NotesLogonRecord record(const std::string& password = "ann-secret") {
        return NotesLogonRecord{.idFile = notes.annId.c_str(),
                                .password = password.c_str(),
                                .programDirectory = work.c_str(),
                                .days = 0,
                                .newerHandheld = 0,
                                .downloadAttachments = 1,
                                .blockValue = 0,
                                .userDirectory = "",
                                .accountName = "Notes",
                                .localSync = 0,
                                .parentWindow = nullptr};
    }

    std::map<std::string, FolderRecord*> folders() {
        FolderRecord** list = nullptr;
        int count = 0;
        EXPECT_EQ(GetFolderList(&list, &count), 0);
        folderList = list;
        folderCount = count;
        std::map<std::string, FolderRecord*> out;
        for (int i = 0; i < count; ++i) out[list[i]->name] = list[i];
        return out;
    }

    std::vector<CMsg> read(FolderRecord* folder) {
        MailMsg** list = nullptr;
        int count = 0;
        EXPECT_EQ(GetAllMsgs(folder, &list, &count, 0), 0);
        std::vector<CMsg> out;
        for (int i = 0; i < count; ++i) out.emplace_back(list[i]);
        if (list) FreeMailMsg(list, count);
        return out;
    }

    uint32_t seed(const std::string& subject, std::vector<fs::path> attachments = {}, bool unread = true) {
        platform::notes::Mail mail;
        mail.from = "Bo Kim";
        mail.to = {"Ann Lee"};
        mail.cc = {"x@far.test"};
        mail.subject = subject;
        mail.body = "Body of " + subject;
        mail.attachments = std::move(attachments);
        mail.unread = unread;
        std::string error;
        const uint32_t id = platform::notes::addMail(notes.inst, "alee", mail, error);
        EXPECT_NE(id, 0u) << error;
        return id;
    }

    ~BriarholtTest() override {
        if (folderList) FreeFolderList(folderList, folderCount);
    }

    NotesInstallation notes;
    fs::path work;
    std::string savedPath;
    FolderRecord** folderList = nullptr;
    int folderCount = 0;
};

TEST_F(BriarholtTest, InitializeAndLogonResults) {
    EXPECT_EQ(Logon(nullptr, 0, 1), 211);
    ASSERT_EQ(Initialize(), 0);
    FolderRecord** list = nullptr;
    int count = -1;
    EXPECT_EQ(GetFolderList(&list, &count), 0);  // before a logon: nothing written
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, -1);
    auto bad = record("bo-secret");
    EXPECT_EQ(Logon(&bad, 0, 1), 200);
    auto noId = record();
    noId.idFile = "";
    EXPECT_EQ(Logon(&noId, 0, 1), 211);
    auto good = record();
    ASSERT_EQ(Logon(&good, 2, 1), 0);
    const auto f = folders();
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f.at("Inbox")->type, 0);
    EXPECT_EQ(f.at("Trash")->type, 4);
    EXPECT_EQ(f.at("Sent")->type, 3);
    EXPECT_EQ(f.at("Drafts")->type, 2);
    EXPECT_EQ(f.at("Inbox")->extraLength, 4);
}

TEST_F(BriarholtTest, MailFileSettingsDecideTheLogon) {
    const std::string original = readFile(notes.inst.iniPath);
    struct Case {
        const char* what;
        std::string from, to;
        int result;
    };
    const Case cases[] = {
        {"no MailServer", "MailServer=", "OtherKey=", 218},
        {"no MailFile", "MailFile=", "OtherFile=", 219},
        {"a mail file that does not open", "mail\\alee.nsf", "mail\\gone.nsf", 220},
    };
    ASSERT_EQ(Initialize(), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string ini = original;
        const size_t at = ini.find(c.from);
        ASSERT_NE(at, std::string::npos);
        ini.replace(at, c.from.size(), c.to);
        std::ofstream(notes.inst.iniPath, std::ios::trunc) << ini;
        auto r = record();
        EXPECT_EQ(Logon(&r, 0, 1), c.result);  // logging off
        Logoff();
    }
}

TEST(BriarholtWithoutNotes, InitializeSaysNotesIsNotInstalled) {
    TempHome home;
    EXPECT_EQ(Initialize(), 214);
}

TEST_F(BriarholtTest, InboxNotesBecomeMessageRecords) {
    const fs::path a = notes.home.path() / "plan.txt", b = notes.home.path() / "PLAN.TXT";
    std::ofstream(a) << "first";
    std::ofstream(b) << "second";
    const uint32_t withFiles = seed("with files", {a, b});
    const uint32_t read = seed("already read", {}, false);
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    auto f = folders();
    const auto msgs = this->read(f.at("Inbox"));
    ASSERT_EQ(msgs.size(), 2u);
    std::map<std::string, const CMsg*> bySubject;
    for (const auto& m : msgs) bySubject[m.Subject] = &m;
    const CMsg& first = *bySubject.at("with files");
    int32_t len = 0;
    const auto* msgId = reinterpret_cast<const char*>(first.msgId.GetData(&len));
    EXPECT_EQ(std::string(msgId, len), std::to_string(withFiles));
    const auto* hostId = reinterpret_cast<const char*>(first.hostId.GetData(&len));
    EXPECT_EQ(std::string(hostId, len), "mail\\alee");
    EXPECT_EQ(first.From, "bkim@tess.test");
    EXPECT_EQ(first.To, "alee@tess.test");
    EXPECT_EQ(first.Cc, "x@far.test");
    EXPECT_EQ(first.Body, "Body of with files");
    EXPECT_EQ(first.AttachmentNames, "\tplan.txt,\tPLAN.TXT");
    EXPECT_FALSE(first.flags & kMsgFlagRead);
    EXPECT_TRUE(first.flags & kMsgFlagSeenOnHost);
    EXPECT_TRUE(bySubject.at("already read")->flags & kMsgFlagRead);
    EXPECT_GT(first.date, 0);
    (void)read;

    // The attachments as files: names that differ only in case are told apart.
    const std::string id = std::to_string(withFiles);
    AttachmentTable* table = nullptr;
    ASSERT_EQ(GetMessageAttachment(nullptr, static_cast<int>(id.size()), id.data(), &table), 0);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->count, 2);
    EXPECT_EQ(fs::path(table->path[0]).filename(), "plan.txt");
    EXPECT_EQ(fs::path(table->path[1]).filename(), "PLAN(1).TXT");
    EXPECT_EQ(readFile(table->path[1]), "second");
    const std::string kept = table->path[0];
    FreeAttachment(&table);
    EXPECT_FALSE(fs::exists(kept));
}

// The engine's progress window hears how many notes the listing looks at, then one step
// per message handed out.
TEST_F(BriarholtTest, ListingReportsItsStepsToTheProgressWindow) {
    for (int i = 0; i < 3; ++i) seed("note " + std::to_string(i));
    std::vector<std::pair<unsigned, WPARAM>> heard;
    HWND window = platform::ui::createMessageWindow([&](unsigned message, WPARAM wParam, LPARAM) -> LRESULT {
        heard.emplace_back(message, wParam);
        return 0;
    });
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    r.parentWindow = window;
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    auto f = folders();
    EXPECT_EQ(read(f.at("Inbox")).size(), 3u);
    platform::ui::destroyMessageWindow(window);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front().first, 0x802u);
    EXPECT_GE(heard.front().second, 3u);  // every recent note, in any folder
    EXPECT_EQ(std::count(heard.begin(), heard.end(), std::pair<unsigned, WPARAM>{0x804u, 0}), 3);
    EXPECT_EQ(heard.size(), 4u);
}

TEST_F(BriarholtTest, ReadMarksAndDeletionsReachTheMailFile) {
    const uint32_t a = seed("a"), b = seed("b");
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    auto f = folders();
    auto msgs = read(f.at("Inbox"));
    ASSERT_EQ(msgs.size(), 2u);
    MailMsg* block = nullptr;
    CMsg& ma = msgs[0].Subject == "a" ? msgs[0] : msgs[1];
    CMsg& mb = msgs[0].Subject == "a" ? msgs[1] : msgs[0];
    ASSERT_EQ(ma.ToMailMsg(&block), 0);
    EXPECT_EQ(SetMsgReadStatus(f.at("Inbox"), block, 1), 0);
    FreeMailMsgBlock(block);
    ASSERT_EQ(mb.ToMailMsg(&block), 0);
    EXPECT_EQ(DeleteMsg(f.at("Inbox"), block), 0);
    FreeMailMsgBlock(block);

    // What the mail file now says, read through the client library directly.
    const auto inbox = read(f.at("Inbox"));
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].Subject, "a");
    EXPECT_TRUE(inbox[0].flags & kMsgFlagRead);
    const auto trash = read(f.at("Trash"));
    ASSERT_EQ(trash.size(), 1u);
    EXPECT_EQ(trash[0].Subject, "b");
    EXPECT_TRUE(trash[0].flags & kMsgFlagRead);  // deleting reads it too
    (void)a;
    (void)b;
}

TEST_F(BriarholtTest, SentMailGoesThroughMailBoxToItsRecipients) {
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    const fs::path file = notes.home.path() / "notes.txt";
    std::ofstream(file) << "attached";
    CMsg msg;
    msg.To = "Bo Kim";
    msg.Subject = "from the handheld";
    msg.Body = "line one\r\nline two";
    msg.AttachmentNames = file.string();
    MailMsg* block = nullptr;
    ASSERT_EQ(msg.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 0);
    FreeMailMsgBlock(block);
    const auto routed = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(routed.delivered, 1);
    EXPECT_EQ(routed.failed, 0);

    // Bo's inbox, read with the client library as Bo.
    Logoff();
    char name[256];
    ASSERT_EQ(SECKFMSwitchToIDFile(notes.boId.c_str(), "bo-secret", name, sizeof name, 0, nullptr), NOERROR);
    DBHANDLE db = 0;
    ASSERT_EQ(MailOpenMessageFile("mail/bkim.nsf", &db), NOERROR);
    NOTEID inbox = 0, id = 0;
    ASSERT_EQ(NIFFindDesignNoteExt(db, "($Inbox)", NOTE_CLASS_VIEW, "-G40n", &inbox, 0), NOERROR);
    DHANDLE table = 0;
    ASSERT_EQ(NSFFolderGetIDTable(db, db, inbox, 0, &table), NOERROR);
    ASSERT_EQ(IDEntries(table), 1u);
    ASSERT_TRUE(IDScan(table, 1, &id));
    IDDestroyTable(table);
    NOTEHANDLE note = 0;
    ASSERT_EQ(NSFNoteOpen(db, id, 0, &note), NOERROR);
    char text[256];
    WORD len = 0;
    ASSERT_TRUE(MailGetMessageItem(note, MAIL_SUBJECT_ITEM_NUM, text, sizeof text, &len));
    EXPECT_EQ(std::string(text, len), "from the handheld");
    ASSERT_TRUE(MailGetMessageItem(note, MAIL_FROM_ITEM_NUM, text, sizeof text, &len));
    EXPECT_EQ(std::string(text, len), "CN=Ann Lee/O=Tess");
    DHANDLE body = 0;
    DWORD bodyLength = 0;
    ASSERT_EQ(MailGetMessageBody(note, &body, &bodyLength), NOERROR);
    EXPECT_EQ(std::string(static_cast<char*>(OSLockObject(body)), bodyLength), "line one\r\nline two");
    OSMemFree(body);
    BLOCKID item{};
    DWORD size = 0;
    ASSERT_TRUE(MailGetMessageAttachmentInfo(note, 0, &item, &size, text, sizeof text));
    EXPECT_STREQ(text, "notes.txt");
    NSFNoteClose(note);
    MailCloseMessageFile(db);
}

TEST_F(BriarholtTest, SendThatCannotBeCompletedIsAFailureAndRoutesNothing) {
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    CMsg msg;
    msg.To = "Bo Kim";
    msg.Subject = "missing file";
    msg.AttachmentNames = (notes.home.path() / "no-such-file.txt").string();
    MailMsg* block = nullptr;
    ASSERT_EQ(msg.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 229);
    FreeMailMsgBlock(block);
    const auto routed = platform::notes::routeMail(notes.inst);
    EXPECT_EQ(routed.delivered + routed.sent + routed.failed, 0);
}

TEST_F(BriarholtTest, MailThatMailBoxRefusesIsAFailedSendAndLeavesNoCopy) {
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    auto send = [](const char* subject) {
        CMsg msg;
        msg.To = "Bo Kim";
        msg.Subject = subject;
        MailMsg* block = nullptr;
        EXPECT_EQ(msg.ToMailMsg(&block), 0);
        const int rc = SendMsg(block);
        FreeMailMsgBlock(block);
        return rc;
    };
    ASSERT_EQ(send("accepted"), 0);  // mail.box is open now
    std::string error;
    ASSERT_TRUE(platform::notes::setAccess(notes.inst, "mail.box", "-Default-", ACL_NOACCESS, error)) << error;
    EXPECT_EQ(send("refused"), 229);
    // Ann's mail file keeps the sent copy of the first mail only.
    DBHANDLE db = 0;
    ASSERT_EQ(MailOpenMessageFile("mail/alee.nsf", &db), NOERROR);
    DHANDLE list = 0;
    WORD count = 0;
    ASSERT_EQ(MailCreateMessageList(db, &list, nullptr, &count), NOERROR);
    EXPECT_EQ(count, 1);
    OSMemFree(list);
    MailCloseMessageFile(db);
    ASSERT_TRUE(platform::notes::setAccess(notes.inst, "mail.box", "-Default-", ACL_DEPOSITOR, error)) << error;
    EXPECT_EQ(platform::notes::routeMail(notes.inst).delivered, 1);
}

TEST_F(BriarholtTest, SendWithoutMailBoxFailsAndKeepsNothing) {
    ASSERT_EQ(Initialize(), 0);
    auto r = record();
    ASSERT_EQ(Logon(&r, 0, 1), 0);
    fs::remove(notes.inst.dataDir / "mail.box");
    CMsg msg;
    msg.To = "Bo Kim";
    msg.Subject = "nowhere";
    MailMsg* block = nullptr;
    ASSERT_EQ(msg.ToMailMsg(&block), 0);
    EXPECT_EQ(SendMsg(block), 220);
    FreeMailMsgBlock(block);
}

}  // namespace
}  // namespace notes::test
