// Reconciling one account between the handheld's preferences and the account file.
#include <gtest/gtest.h>

#include <functional>

#include "accounts/block_fields.h"
#include "accounts/mail_account.h"
#include "tests/accounts/account_test_env.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

using namespace layout;
constexpr int kN = 1;  // the account number used throughout
constexpr int kUser = 9;

struct World {
    tess::test::TempHome home;
    test::RecordingEnvironment env;
    test::EmulatedHandheld prefs;
    std::unique_ptr<CMailAccount> account;

    explicit World(int logFolderAdditions = 0) {
        AccountInit i;
        i.userId = kUser;
        i.accountNumber = kN;
        i.userDirectory = home.path().string();
        i.logFolderAdditions = logFolderAdditions;
        account = std::make_unique<CMailAccount>(i, env);
        account->Load();
        record(FreshAccountRecord());
        prefs.Set(kCreatorMail, FolderPrefId(kN), std::vector<uint8_t>(kFolderPrefSize, 0));
    }
    void record(const AccountRecord& r) { prefs.Set(kCreatorMail, kN, std::vector<uint8_t>(r.begin(), r.end())); }
    void protocol(uint16_t word) {
        auto r = prefs.Get(kCreatorMail, kN);
        ByteSpan(r).putU16be(0, word);
        prefs.Set(kCreatorMail, kN, r);
    }
    void handheldName(const std::string& name) { prefs.SetText(kCreatorMail, TextPrefId(kN, kNameText), name); }
    std::string handheldNameNow() { return prefs.Text(kCreatorMail, TextPrefId(kN, kNameText)); }
    void desktop(const std::string& name, int32_t client = 8, int32_t active = 1) {
        account->SetAccountName(name.c_str(), 0);
        account->SetValue(kValueMailClient, &client, 4);
        account->SetValue(kValueActive, &active, 4);
        account->Save();
    }
    void storedProtocol(uint16_t word) {
        std::array<uint8_t, kHandheldSize> b{};
        ByteSpan(b).putU16le(kWord0, word);
        account->ApplyHandheldBlock(b);
    }
    bool has(const std::string& message) const {
        return std::find(env.messages.begin(), env.messages.end(), message) != env.messages.end();
    }
    uint16_t recordWord(size_t at) { return ByteView(prefs.Get(kCreatorMail, kN)).u16be(at); }
    // A head word as the account file on disk holds it.
    uint32_t fileHeadWord(size_t at) {
        AccountInit i;
        i.userId = kUser;
        i.accountNumber = kN;
        i.userDirectory = home.path().string();
        CMailAccount again(i, env);
        again.Load();
        return again.HeadWord(at);
    }
};

struct Scenario {
    const char* what;
    std::function<void(World&)> setUp;
    int readOnly;
    int expected;
    std::function<void(World&)> check;
};

TEST(Reconcile, Scenarios) {
    const Scenario scenarios[] = {
        {"on the handheld only", [](World& w) { w.handheldName("Home"); }, 0, 0,
         [](World& w) {
             EXPECT_EQ(w.account->AccountName(), "Home");
             EXPECT_EQ(w.account->HeadWord(kHeadPresentOnHandheld), 1u);
             EXPECT_TRUE(w.has("4174::"));
             EXPECT_TRUE(w.has("4267:Home:Home"));
         }},
        {"on the desktop only", [](World& w) { w.desktop("Work"); }, 0, 0,
         [](World& w) {
             EXPECT_EQ(w.handheldNameNow(), "Work");
             EXPECT_TRUE(w.has("4101:Work:"));
             EXPECT_EQ(w.recordWord(54), 99) << "the account record was reset for a new account";
             EXPECT_EQ(w.account->HeadWord(kHeadPresentOnHandheld), 1u);
         }},
        {"on the desktop only, name write refused",
         [](World& w) {
             w.desktop("Work");
             w.prefs.refuseWrites.insert({kCreatorMail, TextPrefId(kN, kNameText)});
         },
         0, SYNCERR_LOST_CONNECTION, [](World& w) { EXPECT_TRUE(w.has("4102::")); }},
        {"on both, names equal without case",
         [](World& w) {
             w.desktop("home");
             w.handheldName("Home");
         },
         0, 0,
         [](World& w) {
             EXPECT_EQ(w.account->AccountName(), "home");
             EXPECT_FALSE(w.prefs.Wrote(kCreatorMail, TextPrefId(kN, kNameText)));
         }},
        {"in conflict: the handheld's name wins, values stay",
         [](World& w) {
             w.desktop("Office");
             int32_t days = 21;
             w.account->SetValue(kValueDaysToSync, &days, 4);
             w.handheldName("Home");
         },
         0, 0,
         [](World& w) {
             EXPECT_EQ(w.account->AccountName(), "Home");
             EXPECT_EQ(ByteView(w.account->Image().desktop).u32le(kDaysToSync), 21u);
         }},
        {"deleted on the handheld",
         [](World& w) {
             w.desktop("Gone");
             w.handheldName("@@deleted");
         },
         0, kReconcileDeleted,
         [](World& w) {
             EXPECT_EQ(w.handheldNameNow(), "");
             EXPECT_EQ(w.account->AccountName(), "");
             EXPECT_TRUE(w.account->DeletedThisSync());
             EXPECT_EQ(w.recordWord(54), 88) << "a fresh account record";
         }},
        {"deleted on the handheld, read-only",
         [](World& w) {
             w.desktop("Gone");
             w.handheldName("@@deleted");
             w.prefs.writes.clear();
         },
         1, kReconcileDeleted,
         [](World& w) {
             EXPECT_TRUE(w.prefs.writes.empty());
             EXPECT_EQ(w.account->AccountName(), "Gone");
         }},
        {"marked for deletion on the desktop",
         [](World& w) {
             w.desktop("Old");
             w.handheldName("Old");
             w.prefs.SetText(kCreatorMail, TextPrefId(kN, 15), "mail.example.org");
             w.account->SetHeadWord(kHeadDeleteFromHandheld, 1);
         },
         0, kReconcileDeleted,
         [](World& w) {
             EXPECT_EQ(w.prefs.Text(kCreatorMail, TextPrefId(kN, 15)), "") << "handheld texts emptied";
             EXPECT_EQ(w.handheldNameNow(), "");
             EXPECT_EQ(w.account->HeadWord(kHeadDeleteFromHandheld), 0u);
         }},
        {"marked for deletion on the desktop, emptying the name refused",
         [](World& w) {
             w.desktop("Old");
             w.handheldName("Old");
             w.account->SetHeadWord(kHeadDeleteFromHandheld, 1);
             w.prefs.refuseWrites.insert({kCreatorMail, TextPrefId(kN, kNameText)});
         },
         0, kReconcileDeleted,
         [](World& w) {
             EXPECT_FALSE(w.has("4102::")) << "that message is about installing an account";
             EXPECT_TRUE(w.env.Logged("Unable to remove the name of account Old"));
             EXPECT_EQ(w.fileHeadWord(kHeadDeleteFromHandheld), 1u) << "the deletion is tried again";
             w.prefs.refuseWrites.clear();
             EXPECT_EQ(w.account->Reconcile(w.prefs, 0, 0, 0, nullptr), kReconcileDeleted);
             EXPECT_EQ(w.handheldNameNow(), "");
             EXPECT_EQ(w.fileHeadWord(kHeadDeleteFromHandheld), 0u);
         }},
        {"the business account keeps its name without the marker",
         [](World& w) {
             w.desktop("Corp");
             w.storedProtocol(4);
             w.env.relay["Installed"] = 1;
             w.handheldName("@@Corp");
         },
         0, 0, [](World& w) { EXPECT_EQ(w.handheldNameNow(), "Corp"); }},
        {"the business account removed on the handheld",
         [](World& w) {
             w.desktop("Corp");
             w.storedProtocol(4);
             w.env.relay["Installed"] = 0x40000001;
             w.env.relay["User"] = kUser;
             w.handheldName("@@deleted");
         },
         0, kReconcileDeleted,
         [](World& w) {
             EXPECT_EQ(w.handheldNameNow(), "@@Business");
             EXPECT_EQ(w.env.enterpriseCleared, 1);
             EXPECT_EQ(w.env.relay["Installed"], 0x40000000u);
             EXPECT_TRUE(w.has("4208::"));
             EXPECT_TRUE(w.account->DeletedThisSync());
         }},
        {"business rules skipped when the relay is not installed",
         [](World& w) {
             w.desktop("Corp");
             w.storedProtocol(4);
             w.handheldName("@@Corp");
         },
         0, 0, [](World& w) { EXPECT_EQ(w.account->AccountName(), "@@Corp"); }},
        {"IMAP on the handheld only",
         [](World& w) {
             w.desktop("Mail", 8);
             w.handheldName("Mail");
             w.protocol(1);
             w.prefs.SetText(kCreatorMail, TextPrefId(kN, 15), "imap.example.org");
         },
         0, kReconcileImapOneSide,
         [](World& w) {
             EXPECT_EQ(ByteView(w.account->Image().handheld).text(kIncomingServer.offset, kIncomingServer.width),
                       "imap.example.org")
                 << "texts are still read";
         }},
        {"IMAP on the desktop only",
         [](World& w) {
             w.desktop("Mail", 7);
             w.handheldName("Mail");
         },
         0, kReconcileImapOneSide, [](World&) {}},
        {"IMAP on both",
         [](World& w) {
             w.desktop("Mail", 7);
             w.handheldName("Mail");
             w.protocol(1);
         },
         0, 0, [](World&) {}},
        {"external component never IMAP-checked",
         [](World& w) {
             w.desktop("Ext", 300);
             w.handheldName("Ext");
             w.protocol(1);
         },
         0, 0, [](World&) {}},
        {"not a desktop account",
         [](World& w) {
             w.desktop("Web");
             w.handheldName("Web");
             w.protocol(3);
         },
         0, kReconcileNotDesktop,
         [](World& w) {
             EXPECT_EQ(w.account->MailClient(), 255);
             EXPECT_EQ(w.fileHeadWord(kHeadHandheldWord0), 3u) << "the handheld's word 0 is kept on this road too";
         }},
        {"deleted on the handheld keeps the handheld's word 0",
         [](World& w) {
             w.desktop("Gone");
             w.handheldName("@@deleted");
             w.protocol(8);
         },
         0, kReconcileDeleted, [](World& w) { EXPECT_EQ(w.fileHeadWord(kHeadHandheldWord0), 8u); }},
        {"text 23 stands in for a missing text 21",
         [](World& w) {
             w.desktop("Mail");
             w.handheldName("Mail");
             w.prefs.SetText(kCreatorMail, TextPrefId(kN, 23), "longer text");
         },
         0, 0,
         [](World& w) {
             EXPECT_EQ(ByteView(w.account->Image().handheld).text(kText255.offset, kText255.width), "longer text");
         }},
        {"already a placeholder",
         [](World& w) {
             w.desktop("Web", 255);
             w.protocol(3);
         },
         0, kReconcileAlreadyPlaceholder, [](World&) {}},
        {"no account record",
         [](World& w) {
             w.desktop("Mail");
             w.prefs.missing.insert({kCreatorMail, kN});
         },
         0, kReconcileNoRecord, [](World& w) { EXPECT_TRUE(w.has("4173::")); }},
        {"no folder preference is the result",
         [](World& w) {
             w.desktop("Mail");
             w.handheldName("Mail");
             w.prefs.missing.insert({kCreatorMail, FolderPrefId(kN)});
         },
         0, SYNCERR_NOT_FOUND, [](World&) {}},
        {"protocol changed for a present account",
         [](World& w) {
             w.desktop("Mail", 8);
             w.storedProtocol(0);
             w.account->SetHeadWord(kHeadPresentOnHandheld, 1);
             w.handheldName("Mail");
             w.protocol(2);
         },
         0, 0,
         [](World& w) {
             EXPECT_TRUE(w.has("4463:Mail:"));
             EXPECT_TRUE(w.has("4465::"));
             EXPECT_EQ(w.account->HeadWord(kHeadServerChanged), 1u);
             EXPECT_EQ(w.account->HeadWord(kHeadHandheldWord0), 2u);
         }},
        {"read-only stores nothing",
         [](World& w) {
             w.desktop("Mail", 8);
             w.account->SetHeadWord(kHeadPresentOnHandheld, 1);
             w.handheldName("Mail");
             w.protocol(2);
             w.account->AddPendingChange(1);
             w.prefs.writes.clear();
         },
         1, 0,
         [](World& w) {
             EXPECT_TRUE(w.prefs.writes.empty());
             EXPECT_EQ(w.account->Image().tags.size(), 1u);
             EXPECT_EQ(w.account->HeadWord(kHeadServerChanged), 0u);
             EXPECT_EQ(ByteView(w.account->Image().handheld).u16le(kWord0), 0);
         }},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        World w;
        s.setUp(w);
        EXPECT_EQ(w.account->Reconcile(w.prefs, 0, s.readOnly, 0, nullptr), s.expected);
        s.check(w);
    }
}

TEST(Reconcile, HandheldValuesReachTheBlock) {
    World w;
    w.desktop("Mail", 8);
    w.handheldName("Mail");
    AccountRecord r = FreshAccountRecord();
    ByteSpan rs(r);
    rs.putU16be(4, 995);
    rs.putU16be(6, 20);
    rs.putU8(132, 7);
    rs.putU8(134, 3);  // connection type: TCP/IP
    rs.putTextCut(79, 17, "Sent Mail");
    w.record(r);
    w.prefs.SetText(kCreatorMail, TextPrefId(kN, 21), "abc");
    w.prefs.SetText(kCreatorMail, TextPrefId(kN, 23), "longer text");
    w.prefs.SetText(kCreatorMail, TextPrefId(kN, 18), "sealed[k]pass");
    w.prefs.SetText(kCreatorMail, TextPrefId(kN, 410), "not sealed");
    w.prefs.SetText(kCreatorMail, TextPrefId(kN, 17), std::string(200, 'u'));  // field is 80
    auto folders = std::vector<uint8_t>(kFolderPrefSize, 0);
    ByteSpan(folders).putText(2, 16, "Inbox");
    ByteSpan(folders).putText(2 + 3 * 16, 16, "Travel");
    ByteSpan(folders).putU8(258, 1);
    ByteSpan(folders).putU16le(276, 0x4242);
    w.prefs.Set(kCreatorMail, FolderPrefId(kN), folders);
    for (int i = 0; i < 12; ++i) {
        std::vector<uint8_t> f(kHandheldFilterSize, 0);
        ByteSpan(f).putText(0, 32, "f" + std::to_string(i));
        f[32] = 1;
        w.prefs.Set(kCreatorMail, FilterPrefId(kN, i), f);
    }

    ASSERT_EQ(w.account->Reconcile(w.prefs, 0, 0, 0, "k"), 0);
    ByteView b(w.account->Image().handheld);
    EXPECT_EQ(b.u16le(kIncomingPort), 995);
    EXPECT_EQ(b.u32le(kMaxMessageBytes), 20u * 1024);
    EXPECT_EQ(b.u32le(kBlindCopyOn), 1u);
    EXPECT_EQ(b.u32le(kValue2936), 3u) << "the connection type keeps its value; it is not a switch";
    EXPECT_EQ(b.text(kSentFolder.offset, kSentFolder.width), "Sent Mail");
    EXPECT_EQ(b.text(kText255.offset, kText255.width), "longer text");
    EXPECT_EQ(b.text(kPassword.offset, kPassword.width), "pass") << "unsealed with the key";
    EXPECT_EQ(b.text(kSmtpPassword.offset, kSmtpPassword.width), "not sealed") << "kept as stored";
    EXPECT_EQ(b.text(kUserName.offset, kUserName.width), std::string(79, 'u'));
    EXPECT_EQ(b.u32le(kFilterCount), 11u) << "at most 11 filters";
    EXPECT_STREQ(w.account->Filter(10).name, "f10");
    EXPECT_EQ(b.u8(kFolderPrefCopy + kFolderPrefFlags), 0) << "slot flags cleared in the copy";
    EXPECT_EQ(b.u16le(kFolderPrefCopy + 276), 0);
    EXPECT_EQ(b.text(kFolderPrefCopy + 2 + 3 * 16, 16), "Travel");
    ASSERT_EQ(w.account->QueuedFolders().size(), 2u);
    EXPECT_EQ(w.account->QueuedFolders()[1].slot, 3);
    EXPECT_EQ(w.account->SecondHandheldBlock()[kIncomingPort], b.u8(kIncomingPort));
}

TEST(Reconcile, PendingChangesFlushAndFailedOnesStay) {
    World w;
    w.desktop("Mail", 8);
    w.handheldName("Mail");
    ASSERT_EQ(w.account->Reconcile(w.prefs, 0, 0, 0, nullptr), 0);
    ByteSpan h(w.account->MutableImage().handheld);
    h.putText(kPassword.offset, kPassword.width, "secret");
    h.putU16le(kIncomingPort, 143);
    h.putU32le(kMaxMessageBytes, 8192);
    h.putText(kSmtpServer.offset, kSmtpServer.width, "smtp.example.org");
    h.putText(kEmailAddress.offset, kEmailAddress.width, "me@example.org");
    for (uint32_t tag : {2u, 19u, 24u, 22u, 3u, 23u, 99u}) w.account->AddPendingChange(tag);
    w.prefs.refuseWrites.insert({kCreatorMail, TextPrefId(kN, 12)});  // the e-mail address

    ASSERT_EQ(w.account->Reconcile(w.prefs, 0, 0, 0, "k"), 0);
    EXPECT_EQ(w.prefs.Text(kCreatorMail, TextPrefId(kN, 18)), "sealed[k]secret");
    EXPECT_EQ(w.recordWord(4), 143);
    EXPECT_EQ(w.recordWord(6), 8);
    EXPECT_EQ(w.prefs.Text(kCreatorMail, TextPrefId(kN, 10)), "smtp.example.org");
    // The refused change is logged, keeps its tag and its desktop value.
    EXPECT_EQ(w.account->Image().tags, std::vector<uint32_t>{3});
    EXPECT_EQ(w.account->HeadWord(kHeadPendingCount), 1u);
    EXPECT_TRUE(w.env.Logged("Unable to write change 3"));
    ByteView b(w.account->Image().handheld);
    EXPECT_EQ(b.text(kEmailAddress.offset, kEmailAddress.width), "me@example.org");
    EXPECT_EQ(b.u16le(kIncomingPort), 143) << "read back from the handheld";

    // Without a key the password goes plain; record tags without a record are dropped.
    w.account->AddPendingChange(2);
    w.account->AddPendingChange(19);
    ASSERT_EQ(w.account->FlushPendingChanges(w.prefs, nullptr, nullptr), 1);
    EXPECT_EQ(w.prefs.Text(kCreatorMail, TextPrefId(kN, 18)), "secret");
    EXPECT_EQ(w.account->Image().tags, std::vector<uint32_t>{3});
}

TEST(Reconcile, DeletionIsLoggedWhetherOrNotTheAccountWasActive) {
    // The deleted account is set active for this synchronisation before the line is written.
    for (int32_t active : {0, 1}) {
        SCOPED_TRACE(active);
        World w(1);
        w.desktop("Gone", 8, active);
        w.handheldName("@@deleted");
        ASSERT_EQ(w.account->Reconcile(w.prefs, 0, 0, 0, nullptr), kReconcileDeleted);
        EXPECT_TRUE(w.env.Logged("Account Gone is marked for deletion from the device and will be removed."));
    }
}

TEST(Reconcile, PreferenceIdCollisionsAreLogged) {
    World w;  // account 1: text ids 369, 419, 429; 429 is filter 9 of account 5
    w.desktop("Mail");
    w.handheldName("Mail");
    w.account->Reconcile(w.prefs, 0, 0, 0, nullptr);
    EXPECT_TRUE(w.env.Logged("Device preference 429 of account 1 is also filter 9 of account 5"));
    EXPECT_FALSE(w.env.Logged("Device preference 369"));
}

}  // namespace
}  // namespace tess::accounts::test
