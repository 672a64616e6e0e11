#pragma once
// An active IMAP account in slot 7 with four folders, and messages on the emulated
// handheld: four for it (one in a folder it lacks) and one for the inactive account 2.
#include <cstdint>
#include <string>

#include "common/message_record_codec.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {

inline constexpr int kAccount = 7;

class HandheldLoad : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        // The account outside a synchronisation: active, IMAP, with four folders.
        ASSERT_EQ(open(), 0);
        Handle account;
        ASSERT_EQ(MAccCreate(account.out()), 0);
        ASSERT_EQ(MAccSetStringData(account.h, 0, "Work"), 0);
        char on = 1;
        ASSERT_EQ(MAccSetBoolData(account.h, 0, &on), 0);
        short imap = 7;
        ASSERT_EQ(MAccSetType(account.h, &imap), 0);
        for (const char* name : {"Inbox", "Outbox", "Deleted", "Projects"}) {
            Handle folder;
            ASSERT_EQ(MFldCreate(account.h, folder.out()), 0);
            ASSERT_EQ(MFldSetName(folder.h, name), 0);
            ASSERT_EQ(MFldSave(folder.h), 0);
        }
        ASSERT_EQ(MAccSave(account.h), 0);

        int64_t db = 0;
        ASSERT_EQ(
            handheld_->createDatabase("Larkspur Messages", kMail, SYNC_FOURCC('D', 'a', 't', '5'), 1057, 0, 0, &db), 0);
        handheld_->setCard(0, 4'000'000, "card", "maker");
        addMessage(db, kAccount, 0, "first", true);
        addMessage(db, kAccount, 0, "second", false);
        addMessage(db, kAccount, 3, "project", true);
        addMessage(db, kAccount, 9, "no such folder", false);
        addMessage(db, 2, 0, "inactive account", false);
    }

    // Returns the new record's id.
    uint32_t addMessage(int64_t db, int account, int folder, const char* subject, bool read, uint32_t part = 0,
                        uint32_t hostId = 0, const std::string& msgId = {}, uint32_t partRecord = 0) {
        CMsg msg;
        msg.partIds[0] = part;
        const uint8_t host[4] = {uint8_t(hostId), uint8_t(hostId >> 8), uint8_t(hostId >> 16), uint8_t(hostId >> 24)};
        msg.hostId = CId(host, 4);
        msg.msgId = CId(msgId.data(), int32_t(msgId.size()));
        msg.partWord = partRecord << 8;
        msg.Subject = subject;
        msg.From = "a@example.org";
        msg.To = "me@example.org";
        msg.Body = "body";
        if (read) msg.status |= kMsgStatusRead;
        HandheldRecord record;
        record.category = folder;
        uint32_t id = 0;
        EXPECT_EQ(PackMessageRecord(1057, record, msg, 63000, account, false), 0);
        EXPECT_EQ(handheld_->writeRecord(db, &id, 0, folder, record.data.data(), record.data.size()), 0);
        return id;
    }

    int folderCount(StoreHandle* account, int slot, bool readOnly) {
        Handle folder;
        EXPECT_EQ(MAccGetCommonFolder(account, slot, folder.out()), 0);
        int n = -1;
        EXPECT_EQ(readOnly ? MFldGetNumMsgsRead(folder.h, &n) : MFldGetNumMsgs(folder.h, &n), 0);
        return n;
    }

    int session = 1;
};

}  // namespace tess::datamgr::test
