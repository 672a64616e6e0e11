// The actions the handheld queued while disconnected: which records the load keeps, what
// the MTxn exports tell of each, completing one, and the records that go with an account.
#include <cstring>
#include <string>
#include <vector>

#include "accounts/account_layout.h"
#include "datamgr/mail_store.h"
#include "datamgr/store_handles.h"
#include "tests/datamgr_store/handheld_load_fixture.h"

namespace tess::datamgr::test {
namespace {

constexpr int kEnd = static_cast<int>(0x8000000Cu);
constexpr int kNoSession = static_cast<int>(0x80000009u);

struct TxnHandle {
    StoreHandle* h = nullptr;
    ~TxnHandle() {
        if (h) MTxnRelease(&h);
    }
    StoreHandle** out() { return &h; }
};

class PendingActions : public HandheldLoad {
protected:
    void SetUp() override {
        HandheldLoad::SetUp();
        ASSERT_EQ(handheld_->createDatabase("Larkspur Disconnected", kMail, SYNC_FOURCC('D', 'a', 't', '6'), 1, 0, 0,
                                            &actions_),
                  0);
    }
    uint32_t addAction(int account, uint32_t opcode, uint32_t uid, const std::string& a1, const std::string& a2) {
        std::vector<uint8_t> r = {uint8_t(opcode >> 24), uint8_t(opcode >> 16), uint8_t(opcode >> 8), uint8_t(opcode),
                                  uint8_t(uid >> 24),    uint8_t(uid >> 16),    uint8_t(uid >> 8),    uint8_t(uid)};
        r.insert(r.end(), a1.c_str(), a1.c_str() + a1.size() + 1);
        r.insert(r.end(), a2.c_str(), a2.c_str() + a2.size() + 1);
        uint32_t id = 0;
        EXPECT_EQ(handheld_->writeRecord(actions_, &id, 0, account, r.data(), r.size()), 0);
        return id;
    }
    bool onHandheld(uint32_t id) {
        platform::syncmgr::RecordEntry record;
        return handheld_->readRecordById(actions_, id, &record) == 0;
    }
    // The record ids of the account's actions, in the order MTxn gives them.
    std::vector<uint32_t> listed(StoreHandle* account) {
        std::vector<uint32_t> ids;
        TxnHandle walk;
        if (MTxnGetFirst(account, walk.out()) != 0) return ids;
        for (;;) {
            ids.push_back(datamgr::HandleFields(walk.h)->id);
            TxnHandle next;
            if (MTxnGetNext(walk.h, next.out()) != 0) break;
            std::swap(walk.h, next.h);
        }
        return ids;
    }
    int64_t actions_ = 0;
};

TEST_F(PendingActions, EachActionTellsWhatItIs) {
    struct Case {
        uint32_t opcode;
        const char *a1, *a2;
        int type;
        const char *msgId, *source, *dest;  // null: refused with 0x80000002
    };
    const std::vector<Case> cases = {
        {0, "New", "", 6, nullptr, nullptr, ""},
        {1, "Old", "New", 8, nullptr, "Old", "New"},
        {2, "Gone", "", 7, nullptr, nullptr, nullptr},
        {3, "17", "Projects", 4, "17", nullptr, "Projects"},
        {4, "Inbox", "", 5, nullptr, nullptr, nullptr},
        {5, "18", "", 3, "18", nullptr, ""},
        {6, "0", "", 2, "0", nullptr, nullptr},  // seen flag cleared: unread
        {6, "1", "", 1, "1", nullptr, nullptr},  // set: read
        {7, "19", "", 3, "19", nullptr, ""},
        {8, "20", "", 3, "20", nullptr, ""},
        {10, "21", "Archive", 3, "21", nullptr, "Archive"},  // a move has no source folder
        {13, "local", "x", 9, nullptr, nullptr, "x"},
        {15, "22", "", 1, "22", nullptr, nullptr},
        {16, "23", "", 2, "23", nullptr, nullptr},
    };
    std::vector<uint32_t> ids;
    for (const Case& c : cases) ids.push_back(addAction(kAccount, c.opcode, 99, c.a1, c.a2));
    addAction(kAccount, 9, 99, "never", "listed");
    addAction(kAccount, 11, 99, "never", "listed");

    ASSERT_EQ(open(&session, 0), 0);
    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(listed(account.h), ids);

    TxnHandle walk;
    ASSERT_EQ(MTxnGetFirst(account.h, walk.out()), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE("opcode " + std::to_string(c.opcode) + " " + c.a1);
        EXPECT_EQ(datamgr::HandleFields(walk.h)->kind, 4u);
        EXPECT_EQ(datamgr::HandleFields(walk.h)->owner, uint32_t(kAccount));
        int type = 0;
        ASSERT_EQ(MTxnGetType(walk.h, &type), 0);
        EXPECT_EQ(type, c.type);
        const std::pair<int (*)(StoreHandle*, const char**), const char*> texts[] = {
            {MTxnGetMsgId, c.msgId}, {MTxnGetSourceFld, c.source}, {MTxnGetDestFld, c.dest}};
        for (const auto& [get, expected] : texts) {
            const char* text = nullptr;
            if (expected) {
                ASSERT_EQ(get(walk.h, &text), 0);
                EXPECT_STREQ(text, expected);
            } else {
                EXPECT_EQ(get(walk.h, &text), kInvalid);
            }
        }
        TxnHandle next;
        const int rc = MTxnGetNext(walk.h, next.out());
        if (&c == &cases.back())
            EXPECT_EQ(rc, kEnd);
        else
            ASSERT_EQ(rc, 0);
        std::swap(walk.h, next.h);
    }
    int version = 0;
    EXPECT_EQ(MTxnGetVersion(&version), 0);
    EXPECT_EQ(version, 1);
}

// Kept for an active account of a server protocol; removed from the handheld for an
// account that is gone or moved to another server; left alone otherwise.
TEST_F(PendingActions, TheLoadSortsTheRecordsByAccount) {
    const uint32_t kept = addAction(kAccount, 15, 1, "5", "");
    const uint32_t unknownAccount = addAction(12, 15, 1, "5", "");
    const uint32_t inactive = addAction(2, 15, 1, "5", "");
    // A record cut short: its second text ends at the record's end.
    std::vector<uint8_t> cut = {0, 0, 0, 3, 0, 0, 0, 9, '4', '2', 0, 'D', 'e'};
    uint32_t cutId = 0;
    ASSERT_EQ(handheld_->writeRecord(actions_, &cutId, 0, kAccount, cut.data(), cut.size()), 0);
    const uint8_t tooShort[] = {0, 0, 0, 15, 0};
    uint32_t shortId = 0;
    ASSERT_EQ(handheld_->writeRecord(actions_, &shortId, 0, kAccount, tooShort, sizeof tooShort), 0);

    ASSERT_EQ(open(&session, 0), 0);
    Handle account, other;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    EXPECT_EQ(listed(account.h), (std::vector<uint32_t>{kept, cutId}));
    ASSERT_EQ(IPES_GetAccountById(2, other.out()), 0);
    EXPECT_TRUE(listed(other.h).empty());
    EXPECT_TRUE(onHandheld(kept));
    EXPECT_FALSE(onHandheld(unknownAccount));
    EXPECT_TRUE(onHandheld(inactive));
    TxnHandle first, second;
    ASSERT_EQ(MTxnGetFirst(account.h, first.out()), 0);
    ASSERT_EQ(MTxnGetNext(first.h, second.out()), 0);
    const char* dest = nullptr;
    ASSERT_EQ(MTxnGetDestFld(second.h, &dest), 0);
    EXPECT_STREQ(dest, "De");

    // An account moved to another server loses its queued actions at the next load.
    {
        datamgr::StoreAccount* entry = datamgr::TheMailStore().AccountById(kAccount);
        entry->account->SetHeadWord(accounts::layout::kHeadServerChanged, 1);
        ASSERT_TRUE(entry->account->Save());
    }
    ASSERT_EQ(open(&session, 0), 0);
    EXPECT_FALSE(onHandheld(kept));
    EXPECT_FALSE(onHandheld(cutId));
    EXPECT_TRUE(onHandheld(inactive));
}

TEST_F(PendingActions, ACompletedActionIsGoneFromBothSides) {
    const uint32_t first = addAction(kAccount, 6, 7, "1", "");
    const uint32_t second = addAction(kAccount, 10, 8, "8", "Archive");
    ASSERT_EQ(open(&session, 0), 0);
    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);

    // The handheld refuses the deletion: the action stays, and so does its handle.
    TxnHandle action, stale;
    ASSERT_EQ(MTxnGetFirst(account.h, action.out()), 0);
    ASSERT_EQ(MTxnGetFirst(account.h, stale.out()), 0);
    handheld_->injectFailure("SyncDeleteRecord", 1);
    EXPECT_NE(MTxnMarkComplete(action.out()), 0);
    EXPECT_NE(action.h, nullptr);
    EXPECT_TRUE(onHandheld(first));
    EXPECT_EQ(listed(account.h), (std::vector<uint32_t>{first, second}));

    ASSERT_EQ(MTxnMarkComplete(action.out()), 0);
    EXPECT_EQ(action.h, nullptr);
    EXPECT_FALSE(onHandheld(first));
    EXPECT_EQ(listed(account.h), (std::vector<uint32_t>{second}));
    // Another handle on the completed action finds nothing.
    int type = 0;
    EXPECT_EQ(MTxnGetType(stale.h, &type), 0);
    EXPECT_EQ(type, 9);
    const char* text = nullptr;
    EXPECT_EQ(MTxnGetMsgId(stale.h, &text), kInvalid);
    TxnHandle next;
    EXPECT_EQ(MTxnGetNext(stale.h, next.out()), kInvalid);
    EXPECT_EQ(MTxnMarkComplete(stale.out()), kInvalid);

    // Not an action handle at all.
    EXPECT_EQ(MTxnGetType(account.h, &type), kInvalid);
    EXPECT_EQ(MTxnGetFirst(nullptr, next.out()), kInvalid);

    // Without the synchronisation state the walk is refused.
    IPES_SetTallyhopState(nullptr);
    EXPECT_EQ(MTxnGetFirst(account.h, next.out()), kNoSession);
    EXPECT_EQ(MTxnRelease(stale.out()), kNoSession);
}

// Deleting an account during a synchronisation takes its queued actions off the handheld,
// the loaded ones and any the load passed over; another account's stay.
TEST_F(PendingActions, DeletingTheAccountDeletesItsActionRecords) {
    const uint32_t listedOne = addAction(kAccount, 15, 1, "5", "");
    const uint32_t skipped = addAction(kAccount, 9, 1, "5", "");
    const uint32_t others = addAction(2, 15, 1, "5", "");
    ASSERT_EQ(open(&session, 0), 0);
    Handle account;
    ASSERT_EQ(IPES_GetAccountById(kAccount, account.out()), 0);
    ASSERT_EQ(MAccDelete(account.out()), 0);
    EXPECT_FALSE(onHandheld(listedOne));
    EXPECT_FALSE(onHandheld(skipped));
    EXPECT_TRUE(onHandheld(others));
    TxnHandle none;
    EXPECT_EQ(MTxnGetFirst(account.h, none.out()), kEnd);
}

}  // namespace
}  // namespace tess::datamgr::test
