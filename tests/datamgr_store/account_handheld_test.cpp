// Accounts and the emulated handheld: a new account's head words, the refresh of the
// handheld's main record during the load, the markers cleared after it, and the changed
// tags written to the handheld's preferences.
#include <cstring>
#include <string>
#include <vector>

#include "datamgr/account_field_tags.h"
#include "datamgr/mail_store.h"
#include "engine/accounts/account_layout.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::test {
namespace {

using namespace accounts::layout;

constexpr int kSlot = 7;  // the last slot: the one MAccCreate takes

accounts::CMailAccount& Account(int id = kSlot) { return *datamgr::TheMailStore().AccountById(id)->account; }

class AccountHandheld : public StoreTest {};

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
        EXPECT_EQ(made.h->id, uint32_t(kSlot));
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

}  // namespace
}  // namespace tess::test
