// The account loop against hosts that do not answer as expected: what the handheld keeps,
// what it is given, and what the run reports.
#include "common/message_record_codec.h"
#include "accounts/account_layout.h"
#include "platform/syncmgr/handheld_store.h"
#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

// Marks the desktop account's folder of the name as synchronised.
void SelectFolder(EngineWorld& w, const std::string& name) {
    auto account = w.Account(0);
    ASSERT_NE(account, nullptr);
    auto folders = account->Folders();
    bool found = false;
    for (auto& f : folders)
        if (f.name == name) f.synchronised = 1, found = true;
    ASSERT_TRUE(found) << name << " is not among the account's folders";
    account->SetFolders(folders);
    ASSERT_TRUE(account->Save());
}

// A selected folder the host no longer lists (removed by another mail program) is not the
// inbox: the inbox's mail must not be copied into it, and its handheld messages stay.
TEST(AccountLoop, SelectedFolderGoneFromTheHostIsLeftAlone) {
    EngineWorld w;
    w.ImapAccount();
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    SelectFolder(w, "Trash");
    w.HostMail("binned", "Trash");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(w.Subjects(2), (std::vector<std::string>{"binned"})) << EngineWorld::Log();

    auto& folders = scripted::state().folders;
    folders.erase(
        std::remove_if(folders.begin(), folders.end(), [](const scripted::Folder& f) { return f.name == "Trash"; }),
        folders.end());
    w.HostMail("fresh");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"fresh"})) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(2), (std::vector<std::string>{"binned"})) << "nothing copied in, nothing removed";
}

// The handheld reported a new incoming server: what it holds of the old one goes, even
// where the new server's UIDs are the old one's, and the new server's mail comes in.
TEST(AccountLoop, NewIncomingServerReplacesTheOldServersMail) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("old one");
    w.HostMail("old two");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    ASSERT_EQ(w.Subjects(0), (std::vector<std::string>{"old one", "old two"}));

    // The reconciliation leaves the mark when the handheld's protocol changed.
    auto account = w.Account(0);
    ASSERT_NE(account, nullptr);
    account->SetHeadWord(tess::accounts::layout::kHeadServerChanged, 1);
    ASSERT_TRUE(account->Save());
    scripted::reset();
    w.HostMail("new one");
    w.HostMail("new two");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"new one", "new two"})) << EngineWorld::Log();
    EXPECT_EQ(w.Account(0)->HeadWord(tess::accounts::layout::kHeadServerChanged), 0u) << "the mark is spent";

    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"new one", "new two"})) << "nothing removed or added twice";
}

// Which handheld messages go when the host no longer lists them.
struct RetentionCase {
    const char* what;
    int32_t days;       // days to sync while the message comes in
    int32_t daysAfter;  // and when the host has lost it
    int32_t unreadOnly;
    const char* folder;  // host folder; the handheld's slot of the same name
    int ageDays;
    bool readOnHandheld;
    bool kept;
};

TEST(AccountLoop, HandheldMessagesTheHostNoLongerLists) {
    const RetentionCase cases[] = {
        {"days 0 removes an unmatched message whatever its date", 0, 0, 0, "Inbox", 30, false, false},
        {"a message older than the days to sync stays", 0, 4, 0, "Inbox", 30, false, true},
        {"a recent unmatched message goes", 4, 4, 0, "Inbox", 1, false, false},
        {"unread-only IMAP keeps a message read on the handheld", 4, 4, 1, "Inbox", 1, true, true},
        {"unread-only IMAP removes an unread one", 4, 4, 1, "Inbox", 1, false, false},
        {"category 3 is never removed for lack of a match", 4, 4, 0, "Sent", 1, false, true},
        {"category 4 is never removed for lack of a match", 4, 4, 0, "Archive", 1, false, true},
        {"category 2 is", 4, 4, 0, "Trash", 1, false, false},
    };
    for (const RetentionCase& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        DesktopAccount d;
        d.days = c.days;
        handheld_app::AccountSetup h;
        h.folders = {"Inbox", "Outbox", "Trash", "Sent", "Archive"};
        scripted::state().folders.push_back({"Archive", -1, {}});
        w.ImapAccount(0, d, h);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        if (std::string(c.folder) != "Inbox") SelectFolder(w, c.folder);
        {
            auto account = w.Account(0);
            ASSERT_NE(account, nullptr);
            account->SetValue(tess::accounts::kValueUnreadOnly, &c.unreadOnly, 4);
            ASSERT_TRUE(account->Save());
        }
        int category = -1;
        for (size_t i = 0; i < h.folders.size(); ++i)
            if (h.folders[i] == c.folder) category = int(i);
        w.HostMail("kept?", c.folder).date = int32_t(std::time(nullptr)) - c.ageDays * 86400;
        w.HostMail("stays on the host", c.folder);
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        ASSERT_EQ(w.Subjects(category), (std::vector<std::string>{"kept?", "stays on the host"})) << EngineWorld::Log();
        if (c.readOnHandheld) {
            ASSERT_EQ(handheld_app::MarkRead(w.handheld, w.RecordOf("kept?", category), true), 0);
            ASSERT_EQ(w.Sync(), 0);
        }
        {
            auto account = w.Account(0);
            account->SetValue(tess::accounts::kValueDaysToSync, &c.daysAfter, 4);
            ASSERT_TRUE(account->Save());
        }
        auto& msgs = scripted::state().find(c.folder)->msgs;
        msgs.erase(msgs.begin());
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        const std::vector<std::string> left = w.Subjects(category);
        EXPECT_EQ(std::count(left.begin(), left.end(), "kept?"), c.kept ? 1 : 0) << EngineWorld::Log();
        EXPECT_EQ(std::count(left.begin(), left.end(), "stays on the host"), 1);
    }
}

// The relay's control mails wait in the desktop inbox for the relay; they never reach the
// handheld, wherever their marker stands in the subject.
TEST(AccountLoop, RelayControlMailsStayOffTheHandheld) {
    EngineWorld w;
    w.ImapAccount();
    for (const char* subject : {"???C-D-1234", "Re: ???C-H-99", "???E-N-x", "???C-F-", "ordinary ???C-X- mail"})
        w.HostMail(subject);
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"ordinary ???C-X- mail"}));
    EXPECT_EQ(scripted::state().find("Inbox")->msgs.size(), 5u) << "the host keeps them";
}

// An account with no mail client set is made inactive and says why, even when a Simple
// MAPI host is at hand.
TEST(AccountLoop, AccountWithoutMailClientIsDeactivated) {
    EngineWorld w;
    DesktopAccount d;
    d.client = 0;
    handheld_app::AccountSetup h;
    h.protocolWord = 0;
    w.ImapAccount(0, d, h);
    w.HostMail("waiting");
    SyncProperties p{};
    HMODULE hosts[5] = {w.host, w.host, w.host, w.host, w.host};
    platform::syncmgr::clearCapturedLog();
    ASSERT_EQ(SynchronizeMail(0, &p, hosts, 4, w.userId), 0);
    EXPECT_TRUE(EngineWorld::Logged("no mail client has been provided", -1)) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("Initialize"), 0);
    EXPECT_EQ(w.Account(0)->Active(), 0);
    EXPECT_TRUE(w.Subjects(0).empty());
}

// Files the handheld message of the record into another folder, as the user does on the
// handheld.
void FileInto(EngineWorld& w, uint32_t recordId, int16_t folder) {
    platform::syncmgr::HandheldStore store(w.handheld);
    platform::syncmgr::DatabaseEntry db;
    ASSERT_EQ(store.findDatabase("Larkspur Messages", 0, &db), SYNC_OK);
    platform::syncmgr::RecordEntry e;
    ASSERT_EQ(store.readRecordById(db.id, recordId, &e), SYNC_OK);
    HandheldRecord r;
    r.id = e.id;
    r.attributes = e.attributes;
    r.category = uint8_t(e.category);
    r.data = e.data;
    CMsg m;
    const int account = UnpackMessageRecord(r, m);
    ASSERT_GE(account, 0);
    m.category = folder;
    ASSERT_EQ(PackMessageRecord(int(db.version), r, m, 63000, account, false), 0);
    uint32_t id = recordId;
    ASSERT_EQ(store.writeRecord(db.id, &id, r.attributes, r.category, r.data.data(), uint32_t(r.data.size())), SYNC_OK);
}

// Mail written on the handheld has no host ids: no host can list it, so no host's listing
// may take it off the handheld.
TEST(AccountLoop, MailWrittenOnTheHandheldIsNotTakenForHostMail) {
    struct Case {
        const char* what;
        int16_t folder;
        bool serverChanged;
    };
    const Case cases[] = {
        {"filed in the inbox", 0, false},
        {"filed in the inbox when the incoming server changed", 0, true},
        {"waiting in the outbox when the incoming server changed", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        DesktopAccount d;
        d.days = 0;
        w.ImapAccount(0, d);
        w.HostMail("from the host");
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        uint32_t record = 0;
        ASSERT_EQ(handheld_app::ComposeOutbox(w.handheld, 0, "carol@example.org", "mine", "body", {}, &record), 0);
        if (c.folder != 1) FileInto(w, record, c.folder);
        if (c.serverChanged) {
            auto account = w.Account(0);
            account->SetHeadWord(tess::accounts::layout::kHeadServerChanged, 1);
            ASSERT_TRUE(account->Save());
        }
        // The outbox's mail is refused this time, so it has to stay where it is.
        scripted::state().failures["SendMsg"] = 212;
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        const std::vector<std::string> left = w.Subjects(c.folder);
        EXPECT_EQ(std::count(left.begin(), left.end(), "mine"), 1) << EngineWorld::Log();
        EXPECT_EQ(std::count(left.begin(), left.end(), "from the host"), c.folder == 0 ? 1 : 0);
    }
}

// The sync log opens with the empty line once the data manager is open and closes with
// the product's name, except on the two roads that say there was nothing to do.
TEST(SyncDriver, OpeningAndClosingLines) {
    struct Case {
        const char* what;
        int syncType;
        bool selectInbox;
        const char* line;  // the run's own line
        bool closingLine;
    };
    const Case cases[] = {
        {"an ordinary run", 0, true, "", true},
        {"sync type 6", 6, true, "Tessaline - Sync configured to Do Nothing", false},
        {"nothing selected", 0, false, "Tessaline - None of the accounts are configured", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        DesktopAccount d;
        d.syncInbox = c.selectInbox ? 1 : 0;
        d.syncOutbox = c.selectInbox ? 1 : 0;
        w.ImapAccount(0, d);
        ASSERT_EQ(w.Sync(c.syncType), 0);
        const auto log = platform::syncmgr::capturedLog();
        ASSERT_FALSE(log.empty());
        const auto start = std::find_if(log.begin(), log.end(), [](const auto& l) { return l.activity == 19; });
        ASSERT_NE(start, log.end()) << EngineWorld::Log();
        EXPECT_EQ(start->text, "");
        const long closing = std::count_if(log.begin(), log.end(), [](const auto& l) { return l.activity == 20; });
        EXPECT_EQ(closing, c.closingLine ? 1 : 0) << EngineWorld::Log();
        if (c.closingLine) {
            EXPECT_EQ(log.back().activity, 20);
            EXPECT_EQ(log.back().text, "Tessaline");
        } else {
            EXPECT_EQ(log.back().text.rfind(c.line, 0), 0u) << EngineWorld::Log();
            EXPECT_EQ(log.back().activity, -1);
        }
    }
}

// A record naming an account the handheld cannot have (a damaged record) is passed over
// and kept; it does not stop this or any later synchronisation.
TEST(AccountLoop, ARecordOfNoAccountDoesNotStopTheSynchronisation) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("first");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    {
        platform::syncmgr::HandheldStore store(w.handheld, false);
        platform::syncmgr::DatabaseEntry db;
        ASSERT_EQ(store.findDatabase("Larkspur Messages", 0, &db), 0);
        CMsg stray;
        stray.Subject = "stray";
        stray.From = "x@example.org";
        HandheldRecord record;
        ASSERT_EQ(PackMessageRecord(db.version, record, stray, 63000, 200, false), 0);
        uint32_t id = 0;
        ASSERT_EQ(store.writeRecord(db.id, &id, 0, 0, record.data.data(), record.data.size()), 0);
    }
    w.HostMail("second");
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"first", "second", "stray"})) << EngineWorld::Log();
}

}  // namespace
}  // namespace tess::engine::test
