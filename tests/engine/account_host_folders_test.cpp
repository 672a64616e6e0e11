// The account's folders as the engine's host folder list receives them.
#include <gtest/gtest.h>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "engine/account_host_folders.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace tess::engine::test {
namespace {

using namespace accounts;
using namespace accounts::layout;
using Folder = CMailAccount::FolderEntry;

struct Listed {
    int key;
    std::string name;
    std::vector<uint8_t> extra;
    int type;
    bool operator==(const Listed&) const = default;
};

void PrintTo(const Listed& l, std::ostream* os) {
    *os << "{" << l.key << ", \"" << l.name << "\", " << l.extra.size() << " bytes, " << l.type << "}";
}

std::vector<Listed> listed(tess::engine::CFolderMap& map) {
    std::vector<Listed> out;
    for (auto& e : map.Entries()) out.push_back({e->key, e->name, e->extra, e->type});
    return out;
}

class AccountHostFoldersTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    accounts::test::RecordingEnvironment env;
    accounts::test::EmulatedHandheld prefs;
    std::unique_ptr<CMailAccount> account;
    static constexpr int kAccount = 1;

    void SetUp() override {
        AccountInit i;
        i.userId = 1;
        i.accountNumber = kAccount;
        i.userDirectory = home.path().string();
        i.logFolderAdditions = 1;
        account = std::make_unique<CMailAccount>(i, env);
        ASSERT_EQ(account->Load(), 1);
    }
    void setHandheldSlots(const std::vector<std::string>& names) {
        std::vector<uint8_t> p(kFolderPrefSize, 0);
        for (size_t i = 0; i < names.size(); ++i) ByteSpan(p).putText(2 + i * 16, 16, names[i]);
        prefs.Set(kCreatorMail, FolderPrefId(kAccount), p);
        ByteSpan(account->MutableImage().handheld).copy(kFolderPrefCopy, p);
    }
    // Reconciliation on the emulated handheld queues the handheld's named slots.
    void reconcile() {
        const AccountRecord fresh = FreshAccountRecord();
        prefs.Set(kCreatorMail, kAccount, std::vector<uint8_t>(fresh.begin(), fresh.end()));
        prefs.SetText(kCreatorMail, TextPrefId(kAccount, kNameText), "Mail");
        account->SetAccountName("Mail", 0);
        ASSERT_EQ(account->Reconcile(prefs, 0, 0, 1, nullptr), 0);
    }
};

TEST_F(AccountHostFoldersTest, SynchronisedFoldersByTheirHandheldSlot) {
    const std::vector<uint8_t> data64(64, 0x33);
    struct Case {
        const char* what;
        std::vector<Folder> table;
        std::vector<Listed> before;  // already in the list
        std::vector<Listed> expected;
    };
    const Case cases[] = {
        {"no folders", {}, {}, {}},
        {"only synchronised folders, in table order, with their host data",
         {{"Inbox", {1, 2}, 0, 1, 0}, {"Drafts", {9}, 1, 0, 0}, {"Work", data64, 5, 1, 1}},
         {},
         {{0, "Inbox", {1, 2}, -1}, {5, "Work", data64, -1}}},
        {"nothing synchronised", {{"Inbox", {}, 0, 0, 0}, {"Work", {}, 3, 0, 0}}, {}, {}},
        {"a synchronised folder without a slot is keyed as such",
         {{"Archive", {7}, kNoSlot, 1, 0}, {"Inbox", {}, 0, 1, 0}},
         {},
         {{kNoSlot, "Archive", {7}, -1}, {0, "Inbox", {}, -1}}},
        {"a key already listed keeps its entry and counts",
         {{"Inbox", {1}, 0, 1, 0}, {"Work", {}, 4, 1, 0}},
         {{0, "INBOX", {}, 0}},
         {{0, "INBOX", {}, 0}, {4, "Work", {}, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        account->SetFolders(c.table);
        ::tess::engine::CFolderMap map;
        for (const Listed& l : c.before) map.AddFolder(l.key, l.name, l.extra.data(), int(l.extra.size()), l.type);
        EXPECT_EQ(tess::engine::FolderListForHost(*account, map), int(c.expected.size()));
        EXPECT_EQ(listed(map), c.expected);
    }
}

TEST_F(AccountHostFoldersTest, FolderTableFromTheAccountFile) {
    account->SetFolders({{"Inbox", {4, 5, 6}, 0, 1, 0}, {"Lists", {}, 9, 1, 0}, {"Skip", {}, 2, 0, 0}});
    ASSERT_EQ(account->Save(), 1);
    AccountInit i;
    i.userId = 1;
    i.accountNumber = kAccount;
    i.userDirectory = home.path().string();
    CMailAccount again(i, env);
    ASSERT_EQ(again.Load(), 1);
    ::tess::engine::CFolderMap map;
    EXPECT_EQ(tess::engine::FolderListForHost(again, map), 2);
    EXPECT_EQ(listed(map), (std::vector<Listed>{{0, "Inbox", {4, 5, 6}, -1}, {9, "Lists", {}, -1}}));
}

TEST_F(AccountHostFoldersTest, QueuedFoldersByTheirSlot) {
    struct Case {
        const char* what;
        std::vector<std::string> handheldSlots;
        std::vector<Listed> expected;
    };
    const Case cases[] = {
        {"no handheld folders", {}, {}},
        {"named slots only, in slot order",
         {"Inbox", "", "Sent", "", "", "Work"},
         {{0, "Inbox", {}, -1}, {2, "Sent", {}, -1}, {5, "Work", {}, -1}}},
        {"a full 15-character name",
         {"Inbox", "Fifteen-chars-x"},
         {{0, "Inbox", {}, -1}, {1, "Fifteen-chars-x", {}, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setHandheldSlots(c.handheldSlots);
        reconcile();
        ::tess::engine::CFolderMap map;
        EXPECT_EQ(tess::engine::QueuedFolderListForHost(*account, map), int(c.expected.size()));
        EXPECT_EQ(listed(map), c.expected);
    }
}

TEST_F(AccountHostFoldersTest, FoldersPlacedOnTheHandheldAreListedToo) {
    setHandheldSlots({"Inbox", "Sent"});
    reconcile();
    account->SetFolders({{"Inbox", {}, 0, 1, 0}, {"Projects", {8}, kNoSlot, 1, 1}});
    ASSERT_EQ(account->WriteDeviceFolders(prefs), 1);
    ::tess::engine::CFolderMap queued;
    EXPECT_EQ(tess::engine::QueuedFolderListForHost(*account, queued), 3);
    EXPECT_EQ(listed(queued),
              (std::vector<Listed>{{0, "Inbox", {}, -1}, {1, "Sent", {}, -1}, {2, "Projects", {}, -1}}));
    // The placed folder now has its slot, so the synchronised list keys it there as well.
    ::tess::engine::CFolderMap host;
    EXPECT_EQ(tess::engine::FolderListForHost(*account, host), 2);
    EXPECT_EQ(listed(host), (std::vector<Listed>{{0, "Inbox", {}, -1}, {2, "Projects", {8}, -1}}));
}

// At logon the host's own description of each listed folder replaces the handheld's entry
// for its slot: a host finds its folders by its full name and its data, never by the
// handheld's name cut to 15 characters.
TEST_F(AccountHostFoldersTest, ListedFoldersTakeTheirSlotsOverFromTheHandheld) {
    const std::vector<uint8_t> id = {0xDE, 0xAD, 0xBE, 0xEF};
    struct Host {
        const char* name;
        std::vector<uint8_t> extra;
        int type;
    };
    struct Case {
        const char* what;
        std::vector<Folder> table;       // the account's folders after the merge
        std::vector<Host> listedByHost;  // what GetFolderList gave
        std::vector<Listed> expected;
    };
    const Case cases[] = {
        {"a long server name and the host's data replace the handheld's cut name",
         {{"Inbox", {}, 0, 1, 0}, {"Quarterly Reports 2026", id, 1, 1, 0}},
         {{"Inbox", {}, 0}, {"Quarterly Reports 2026", id, -1}},
         {{0, "Inbox", {}, 0}, {1, "Quarterly Reports 2026", id, -1}, {2, "Sent", {}, -1}}},
        {"a slot the host did not list keeps the handheld's entry",
         {{"Inbox", {}, 0, 1, 0}},
         {{"Inbox", {}, 0}},
         {{0, "Inbox", {}, 0}, {1, "Quarterly Repor", {}, -1}, {2, "Sent", {}, -1}}},
        {"a listed folder without a slot is not handed over",
         {{"Inbox", {}, 0, 1, 0}, {"Archive", {7}, kNoSlot, 0, 0}},
         {{"Inbox", {}, 0}, {"Archive", {7}, -1}},
         {{0, "Inbox", {}, 0}, {1, "Quarterly Repor", {}, -1}, {2, "Sent", {}, -1}}},
        {"a folder not synchronised but on the handheld is described too",
         {{"Sent Items", {5}, 2, 0, 0}},
         {{"Sent Items", {5}, 3}},
         {{0, "Inbox", {}, -1}, {1, "Quarterly Repor", {}, -1}, {2, "Sent Items", {5}, 3}}},
        {"no folders from the host",
         {{"Inbox", {}, 0, 1, 0}},
         {},
         {{0, "Inbox", {}, -1}, {1, "Quarterly Repor", {}, -1}, {2, "Sent", {}, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setHandheldSlots({"Inbox", "Quarterly Repor", "Sent"});
        reconcile();
        ::tess::engine::CFolderMap map;
        ASSERT_EQ(tess::engine::QueuedFolderListForHost(*account, map), 3);
        auto held = std::make_unique<CMsg>();
        held->category = 1;
        const CMsg* heldAt = held.get();
        map.AddMsg(std::move(held));
        account->SetFolders(c.table);
        std::vector<FolderRecord> records;
        for (const Host& h : c.listedByHost)
            records.push_back({const_cast<char*>(h.name), int32_t(h.extra.size()),
                               h.extra.empty() ? nullptr : const_cast<uint8_t*>(h.extra.data()), h.type});
        std::vector<FolderRecord*> pointers;
        for (FolderRecord& r : records) pointers.push_back(&r);
        EXPECT_EQ(tess::engine::ListedFolderListForHost(*account, pointers.data(), int(pointers.size()), map),
                  int(c.expected.size()));
        EXPECT_EQ(listed(map), c.expected);
        auto* msgs = map.Messages(1);
        ASSERT_NE(msgs, nullptr);
        ASSERT_EQ(msgs->size(), 1u) << "the messages under a slot stay with it";
        EXPECT_EQ((*msgs)[0].get(), heldAt);
    }
}

}  // namespace
}  // namespace tess::engine::test
