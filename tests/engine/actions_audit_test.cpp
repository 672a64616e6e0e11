// Faults at the edges of sending, attachments and replayed actions: what a user would
// notice as mail missing a file, a failure kept quiet, or a part the handheld keeps asking for.
#include <filesystem>
#include <fstream>

#include "common/handheld_time.h"
#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

std::string WriteFile(const std::filesystem::path& dir, const std::string& name, const std::string& data) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path p = dir / name;
    std::ofstream(p, std::ios::binary) << data;
    return p.string();
}

// Whatever code the host gives for a refused mail, the user is told and the mail waits.
TEST(OutboxFailures, EveryRefusalIsReportedAndTheMailWaits) {
    for (const int code : {3, 5, 212}) {
        SCOPED_TRACE(code);
        EngineWorld w;
        w.ImapAccount();
        ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "carol@example.org", "later", "body", {}, nullptr), 0);
        scripted::state().failures["SendMsg"] = code;
        ASSERT_EQ(w.Sync(), 0);
        EXPECT_TRUE(EngineWorld::Logged("Could not send the following message")) << EngineWorld::Log();
        EXPECT_EQ(w.Subjects(1), (std::vector<std::string>{"later"}));
        EXPECT_TRUE(w.Folder(3).empty());
    }
}

// A mail whose attachment cannot be read back from the handheld is not sent without it:
// it stays in the outbox and the user is told.
TEST(OutboxFailures, AnUnreadableAttachmentKeepsTheMailInTheOutbox) {
    EngineWorld w;
    w.ImapAccount();
    const auto dir = w.home.path() / "files";
    ASSERT_EQ(
        handheld_app::ComposeOutbox(w.handheld, 0, "dave@example.org", "two files", "see",
                                    {WriteFile(dir, "a.txt", "first"), WriteFile(dir, "b.txt", "second")}, nullptr),
        0);
    auto outbox = w.Folder(1);
    ASSERT_EQ(outbox.size(), 1u);
    const uint32_t second = outbox[0].msg.partIds[1];
    ASSERT_NE(second, 0u);

    // The second file's record is gone from the handheld.
    platform::syncmgr::HandheldStore store(w.handheld);
    platform::syncmgr::DatabaseEntry db;
    ASSERT_EQ(store.findDatabase("Larkspur Attachments", 0, &db), SYNC_OK);
    ASSERT_EQ(store.deleteRecord(db.id, second), SYNC_OK);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_TRUE(scripted::state().sent.empty()) << "not sent without its second file";
    EXPECT_EQ(w.Subjects(1), (std::vector<std::string>{"two files"}));
    EXPECT_TRUE(EngineWorld::Logged("Failed to retrieve an attachment", 22)) << EngineWorld::Log();
}

// A dial-up message whose body and attachment both reach the handheld is complete: no part
// record tells the handheld that more is waiting on the server.
TEST(DeliveredSizes, AWholeDialUpMessageWithAnAttachmentHasNoPartRecord) {
    for (const uint8_t type : {1, 3}) {
        SCOPED_TRACE(int(type));
        EngineWorld w;
        DesktopAccount d;
        d.sizeKb = 100;
        handheld_app::AccountSetup h;
        h.connectionType = type;
        w.ImapAccount(0, d, h);
        w.HostMail("with a file").attachments = {{"note.txt", "a short note"}};
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        const auto inbox = w.Folder(0);
        ASSERT_EQ(inbox.size(), 1u);
        EXPECT_NE(inbox[0].msg.partIds[0], 0u) << "the attachment is on the handheld";
        EXPECT_EQ(inbox[0].msg.partWord >> 8, 0u);
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 0);
    }
}

// A desktop-client account (whole messages listed at once) names its messages by the
// client's ids: a new message brings its attachments on the synchronisation that adds it.
TEST(DesktopClientAttachments, ANewMessageBringsItsFiles) {
    EngineWorld w;
    scripted::state().mapiLogon = true;
    scripted::state().partial = false;
    DesktopAccount d;
    d.client = 4;
    d.profile = "Outlook";
    handheld_app::AccountSetup h;
    h.protocolWord = 0;
    w.ImapAccount(0, d, h);
    scripted::Message& m = w.HostMail("with a file");
    m.msgId = "entry-1";
    m.attachments = {{"note.txt", "a short note"}};
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    const auto inbox = w.Folder(0);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_NE(inbox[0].msg.partIds[0], 0u) << EngineWorld::Log();
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Attachments"), 2) << "the file and its end";
    EXPECT_EQ(scripted::state().openAttachmentFiles, 0);
}

// A desktop-client account whose handheld names a message by time, subject and sender:
// the message the user acts on is already on the handheld (matched, not new), and the
// action still reaches it.
TEST(DesktopClientActions, AMessageAlreadyOnTheHandheldIsFoundByTimeSubjectAndSender) {
    struct Case {
        const char* what;
        int opcode;
        bool hostReadBefore;
        bool hostReadAfter;
    };
    const Case cases[] = {
        {"mark read", handheld_app::kMarkRead, false, true},
        {"mark unread", handheld_app::kMarkUnread, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        scripted::state().mapiLogon = true;
        scripted::state().partial = false;
        DesktopAccount d;
        d.client = 4;
        d.profile = "Outlook";
        handheld_app::AccountSetup h;
        h.protocolWord = 0;
        w.ImapAccount(0, d, h);
        w.HostMail("known").msgId = "entry-1";
        scripted::state().find("Inbox")->msgs[0].read = c.hostReadBefore;
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        ASSERT_EQ(w.Subjects(0), (std::vector<std::string>{"known"}));

        const scripted::Message& m = scripted::state().find("Inbox")->msgs[0];
        const int64_t local1904 = ToLocalOrUtc(m.date, true) + 2082844800;
        ASSERT_EQ(handheld_app::RecordAction(w.handheld, 0, c.opcode, 255, "",
                                             std::to_string(local1904) + "\x01" + m.subject + "\x01" + m.from),
                  0);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        EXPECT_EQ(scripted::state().find("Inbox")->msgs[0].read, c.hostReadAfter);
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
        EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"known"})) << "not added a second time";
    }
}

// A dial-up message the handheld holds only in part is fetched whole again later; when
// that fetch fails, the part the handheld has stays as it is.
TEST(DeliveredSizes, AFailedFetchOfTheRestKeepsTheBodyOnTheHandheld) {
    EngineWorld w;
    DesktopAccount d;
    d.sizeKb = 1;
    handheld_app::AccountSetup h;
    h.connectionType = 1;
    w.ImapAccount(0, d, h);
    w.HostMail("long").body = "Opening words. " + std::string(5000, 'x');
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Part Plus"), 1);
    ASSERT_EQ(w.Folder(0).size(), 1u);
    const std::string before = w.Folder(0)[0].msg.Body;
    ASSERT_EQ(before.rfind("Opening words.", 0), 0u);

    scripted::state().calls.clear();
    scripted::state().failures["GetMsg"] = 3;
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_GE(scripted::state().count("GetMsg"), 1) << "the rest was asked for";
    ASSERT_EQ(w.Folder(0).size(), 1u);
    EXPECT_EQ(w.Folder(0)[0].msg.Body, before);

    scripted::state().failures.clear();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Folder(0)[0].msg.Body.rfind("Opening words.", 0), 0u) << "fetched again next time";
}

// A new message whose body the host cannot give this time is not put on the handheld as
// headers alone (it would never be fetched again): it comes whole next time.
TEST(NewMessages, AFailedFetchLeavesTheMessageForNextTime) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("fetched later");
    scripted::state().failures["GetMsg"] = 3;
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_TRUE(w.Folder(0).empty());
    EXPECT_TRUE(EngineWorld::Logged("Could not read message", 22)) << EngineWorld::Log();

    scripted::state().failures.clear();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    const auto inbox = w.Folder(0);
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].msg.Body, "Body of fetched later");
}

// A POP account's handheld records the read state of each message it reads; the host is
// told, and the records do not pile up on the handheld from one synchronisation to the next.
TEST(PopActions, ReadStatesReachTheHostAndLeaveTheHandheld) {
    EngineWorld w;
    w.PopAccount();
    w.HostMail("read me").msgId = "uidl-1";
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(handheld_app::MarkRead(w.handheld, w.RecordOf("read me"), true), 0);
    ASSERT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 1);

    scripted::state().calls.clear();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("SetMsgReadStatus"), 1);
    EXPECT_TRUE(scripted::state().find("Inbox")->msgs[0].read);
    EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), 0);
}

// Logon records are checked before the host sees them: an account without a user name
// never reaches Logon and fails as a refused logon; one with a port of 0 gets the default.
TEST(Logon, AccountSettingsCheckedBeforeTheHostIsAsked) {
    struct Case {
        const char* what;
        bool pop;
        std::string user;
        uint16_t port;
        int logons;
        int logonPort;
        const char* logged;
    };
    const Case cases[] = {
        {"POP without a user", true, "", 110, 0, 0, "Failed to log on"},
        {"IMAP without a user", false, "", 143, 0, 0, "Failed to log on"},
        {"IMAP port 0", false, "alice", 0, 1, 143, "default port 143"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        scripted::state().partial = !c.pop;
        scripted::state().popLogon = c.pop;
        handheld_app::AccountSetup h;
        h.name = "Work";
        h.protocolWord = c.pop ? 0 : 1;
        h.server = "mail.example.org";
        h.smtpServer = "smtp.example.org";
        h.user = c.user;
        h.password = "secret";
        h.email = "alice@example.org";
        h.port = c.port;
        ASSERT_EQ(handheld_app::ConfigureAccount(w.handheld, h), 0);
        DesktopAccount d;
        d.client = c.pop ? 8 : 7;
        w.Desktop(0, d);
        w.Sync();
        EXPECT_EQ(scripted::state().count("Logon"), c.logons);
        if (c.logons) {
            EXPECT_EQ(scripted::state().logonPort, c.logonPort);
        }
        EXPECT_TRUE(EngineWorld::Logged(c.logged)) << EngineWorld::Log();
        EXPECT_EQ(scripted::state().count("Uninitialize"), 1) << "what was initialised is closed again";
    }
}

// Actions meant for IMAP folders, and actions that name a message the host no longer
// has, on accounts of other kinds: folder changes leave the handheld, the rest wait.
TEST(DisconnectedActions, OtherAccountsKeepWhatTheyCannotDo) {
    struct Case {
        const char* what;
        bool pop;        // else a desktop client
        bool syncInbox;  // the account's only selected folder
        int opcode;
        int32_t uid;
        std::string arg2;
        int actionsLeft;
    };
    const std::string gone = "3000000000\x01no such subject\x01nobody <n@example.org>";
    const Case cases[] = {
        {"a POP folder creation leaves without a host call", true, true, handheld_app::kCreateFolder, 0, "", 0},
        {"a POP copy stays", true, true, handheld_app::kCopyMessage, 1, "Sent", 1},
        {"a POP seen flag stays", true, true, handheld_app::kSetSeen, 1, "", 1},
        {"a delete by time, subject and sender of a message gone stays", false, true, handheld_app::kDeleteMessage, 255,
         gone, 1},
        {"without a selected folder a delete stays", false, false, handheld_app::kDeleteMessage, 254,
         "ZW50cnktMQ==", 1},
        {"without a selected folder a read mark stays", false, false, handheld_app::kMarkRead, 254, "ZW50cnktMQ==", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        scripted::state().partial = false;
        scripted::state().popLogon = c.pop;
        scripted::state().mapiLogon = !c.pop;
        DesktopAccount d;
        d.client = c.pop ? 8 : 4;
        if (!c.pop) d.profile = "Outlook";
        d.syncInbox = c.syncInbox ? 1 : 0;
        handheld_app::AccountSetup h;
        h.protocolWord = 0;
        w.ImapAccount(0, d, h);
        w.HostMail("kept").msgId = "entry-1";
        ASSERT_EQ(handheld_app::RecordAction(w.handheld, 0, c.opcode, uint32_t(c.uid), "Inbox", c.arg2), 0);
        scripted::state().calls.clear();
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        EXPECT_EQ(handheld_app::RecordCount(w.handheld, "Larkspur Disconnected"), c.actionsLeft);
        for (const char* call :
             {"IMAP4AddFolder", "IMAP4CopyMessage", "IMAP4SetSeenFlag", "DeleteMsg", "SetMsgReadStatus"})
            EXPECT_EQ(scripted::state().count(call), 0) << call;
        EXPECT_EQ(scripted::state().find("Inbox")->msgs.size(), 1u);
    }
}

}  // namespace
}  // namespace tess::engine::test
