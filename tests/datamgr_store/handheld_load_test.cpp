// A session during a synchronisation reads the messages on the emulated handheld into
// the folders of their accounts.
#include <utility>
#include <vector>

#include <string>

#include "accounts/account_layout.h"
#include "datamgr/mail_store.h"
#include "datamgr/store_handles.h"
#include "tests/datamgr_store/handheld_load_fixture.h"

namespace tess::datamgr::test {
namespace {

TEST_F(HandheldLoad, MessagesGoToTheirFolders) {
    ASSERT_EQ(open(&session, 0), 0);
    EXPECT_EQ(datamgr::TheMailStore().messageDbVersion(), 1057);

    // Every account through the handles, and the folders of the one with mail, each with
    // its count.
    std::vector<int> accountIds;
    std::vector<std::pair<std::string, int>> folders;
    Handle walk;
    ASSERT_EQ(MAccGetFirst(walk.out()), 0);
    for (;;) {
        int id = -1;
        ASSERT_EQ(MAccGetPersistentID(walk.h, &id), 0);
        accountIds.push_back(id);
        if (id == kAccount) {
            Handle folder;
            ASSERT_EQ(MAccGetFirstFolder(walk.h, folder.out()), 0);
            for (;;) {
                char* name = nullptr;
                int count = -1;
                ASSERT_EQ(MFldGetName(folder.h, &name), 0);
                ASSERT_EQ(MFldGetNumMsgs(folder.h, &count), 0);
                folders.emplace_back(name, count);
                Handle next;
                const int rc = MAccGetNextFolder(walk.h, folder.h, next.out());
                if (rc == static_cast<int>(0x8000000Cu)) break;
                ASSERT_EQ(rc, 0);
                std::swap(folder.h, next.h);
            }
        }
        Handle next;
        const int rc = MAccGetNext(walk.h, next.out());
        if (rc == static_cast<int>(0x8000000Cu)) break;
        ASSERT_EQ(rc, 0);
        std::swap(walk.h, next.h);
    }
    EXPECT_EQ(accountIds, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(folders,
              (std::vector<std::pair<std::string, int>>{{"Inbox", 2}, {"Outbox", 0}, {"Deleted", 0}, {"Projects", 1}}));

    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    int total = 0;
    ASSERT_EQ(MAccGetNumMessages(account.h, &total), 0);
    EXPECT_EQ(total, 3);  // the one for a missing folder is dropped
    EXPECT_EQ(folderCount(account.h, 0, false), 2);
    EXPECT_EQ(folderCount(account.h, 0, true), 1);
    EXPECT_EQ(folderCount(account.h, 3, false), 1);

    // The Inbox's messages, in record order, through message handles.
    Handle inbox;
    ASSERT_EQ(MAccGetCommonFolder(account.h, 0, inbox.out()), 0);
    std::vector<uint32_t> ids;
    Handle message;
    ASSERT_EQ(MFldGetFirstMessage(inbox.h, message.out()), 0);
    for (;;) {
        EXPECT_EQ(datamgr::HandleFields(message.h)->kind, 2u);
        EXPECT_EQ(datamgr::HandleFields(message.h)->owner, uint32_t(kAccount) << 16);
        ids.push_back(datamgr::HandleFields(message.h)->id);
        Handle next;
        const int rc = MFldGetNextMessage(inbox.h, message.h, next.out());
        if (rc == static_cast<int>(0x8000000Cu)) break;
        ASSERT_EQ(rc, 0);
        std::swap(message.h, next.h);
    }
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_LT(ids[0], ids[1]);
    Handle projects, other;
    ASSERT_EQ(MAccGetCommonFolder(account.h, 3, projects.out()), 0);
    EXPECT_EQ(MFldGetNextMessage(projects.h, message.h, other.out()), kInvalid);  // another folder's message

    // Without the synchronisation state the counts are refused.
    EXPECT_EQ(IPES_SetTallyhopState(nullptr), nullptr);
    EXPECT_EQ(MAccGetNumMessages(account.h, &total), static_cast<int>(0x80000009u));
}

std::vector<StoreHandle*> raw(const std::vector<Handle>& handles) {
    std::vector<StoreHandle*> out;
    for (const auto& h : handles) out.push_back(h.h);
    return out;
}

TEST_F(HandheldLoad, MovedMessagesAreSavedInTheirNewFolder) {
    ASSERT_EQ(open(&session, 0), 0);
    {
        Handle account, inbox, projects;
        ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
        ASSERT_EQ(MAccGetCommonFolder(account.h, 0, inbox.out()), 0);
        ASSERT_EQ(MAccGetCommonFolder(account.h, 3, projects.out()), 0);
        std::vector<Handle> moving(2);
        ASSERT_EQ(MFldGetFirstMessage(inbox.h, moving[0].out()), 0);
        ASSERT_EQ(MFldGetNextMessage(inbox.h, moving[0].h, moving[1].out()), 0);
        const uint32_t firstId = datamgr::HandleFields(moving[0].h)->id;

        // Refusals move nothing: a null or stale handle among them, a folder handle.
        std::vector<StoreHandle*> bad = {moving[0].h, projects.h};
        EXPECT_EQ(MFldMoveMsgsIntoFolder(projects.h, bad.data(), 2), kInvalid);
        EXPECT_EQ(MFldMoveMsgsIntoFolder(projects.h, nullptr, 1), kInvalid);
        EXPECT_EQ(folderCount(account.h, 0, false), 2);

        // The handheld refuses the second write: the first message has moved, the second
        // stays where it was, and the failed write is returned.
        handheld_->injectFailure("SyncWriteRecord", 2);
        auto list = raw(moving);
        EXPECT_EQ(MFldMoveMsgsIntoFolder(projects.h, list.data(), 2), kInvalid);
        EXPECT_EQ(folderCount(account.h, 0, false), 1);
        EXPECT_EQ(folderCount(account.h, 3, false), 2);
        EXPECT_EQ(datamgr::HandleFields(moving[0].h)->owner, uint32_t(kAccount) << 16 | 3);
        EXPECT_EQ(datamgr::HandleFields(moving[0].h)->id, firstId);  // the record keeps its id
        EXPECT_EQ(datamgr::HandleFields(moving[1].h)->owner, uint32_t(kAccount) << 16);

        // Again: the one already there is left alone, the other follows.
        EXPECT_EQ(MFldMoveMsgsIntoFolder(projects.h, list.data(), 2), 0);
        EXPECT_EQ(folderCount(account.h, 0, false), 0);
        EXPECT_EQ(folderCount(account.h, 3, false), 3);
        EXPECT_EQ(folderCount(account.h, 3, true), 2);
    }
    // The next session reads them from the handheld in their new folder.
    ASSERT_EQ(open(&session, 0), 0);
    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    EXPECT_EQ(folderCount(account.h, 0, false), 0);
    EXPECT_EQ(folderCount(account.h, 3, false), 3);
    int total = 0;
    ASSERT_EQ(MAccGetNumMessages(account.h, &total), 0);
    EXPECT_EQ(total, 3);

    // Outside a synchronisation nothing moves.
    Handle deleted;
    ASSERT_EQ(MAccGetCommonFolder(account.h, 2, deleted.out()), 0);
    IPES_SetTallyhopState(nullptr);
    EXPECT_EQ(MFldMoveMsgsIntoFolder(deleted.h, nullptr, 0), static_cast<int>(0x80000009u));
}

// The record ids of a folder's messages, in the order the handles give them.
std::vector<uint32_t> MessageIds(StoreHandle* folder) {
    std::vector<uint32_t> ids;
    Handle message;
    if (MFldGetFirstMessage(folder, message.out()) != 0) return ids;
    for (;;) {
        ids.push_back(datamgr::HandleFields(message.h)->id);
        Handle next;
        if (MFldGetNextMessage(folder, message.h, next.out()) != 0) break;
        std::swap(message.h, next.h);
    }
    return ids;
}

// A message whose save fails is back where it was, in its old place in the folder.
TEST_F(HandheldLoad, AFailedMoveLeavesTheFolderAsItWas) {
    ASSERT_EQ(open(&session, 0), 0);
    Handle account, inbox, projects, first;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(account.h, 0, inbox.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(account.h, 3, projects.out()), 0);
    const std::vector<uint32_t> before = MessageIds(inbox.h);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_EQ(MFldGetFirstMessage(inbox.h, first.out()), 0);
    handheld_->injectFailure("SyncWriteRecord", 1);
    EXPECT_NE(MFldMoveMsgsIntoFolder(projects.h, &first.h, 1), 0);
    EXPECT_EQ(MessageIds(inbox.h), before);
    EXPECT_EQ(MessageIds(projects.h).size(), 1u);
}

TEST_F(HandheldLoad, MessagesDoNotMoveToAnotherAccount) {
    int other = -1;
    {
        Handle account;
        ASSERT_EQ(MAccCreate(account.out()), 0);
        ASSERT_EQ(MAccGetPersistentID(account.h, &other), 0);
        ASSERT_EQ(MAccSetStringData(account.h, 0, "Home"), 0);
        char on = 1;
        ASSERT_EQ(MAccSetBoolData(account.h, 0, &on), 0);
        short imap = 7;
        ASSERT_EQ(MAccSetType(account.h, &imap), 0);
        Handle folder;
        ASSERT_EQ(MFldCreate(account.h, folder.out()), 0);
        ASSERT_EQ(MFldSetName(folder.h, "Inbox"), 0);
        ASSERT_EQ(MFldSave(folder.h), 0);
        ASSERT_EQ(MAccSave(account.h), 0);
    }
    ASSERT_NE(other, kAccount);
    ASSERT_EQ(open(&session, 0), 0);
    Handle work, home, inbox, homeInbox, message;
    ASSERT_EQ(IPES_GetAccountById(kAccount, work.out()), 0);
    ASSERT_EQ(IPES_GetAccountById(other, home.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(work.h, 0, inbox.out()), 0);
    ASSERT_EQ(MAccGetCommonFolder(home.h, 0, homeInbox.out()), 0);
    ASSERT_EQ(MFldGetFirstMessage(inbox.h, message.out()), 0);
    EXPECT_EQ(MFldMoveMsgsIntoFolder(homeInbox.h, &message.h, 1), kInvalid);
    EXPECT_EQ(folderCount(work.h, 0, false), 2);
    EXPECT_EQ(folderCount(home.h, 0, false), 0);
}

// The messages of an account given up are removed from the handheld, and at close the
// attachment records no message refers to any more go with them.
TEST_F(HandheldLoad, DeletedAccountLeavesNoMessagesOrOrphanAttachments) {
    int64_t attachments = 0, messages = 0;
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &entry), 0);
    messages = entry.id;
    ASSERT_EQ(handheld_->createDatabase("Larkspur Attachments", kMail, SYNC_FOURCC('D', 'a', 't', '7'), 1, 0, 0,
                                        &attachments),
              0);
    const uint8_t bytes[] = {1, 2, 3};
    uint32_t kept = 0, orphan = 0;
    ASSERT_EQ(handheld_->writeRecord(attachments, &kept, 0, 0, bytes, 3), 0);
    ASSERT_EQ(handheld_->writeRecord(attachments, &orphan, 0, 0, bytes, 3), 0);
    addMessage(messages, 1, 0, "keeps its attachment", false, kept);
    addMessage(messages, kAccount, 0, "loses its attachment", false, orphan);
    const uint32_t before = handheld_->recordCount(messages);

    ASSERT_EQ(open(), 0);
    {
        Handle account;
        ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
        ASSERT_EQ(MAccDelete(account.out()), 0);
        char gone = 0;
        EXPECT_EQ(MAccGetBoolData(account.h, 14, &gone), 0);
        EXPECT_EQ(gone, 1);
    }
    ASSERT_EQ(open(&session, 0), 0);
    EXPECT_EQ(handheld_->recordCount(messages), before - 5);  // the account's five messages
    datamgr::TheMailStore().Close();
    platform::syncmgr::RecordEntry record;
    EXPECT_EQ(handheld_->readRecordById(attachments, kept, &record), 0);
    EXPECT_NE(handheld_->readRecordById(attachments, orphan, &record), 0);
}

// A record that cannot be read (larger than any record may be) costs only itself.
TEST_F(HandheldLoad, AnUnreadableRecordDoesNotHideTheOnesAfterIt) {
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &entry), 0);
    ASSERT_EQ(handheld_->deleteAllRecords(entry.id), 0);
    addMessage(entry.id, kAccount, 0, "before", false);
    const std::vector<uint8_t> huge(63'100, 1);
    uint32_t id = 0;
    ASSERT_EQ(handheld_->writeRecord(entry.id, &id, 0, 0, huge.data(), huge.size()), 0);
    addMessage(entry.id, kAccount, 0, "after", false);

    ASSERT_EQ(open(&session, 0), 0);
    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    EXPECT_EQ(folderCount(account.h, 0, false), 2);
}

// An account given up (reset or deleted) loses all its messages on the handheld; one
// whose incoming server changed loses the mail of the old server but keeps what the
// handheld made itself. Either way none of them is shown, and the record of how much of
// a removed message came over goes with it.
TEST_F(HandheldLoad, MarkedAccountsLoseTheirServerMailOnTheHandheld) {
    using namespace accounts::layout;
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &entry), 0);
    const int64_t messages = entry.id;
    int64_t parts = 0;
    ASSERT_EQ(handheld_->createDatabase("Larkspur Part Plus", kMail, SYNC_FOURCC('D', 'a', 't', '8'), 1, 0, 0, &parts),
              0);
    struct Case {
        const char* what;
        size_t marker;  // head word set on the account, 0 for none
        bool serverMailStays, handheldMailStays, shown;
    };
    const Case cases[] = {
        {"no marker", 0, true, true, true},
        {"reset", kHeadDropMessages, false, false, false},
        {"deleted", kHeadDeleteFromHandheld, false, false, false},
        {"incoming server changed", kHeadServerChanged, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(handheld_->deleteAllRecords(messages), 0);
        ASSERT_EQ(handheld_->deleteAllRecords(parts), 0);
        const uint8_t info[] = {0, 0, 0, 1};
        uint32_t partRecord = 0;
        ASSERT_EQ(handheld_->writeRecord(parts, &partRecord, 0, 0, info, sizeof info), 0);
        const uint32_t byUid = addMessage(messages, kAccount, 0, "imap", false, 0, 42, {}, partRecord);
        const uint32_t byUidl = addMessage(messages, kAccount, 0, "pop", false, 0, 0, "uidl-7");
        const uint32_t made = addMessage(messages, kAccount, 0, "written on the handheld", false);

        ASSERT_EQ(open(), 0);
        accounts::CMailAccount& a = *datamgr::TheMailStore().AccountById(kAccount)->account;
        for (size_t word : {kHeadDropMessages, kHeadDeleteFromHandheld, kHeadServerChanged})
            a.SetHeadWord(word, word == c.marker ? 1 : 0);
        ASSERT_TRUE(a.Save());
        ASSERT_EQ(open(&session, 0), 0);

        platform::syncmgr::RecordEntry record;
        EXPECT_EQ(handheld_->readRecordById(messages, byUid, &record) == 0, c.serverMailStays);
        EXPECT_EQ(handheld_->readRecordById(messages, byUidl, &record) == 0, c.serverMailStays);
        EXPECT_EQ(handheld_->readRecordById(parts, partRecord, &record) == 0, c.serverMailStays);
        EXPECT_EQ(handheld_->readRecordById(messages, made, &record) == 0, c.handheldMailStays);
        Handle account;
        ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
        int shown = -1;
        ASSERT_EQ(MAccGetNumMessages(account.h, &shown), 0);
        EXPECT_EQ(shown, c.shown ? 3 : 0);
    }
}

TEST_F(HandheldLoad, OlderClientDatabasesRefuseTheSession) {
    int64_t db = 0;
    ASSERT_EQ(handheld_->createDatabase("LKPROIII Messages", kMail, SYNC_FOURCC('D', 'a', 't', '5'), 1, 0, 0, &db), 0);
    EXPECT_EQ(open(&session, 0), static_cast<int>(0x80000008u));
    int user = 0;
    EXPECT_EQ(IPES_IsInitialized(&user), 0);
}

}  // namespace
}  // namespace tess::datamgr::test
