// The server folder table and placing folders into the handheld's sixteen slots.
#include <gtest/gtest.h>
#include <strings.h>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

using namespace layout;
using Folder = CMailAccount::FolderEntry;

class AccountFoldersTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    test::RecordingEnvironment env;
    test::EmulatedHandheld prefs;
    std::unique_ptr<CMailAccount> account;
    static constexpr int kAccount = 2;

    void SetUp() override {
        AccountInit i;
        i.userId = 1;
        i.accountNumber = kAccount;
        i.userDirectory = home.path().string();
        i.logFolderAdditions = 1;
        account = std::make_unique<CMailAccount>(i, env);
        ASSERT_EQ(account->Load(), 1);
    }
    // Handheld folder preference with the given names in slots 0, 1, ...
    std::vector<uint8_t> folderPref(const std::vector<std::string>& names) {
        std::vector<uint8_t> p(kFolderPrefSize, 0);
        for (size_t i = 0; i < names.size(); ++i) ByteSpan(p).putText(2 + i * 16, 16, names[i]);
        return p;
    }
    void setHandheldSlots(const std::vector<std::string>& names) {
        prefs.Set(kCreatorMail, FolderPrefId(kAccount), folderPref(names));
        ByteSpan(account->MutableImage().handheld).copy(kFolderPrefCopy, folderPref(names));
    }
    std::string slotName(int slot) {
        return std::string(ByteView(prefs.Get(kCreatorMail, FolderPrefId(kAccount))).text(2 + size_t(slot) * 16, 16));
    }
};

TEST_F(AccountFoldersTest, MergeKeepsKnownFoldersAndBoundsNewOnes) {
    account->SetFolders({{"Inbox", {1}, 0, 1, 0}, {"Work", {2}, 3, 1, 1}, {"Gone", {}, 4, 1, 0}});
    setHandheldSlots({"Inbox", "Drafts", "Sent", "Trash", "Work", "Archive"});
    const std::string longName(40, 'L');
    const std::vector<uint8_t> bigData(80, 0x5A);
    std::vector<ServerFolderInfo> host = {
        {"INBOX", {}},
        {"work", {}},
        {"Archive", {}},
        {longName, bigData},
    };
    std::vector<std::string> extra;
    for (int i = 0; i < 60; ++i) extra.push_back("F" + std::to_string(i));
    for (auto& e : extra) host.push_back({e, {}});

    ASSERT_EQ(account->MergeServerFolders(host, 0), 1);
    const auto folders = account->Folders();
    ASSERT_EQ(folders.size(), 50u) << "host folders past the 50th are ignored";
    EXPECT_EQ(folders[0].name, "INBOX");
    EXPECT_EQ(folders[0].slot, 0);
    EXPECT_EQ(folders[0].synchronised, 1);
    EXPECT_EQ(folders[1].name, "work");
    EXPECT_EQ(folders[1].slot, 3) << "old slot kept (names match without case)";
    EXPECT_EQ(folders[1].flags, 1u);
    EXPECT_EQ(folders[2].slot, 5) << "new folder finds its handheld slot";
    EXPECT_EQ(folders[3].name, std::string(31, 'L'));
    EXPECT_EQ(folders[3].data.size(), 64u);
    EXPECT_EQ(folders[4].slot, kNoSlot);
    EXPECT_TRUE(env.Logged("Retrieved folder 'work' from server. Already exists."));
    EXPECT_TRUE(env.Logged("Retrieved folder 'Archive' from server. Folder is new to desktop conduit."));
    for (const Folder& f : folders) EXPECT_NE(f.name, "Gone");

    // Reloaded from the file, the table is the same.
    AccountInit i;
    i.userId = 1;
    i.accountNumber = kAccount;
    i.userDirectory = home.path().string();
    CMailAccount again(i, env);
    ASSERT_EQ(again.Load(), 1);
    EXPECT_EQ(again.Folders().size(), 50u);
    EXPECT_EQ(again.Folders()[3].data, std::vector<uint8_t>(64, 0x5A));
}

TEST_F(AccountFoldersTest, MergeWithQueuedFoldersDropsThoseGoneFromTheHandheld) {
    account->SetFolders({{"Inbox", {}, 0, 1, 0}, {"Old", {}, 6, 1, 0}, {"New", {}, kNoSlot, 0, 0}});
    // Reconciliation queues the handheld's folders.
    const AccountRecord fresh = FreshAccountRecord();
    prefs.Set(kCreatorMail, kAccount, std::vector<uint8_t>(fresh.begin(), fresh.end()));
    setHandheldSlots({"Inbox", "", "", "", "", "", "", "New"});
    prefs.SetText(kCreatorMail, TextPrefId(kAccount, kNameText), "Mail");
    account->SetAccountName("Mail", 0);
    ASSERT_EQ(account->Reconcile(prefs, 0, 0, 1, nullptr), 0);
    ASSERT_EQ(account->QueuedFolders().size(), 2u);
    const ServerFolderInfo host[] = {{"Inbox", {}}, {"Old", {}}, {"New", {}}};
    ASSERT_EQ(account->MergeServerFolders(host, 1), 1);
    const auto folders = account->Folders();
    EXPECT_EQ(folders[0].slot, 0);
    EXPECT_EQ(folders[1].slot, kNoSlot);
    EXPECT_EQ(folders[1].synchronised, 0);
    EXPECT_EQ(folders[2].slot, 7);
    EXPECT_TRUE(env.Logged("Folder 'Old' no longer exists on device. Deactivating it for synchronization."));
}

TEST_F(AccountFoldersTest, PlacingMarkedFoldersIntoFreeSlots) {
    std::vector<std::string> inUse;
    for (int i = 0; i < 12; ++i) inUse.push_back("H" + std::to_string(i));
    setHandheldSlots(inUse);
    std::vector<Folder> table;
    for (int i = 0; i < 6; ++i) table.push_back({"Marked" + std::to_string(i), {}, kNoSlot, 1, 1});
    table[5].name = "A-very-long-folder-name";  // 23 characters
    table.push_back({"Plain", {}, kNoSlot, 1, 0});
    account->SetFolders(table);

    ASSERT_EQ(account->WriteDeviceFolders(prefs), 1);
    const auto folders = account->Folders();
    // Two over: the first two marked folders are refused, each logged by name.
    for (int i : {0, 1}) {
        EXPECT_EQ(folders[size_t(i)].synchronised, 0);
        EXPECT_EQ(folders[size_t(i)].flags & 1, 0u);
        EXPECT_TRUE(env.Logged("Max folder count reached. Cannot add Marked" + std::to_string(i) + " to the device"));
    }
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(folders[size_t(i)].slot, 12 + i - 2) << i;
        EXPECT_EQ(folders[size_t(i)].flags & 1, 0u);
    }
    EXPECT_EQ(slotName(15), "A-very-long-fol") << "cut to 15 characters";
    EXPECT_EQ(folders[6].slot, kNoSlot);
    EXPECT_EQ(account->QueuedFolders().size(), 4u);
    EXPECT_STREQ(account->QueuedFolderName(12), "Marked2");
    int handheldSlots = 0;
    account->CountFolders(&handheldSlots, nullptr, nullptr, nullptr);
    EXPECT_EQ(handheldSlots, 16) << "the block's copy follows the handheld";
}

TEST_F(AccountFoldersTest, PlacingFailsSoftlyWhenTheHandheldDoesNotAnswer) {
    account->SetFolders({{"Projects", {}, kNoSlot, 1, 1}});
    EXPECT_EQ(account->WriteDeviceFolders(prefs), 0) << "no folder preference to read";
    setHandheldSlots({"Inbox"});
    prefs.refuseWrites.insert({kCreatorMail, FolderPrefId(kAccount)});
    EXPECT_EQ(account->WriteDeviceFolders(prefs), 0);
    EXPECT_EQ(account->Folders()[0].flags & 1, 1u) << "still marked for the next synchronisation";
    EXPECT_TRUE(account->QueuedFolders().empty());
    prefs.refuseWrites.clear();
    EXPECT_EQ(account->WriteDeviceFolders(prefs), 1);
    EXPECT_EQ(account->Folders()[0].slot, 1);
}

TEST_F(AccountFoldersTest, SelectedFolders) {
    std::vector<int> slots;
    std::vector<std::string> names;
    EXPECT_EQ(account->SelectedFolders(slots, names), 1) << "no table, sync inbox on";
    EXPECT_EQ(slots, std::vector<int>{0});
    EXPECT_TRUE(names.empty());
    int32_t off = 0;
    account->SetValue(kValueSyncInbox, &off, 4);
    EXPECT_EQ(account->SelectedFolders(slots, names), 0);

    account->SetFolders({{"A", {}, 2, 1, 0}, {"B", {}, 3, 0, 0}, {"C", {}, kNoSlot, 1, 0}});
    EXPECT_EQ(account->SelectedFolders(slots, names), 2);
    EXPECT_EQ(slots, (std::vector<int>{2, kNoSlot}));
    EXPECT_EQ(names, (std::vector<std::string>{"A", "C"}));
}

TEST_F(AccountFoldersTest, FolderSyncSwitchWaitsForAFreeHandheldSlot) {
    // Fourteen handheld slots in use; "Old" is on the handheld, the others wait or not.
    std::vector<std::string> slots;
    for (int i = 0; i < 14; ++i) slots.push_back("S" + std::to_string(i));
    setHandheldSlots(slots);
    account->SetFolders({{"Old", {1}, 3, 0, 0},
                         {"Pending", {2}, kNoSlot, 1, 1},
                         {"New1", {3}, kNoSlot, 0, 0},
                         {"New2", {4}, kNoSlot, 0, 0}});
    struct Step {
        const char* name;
        int on;
        int result;
        int32_t synchronised;
        uint32_t flags;
    } steps[] = {
        {"missing", 1, 0, 0, 0}, {"OLD", 1, 1, 1, 0},      // on the handheld: the flag only, names without case
        {"Old", 0, 1, 0, 0},     {"pending", 1, 1, 1, 1},  // already waiting: it does not count itself
        {"new1", 1, 1, 1, 1},                              // 14 slots + 1 waiting + itself = 16
        {"New2", 1, 0, 0, 0},                              // a 17th is refused and left off
        {"New1", 0, 1, 0, 0},                              // off clears the wait
        {"New2", 1, 1, 1, 1},                              // room again
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.name << " " << s.on);
        EXPECT_EQ(account->SetFolderSync(s.name, s.on), s.result);
        for (const Folder& f : account->Folders())
            if (strcasecmp(f.name.c_str(), s.name) == 0) {
                EXPECT_EQ(f.synchronised, s.synchronised);
                EXPECT_EQ(f.flags & 1u, s.flags);
            }
    }
}

}  // namespace
}  // namespace tess::accounts::test
