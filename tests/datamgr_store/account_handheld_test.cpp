// Accounts and the emulated handheld: a new account's head words, the refresh of the
// handheld's main record during the load, the markers cleared after it, and the changed
// tags written to the handheld's preferences.
#include <cstring>
#include <string>
#include <vector>

#include "datamgr/account_field_tags.h"
#include "datamgr/mail_store.h"
#include "accounts/account_layout.h"
#include "datamgr/store_handles.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {
namespace {

using namespace accounts::layout;

constexpr int kSlot = 7;  // the last slot: the one MAccCreate takes

accounts::CMailAccount& Account(int id = kSlot) { return *datamgr::TheMailStore().AccountById(id)->account; }

class AccountHandheld : public StoreTest {
protected:
    void putPreference(uint16_t id, std::vector<uint8_t> data, uint32_t creator = kMail) {
        platform::syncmgr::PreferenceEntry p;
        p.creator = creator;
        p.id = id;
        p.backup = true;
        p.data = std::move(data);
        ASSERT_EQ(handheld_->writePreference(p), 0);
    }
    std::vector<uint8_t> preference(uint16_t id) {
        platform::syncmgr::PreferenceEntry p;
        return handheld_->readPreference(kMail, id, true, &p) == 0 ? p.data : std::vector<uint8_t>();
    }
    static std::vector<uint8_t> Text(const std::string& t) {
        return std::vector<uint8_t>(t.c_str(), t.c_str() + t.size() + 1);
    }
    // An account the handheld knows under the same name, so that it validates.
    void knownAccount(int slot, const std::string& name, bool withFolders = true) {
        putPreference(uint16_t(slot * 19 + 16), Text(name));
        if (withFolders) putPreference(uint16_t(slot + 160), std::vector<uint8_t>(kFolderPrefSize, 0));
    }
    int session = 1;
};

// A main record full of 0xAA but for the protocol word (0, so that no side is IMAP).
std::vector<uint8_t> PatternRecord() {
    std::vector<uint8_t> r(180, 0xAA);
    r[0] = r[1] = 0;
    return r;
}

TEST_F(AccountHandheld, CreationMarksTheSlotAsNew) {
    struct Case {
        const char* what;
        uint32_t present, word0;  // head words left by the slot's earlier account
    };
    const std::vector<Case> cases = {
        {"fresh slot", 0, 0},
        {"slot of an account that was on the handheld", 1, 2},
        {"slot whose word held a protocol and a mark", 1, 0x80000004u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(open(), 0);
        accounts::CMailAccount& before = Account();
        before.SetHeadWord(kHeadPresentOnHandheld, c.present);
        before.SetHeadWord(kHeadHandheldWord0, c.word0);
        datamgr::SetTagNumber(before, 5, 3);
        datamgr::SetTagNumber(before, 19, 995);
        ASSERT_TRUE(before.Save());

        ASSERT_EQ(open(), 0);
        Handle made;
        ASSERT_EQ(MAccCreate(made.out()), 0);
        EXPECT_EQ(datamgr::HandleFields(made.h)->id, uint32_t(kSlot));
        ASSERT_EQ(open(), 0);  // read back from the account file
        const accounts::CMailAccount& a = Account();
        EXPECT_EQ(a.AccountName(), "Mail 8");
        EXPECT_EQ(a.HeadWord(kHeadHandheldWord0), 0x80000000u);
        EXPECT_EQ(a.HeadWord(kHeadPresentOnHandheld), 0u);
        EXPECT_EQ(datamgr::TagNumber(a, 5), 0);
        EXPECT_EQ(datamgr::TagNumber(a, 19), 110);

        // The name goes: the slot is free for the next case.
        Account().SetDefaults();
        ASSERT_TRUE(Account().Save());
    }
}

TEST_F(AccountHandheld, LoadRefreshesTheMainRecordOfServerFolderAccounts) {
    struct Case {
        const char* what;
        int16_t protocol;
        uint32_t word0;
        int noDialog;
        bool folders, record;
        bool refreshed;
    };
    const std::vector<Case> cases = {
        {"IMAP", 7, 0, 0, true, true, true},
        {"protocol 4", 4, 0, 0, true, true, true},
        {"business account by the handheld's word", 2, 4, 0, true, true, true},
        {"business mark under the creation bit", 2, 0x80000004u, 0, true, true, true},
        {"protocol 2", 2, 0, 0, true, true, false},
        {"protocol 8", 8, 0, 0, true, true, false},
        {"no dialogs", 7, 0, 1, true, true, false},
        {"does not validate: no folder preference", 6, 0, 0, false, true, false},
    };
    ASSERT_EQ(open(), 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const int slot = int(i);
        const std::string name = "Acct" + std::to_string(slot);
        ASSERT_EQ(open(), 0);
        accounts::CMailAccount& a = Account(slot);
        ASSERT_EQ(a.SetValue(accounts::kValueAccountName, name.c_str(), unsigned(name.size() + 1)), 1);
        datamgr::SetTagNumber(a, 5, c.protocol);
        a.SetHeadWord(kHeadHandheldWord0, c.word0);
        ASSERT_TRUE(a.Save());
        knownAccount(slot, name, c.folders);
        putPreference(uint16_t(slot), PatternRecord());

        ASSERT_EQ(open(&session, c.noDialog), 0);
        const std::vector<uint8_t> r = preference(uint16_t(slot));
        ASSERT_EQ(r.size(), 180u);
        if (!c.refreshed) {
            EXPECT_EQ(r, PatternRecord());
            continue;
        }
        for (size_t at : {38, 40, 52, 133, 139, 140, 154}) EXPECT_EQ(r[at], 1) << at;
        for (size_t at : {50, 136, 141, 151, 62, 63, 64, 54, 56}) EXPECT_EQ(r[at], 0) << at;
        for (size_t at : {66, 67, 68, 69}) EXPECT_EQ(r[at], 0xFF) << at;
        EXPECT_EQ(r[65], 1);
        EXPECT_EQ(r[55], 99);
        EXPECT_EQ(r[57], 61);
        EXPECT_EQ(r[148], 7);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[79])), "Sent");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[96])), "Trash");
        // The handheld's other values stay.
        for (size_t at : {0, 1}) EXPECT_EQ(r[at], 0) << at;
        for (size_t at : {2, 4, 51, 137, 146, 149, 155, 179}) EXPECT_EQ(r[at], 0xAA) << at;
    }
}

TEST_F(AccountHandheld, RefreshLeavesAMissingMainRecordMissing) {
    ASSERT_EQ(open(), 0);
    accounts::CMailAccount& a = Account(3);
    ASSERT_EQ(a.SetValue(accounts::kValueAccountName, "Home", 5), 1);
    datamgr::SetTagNumber(a, 5, 7);
    ASSERT_TRUE(a.Save());
    knownAccount(3, "Home");
    ASSERT_EQ(open(&session, 0), 0);
    EXPECT_TRUE(preference(3).empty());
}

TEST_F(AccountHandheld, LoadClearsTheChangedMarkersOnceCarriedOut) {
    struct Case {
        const char* what;
        uint32_t reset, serverChanged, deleted;
        int noDialog;
        uint32_t resetAfter, serverChangedAfter, deletedAfter;
    };
    const std::vector<Case> cases = {
        {"reset", 1, 0, 0, 0, 0, 0, 0},
        {"incoming server changed", 0, 1, 0, 0, 0, 0, 0},
        {"both", 1, 1, 0, 0, 0, 0, 0},
        {"deletion is the reconciliation's to clear", 1, 0, 1, 0, 0, 0, 1},
        {"no dialogs: nothing loaded, nothing cleared", 1, 1, 0, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(open(), 0);
        accounts::CMailAccount& a = Account(2);
        ASSERT_EQ(a.SetValue(accounts::kValueAccountName, "Home", 5), 1);
        a.SetHeadWord(kHeadDropMessages, c.reset);
        a.SetHeadWord(kHeadServerChanged, c.serverChanged);
        a.SetHeadWord(kHeadDeleteFromHandheld, c.deleted);
        ASSERT_TRUE(a.Save());

        ASSERT_EQ(open(&session, c.noDialog), 0);
        ASSERT_EQ(open(), 0);  // read back from the account file
        const accounts::CMailAccount& after = Account(2);
        EXPECT_EQ(after.HeadWord(kHeadDropMessages), c.resetAfter);
        EXPECT_EQ(after.HeadWord(kHeadServerChanged), c.serverChangedAfter);
        EXPECT_EQ(after.HeadWord(kHeadDeleteFromHandheld), c.deletedAfter);
        EXPECT_EQ(after.AccountName(), "Home");
        Account(2).SetDefaults();
        ASSERT_TRUE(Account(2).Save());
    }
}

class ChangedTags : public AccountHandheld {
protected:
    // Account 7, named Work, in a session during a synchronisation; the handheld has its
    // main record (all zero) when asked.
    void SetUp() override {
        AccountHandheld::SetUp();
        ASSERT_EQ(open(), 0);
        Handle made;
        ASSERT_EQ(MAccCreate(made.out()), 0);
        ASSERT_EQ(MAccSave(made.h), 0);
    }
    void openSync(bool withRecord = true) {
        if (withRecord) putPreference(kSlot, std::vector<uint8_t>(180, 0));
        ASSERT_EQ(open(&session, 1), 0);
        ASSERT_EQ(IPES_GetAccountById(kSlot, account.out()), 0);
    }
    // A change of every kind.
    void change() {
        char on = 1, off = 0;
        short port = 143;
        ASSERT_EQ(MAccSetStringData(account.h, 2, "ada"), 0);          // tag 1
        ASSERT_EQ(MAccSetStringData(account.h, 2, "ada"), 0);          // listed once
        ASSERT_EQ(MAccSetStringData(account.h, 6, "bcc@x.org"), 0);    // tag 11
        ASSERT_EQ(MAccSetStringData(account.h, 0, "Work"), 0);         // tag 30
        ASSERT_EQ(MAccSetStringData(account.h, 12, "Sent Items"), 0);  // tag 26
        ASSERT_EQ(MAccSetInt16Data(account.h, 0, &port), 0);           // tag 19
        ASSERT_EQ(MAccSetBoolData(account.h, 13, &on), 0);             // tag 31
        ASSERT_EQ(MAccSetBoolData(account.h, 9, &on), 0);              // tag 32
        ASSERT_EQ(MAccSetBoolData(account.h, 10, &off), 0);            // tag 4, inverted
        accounts::CMailAccount& a = Account();
        EXPECT_EQ(datamgr::SetTagNumber(a, 24, 10240), datamgr::SetResult::changed);
        datamgr::CMailStore::SetFolderSlotName(a, 6, "Travel");
        a.AddPendingChange(29);
        ASSERT_EQ(a.Image().tags, (std::vector<uint32_t>{1, 11, 30, 26, 19, 31, 32, 4, 24, 29}));
    }
    std::string textPreference(uint16_t id) {
        const std::vector<uint8_t> p = preference(id);
        if (p.empty() || p.back() != 0) return "(none)";
        return std::string(reinterpret_cast<const char*>(p.data()));
    }
    std::vector<uint32_t> tagsInFile() {
        EXPECT_EQ(open(), 0);
        return Account().Image().tags;
    }
    Handle account;
};

TEST_F(ChangedTags, SaveDuringASynchronisationSendsEachChangeToItsPlace) {
    openSync();
    change();
    ASSERT_EQ(MAccSave(account.h), 0);
    EXPECT_TRUE(Account().Image().tags.empty());

    struct Text {
        uint16_t id;
        const char* value;
    };
    for (const Text& t : {Text{7 * 19 + 17, "ada"}, Text{7 * 19 + 350, "bcc@x.org"}, Text{7 * 19 + 16, "Work"}})
        EXPECT_EQ(textPreference(t.id), t.value) << t.id;
    const std::vector<uint8_t> r = preference(kSlot);
    ASSERT_EQ(r.size(), 180u);
    struct Byte {
        size_t at;
        uint8_t value;
    };
    for (const Byte& b : {Byte{4, 0}, Byte{5, 143}, Byte{146, 1}, Byte{150, 1}, Byte{134, 1}, Byte{6, 0}, Byte{7, 10},
                          Byte{0, 0}, Byte{1, 0}, Byte{2, 0}, Byte{32, 0}, Byte{33, 0}})
        EXPECT_EQ(r[b.at], b.value) << b.at;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[79])), "Sent Items");
    const std::vector<uint8_t> folders = preference(7 + 160);
    ASSERT_EQ(folders.size(), size_t(kFolderPrefSize));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&folders[2 + 16 * 6])), "Travel");
    EXPECT_TRUE(tagsInFile().empty());
}

TEST_F(ChangedTags, AFailedWriteKeepsThatChangeForLater) {
    openSync();
    change();
    handheld_->injectFailure("SyncWriteAppPreference", 1);  // the first: tag 1
    ASSERT_EQ(MAccSave(account.h), 0);
    EXPECT_EQ(textPreference(7 * 19 + 17), "(none)");
    EXPECT_EQ(textPreference(7 * 19 + 16), "Work");
    EXPECT_EQ(Account().Image().tags, std::vector<uint32_t>{1});
    ASSERT_EQ(MAccSave(account.h), 0);
    EXPECT_EQ(textPreference(7 * 19 + 17), "ada");
    EXPECT_TRUE(tagsInFile().empty());
}

TEST_F(ChangedTags, WithoutTheHandheldRecordOrOutsideASynchronisationNothingIsSent) {
    struct Case {
        const char* what;
        bool sync, record;
    };
    for (const Case& c : {Case{"no main record", true, false}, Case{"outside a synchronisation", false, true}}) {
        SCOPED_TRACE(c.what);
        if (c.sync) {
            openSync(c.record);
        } else {
            putPreference(kSlot, std::vector<uint8_t>(180, 0));
            ASSERT_EQ(open(), 0);
            ASSERT_EQ(IPES_GetAccountById(kSlot, account.out()), 0);
        }
        change();
        ASSERT_EQ(MAccSave(account.h), 0);
        EXPECT_EQ(textPreference(7 * 19 + 17), "(none)");
        EXPECT_EQ(tagsInFile(), (std::vector<uint32_t>{1, 11, 30, 26, 19, 31, 32, 4, 24, 29}));
        // The next case starts from a clean account.
        Account().SetDefaults();
        ASSERT_TRUE(Account().Save());
        MAccRelease(account.out());
    }
}

TEST_F(ChangedTags, TextPreferenceIdsFollowTheAccountIndex) {
    ASSERT_EQ(open(), 0);
    accounts::CMailAccount& a = Account(2);
    ASSERT_EQ(a.SetValue(accounts::kValueAccountName, "Home", 5), 1);
    ASSERT_TRUE(a.Save());
    putPreference(2, std::vector<uint8_t>(180, 0));
    ASSERT_EQ(open(&session, 1), 0);
    Handle home;
    ASSERT_EQ(IPES_GetAccountById(2, home.out()), 0);
    ASSERT_EQ(MAccSetStringData(home.h, 6, "copy@x.org"), 0);
    ASSERT_EQ(MAccSave(home.h), 0);
    EXPECT_EQ(textPreference(388), "copy@x.org");
}

}  // namespace
}  // namespace tess::datamgr::test
