// The account loop against hosts that do not answer as expected: what the handheld keeps,
// what it is given, and what the run reports.
#include "engine/accounts/account_layout.h"
#include "tests/engine/engine_world.h"

namespace tidewater::test {
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
    folders.erase(std::remove_if(folders.begin(), folders.end(), [](const scripted::Folder& f) { return f.name == "Trash"; }),
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
    int32_t days;         // days to sync while the message comes in
    int32_t daysAfter;    // and when the host has lost it
    int32_t unreadOnly;
    const char* folder;   // host folder; the handheld's slot of the same name
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

}  // namespace
}  // namespace tidewater::test
