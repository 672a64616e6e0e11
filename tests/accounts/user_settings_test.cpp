// The product's values in the per-user data store.
#include <gtest/gtest.h>

#include <cstring>

#include "accounts/user_settings.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

struct SettingsTest : ::testing::Test {
    tess::test::TempHome home;
    int user = 0;
    void SetUp() override { ASSERT_EQ(platform::syncmgr::addUser("Ada", &user), 0); }
    int readInt(const char* section, const char* key, int def = -999) {
        int v = def;
        RosterReadInt(user, section, key, &v, def);
        return v;
    }
    std::string readText(const char* section, const char* key) {
        char buf[256] = {};
        int size = sizeof buf;
        RosterReadText(user, section, key, buf, &size, "<absent>");
        return buf;
    }
};

TEST_F(SettingsTest, GeneralSettingsFallBackToTheOlderSection) {
    CGeneralSettings g;
    EXPECT_EQ(g.Load(user, nullptr, 0, 0), 0) << "no accounts anywhere";

    RosterWriteInt(user, "Tessaline", "Number Of Accounts", 0);
    RosterWriteInt(user, "Tessaline", "Log Debug", 1);
    RosterWriteInt(user, "Larkspur", "Number Of Accounts", 3);
    RosterWriteInt(user, "Larkspur", "Number Of Days To Sync", 9);
    RosterWriteText(user, "Larkspur", "MServ", "srv.example");
    ASSERT_EQ(g.Load(user, nullptr, 0, 0), 1);
    EXPECT_EQ(g.numberOfAccounts, 3);
    EXPECT_EQ(g.daysToSync, 9);
    EXPECT_EQ(g.serverName, "srv.example");
    EXPECT_EQ(g.logDebug, 0) << "every value comes from the older section";

    ASSERT_EQ(g.Save(user, "Larkspur", 0, 0), 1);
    EXPECT_EQ(readInt("Tessaline", "Number Of Accounts"), 3);
    EXPECT_EQ(readInt("Tessaline", "Number Of Days To Sync"), 9);
    EXPECT_EQ(readText("Tessaline", "MServ"), "srv.example");

    CGeneralSettings skip;
    skip.daysToSync = 77;
    ASSERT_EQ(skip.Load(user, nullptr, 1, 0), 1);
    EXPECT_EQ(skip.daysToSync, 77) << "sync keys skipped";
    skip.SetDefaults();
    EXPECT_EQ(skip.expires, 32798);
    EXPECT_EQ(skip.conduitVersion, 517);
}

TEST_F(SettingsTest, AccountSettingsByVersionWithScrambledPassword) {
    CAccountSettings a;
    a.SetDefaults();
    a.accountName = "Home";
    a.client = 8;
    a.unreadOnly = 1;
    a.password = "pa55word";
    ASSERT_EQ(a.Save(user, "Larkspur", 517, 1), 1);
    EXPECT_EQ(readText("Larkspur", "AccountName2"), "Home");
    const std::string stored = readText("Larkspur", "Rosterbook2");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '#'), 32);
    EXPECT_EQ(stored.find("pa55word"), std::string::npos);

    CAccountSettings b;
    ASSERT_EQ(b.Load(user, "Larkspur", 517, 1), 1);
    EXPECT_EQ(b.accountName, "Home");
    EXPECT_EQ(b.password, "pa55word");
    EXPECT_EQ(b.unreadOnly, 1);
    EXPECT_EQ(b.daysToSync, 4);

    CAccountSettings old;
    ASSERT_EQ(old.Load(user, "Larkspur", 0, 1), 1);
    EXPECT_EQ(old.daysToSync, 0);
    EXPECT_EQ(old.syncInbox, 0);
    EXPECT_EQ(old.unreadOnly, 0) << "not read before version 512";

    CAccountSettings absent;
    ASSERT_EQ(absent.Load(user, "Larkspur", 517, 5), 1);
    EXPECT_EQ(absent.client, -1);
    EXPECT_EQ(absent.messageSizeKb, 50);
}

TEST_F(SettingsTest, RelaySettingsKeyAndFilters) {
    RosterWriteText(user, "LarkspurRDC", "Rosterbook", "2QUJDRA==");
    RosterWriteInt(user, "LarkspurRDC", "Filter Count", 500);  // more than a user can have
    RosterWriteText(user, "LarkspurRDC", "Name1", std::string(40, 'n').c_str());
    RosterWriteInt(user, "LarkspurRDC", "Source1", 2);
    RosterWriteText(user, "LarkspurRDC", "String1", "urgent");
    CRelaySettings r;
    ASSERT_EQ(r.Load(user, "LarkspurRDC"), 1);
    EXPECT_EQ(r.securityKey, std::string("\x01QUJDRA==", 9));
    EXPECT_EQ(r.filterCount, 11);
    EXPECT_EQ(std::string(r.filters[0].name), std::string(31, 'n'));
    EXPECT_EQ(r.filters[0].kind, 2);
    EXPECT_STREQ(r.filters[0].value, "urgent");
    EXPECT_EQ(r.account, -1);

    // Without the business switch only "Enterprise" and "Account" are written.
    r.useFilters = 1;
    r.SetSecurityKey(std::string("\x02rawkey", 7));
    ASSERT_EQ(r.Save(user, "LarkspurRDC"), 1);
    EXPECT_EQ(readInt("LarkspurRDC", "Use Filters"), -999);
    EXPECT_EQ(readText("LarkspurRDC", "Rosterbook"), "2QUJDRA==");

    r.enterprise = 1;
    r.SetSecurityKey(std::string("\x02rawkey", 7));
    MessageFilter given[14];
    const MessageFilter* pointers[14];
    for (int i = 0; i < 14; ++i) {
        given[i].inUse = 1;
        std::snprintf(given[i].name, sizeof given[i].name, "  f%d\r\n", i);
        std::strcpy(given[i].value, " x ");
        given[i].further = 7;
        pointers[i] = &given[i];
    }
    given[3].inUse = 0;
    EXPECT_EQ(r.SetFilters(14, pointers), 1);
    EXPECT_EQ(r.filterCount, 11);
    EXPECT_STREQ(r.filters[0].name, "f0");
    EXPECT_STREQ(r.filters[0].value, "x");
    EXPECT_EQ(r.filters[0].further, 0) << "the further word is not taken";
    EXPECT_EQ(r.filters[3].inUse, 0);
    ASSERT_EQ(r.Save(user, "LarkspurRDC"), 1);
    EXPECT_EQ(readText("LarkspurRDC", "Rosterbook"), "drawkey");
    EXPECT_EQ(readInt("LarkspurRDC", "Filter Count"), 10) << "the ten records in use";
    EXPECT_EQ(readText("LarkspurRDC", "Name4"), "f4") << "numbered in order, skipping the unused one";
    EXPECT_EQ(readText("LarkspurRDC", "Name11"), "<absent>") << "old values past the new list are gone";

    MessageFilter extra;
    extra.inUse = 1;
    EXPECT_EQ(r.AddFilter(user, "LarkspurRDC", &extra), 1);
    EXPECT_EQ(r.AddFilter(user, "LarkspurRDC", &extra), 0) << "no twelfth filter";
    EXPECT_EQ(r.AddFilter(user, "LarkspurRDC", nullptr), 0);
    r.DeleteFilters(user, "LarkspurRDC");
    EXPECT_EQ(readInt("LarkspurRDC", "Filter Count"), 0);
    EXPECT_EQ(readText("LarkspurRDC", "Name1"), "<absent>");
    EXPECT_EQ(r.Save(user, nullptr), 0);
}

TEST(StoredKey, FormByteIsTheFirstCharacterOverFifty) {
    EXPECT_EQ(DecodeStoredKey("2abc"), std::string("\x01"
                                                   "abc"));
    EXPECT_EQ(DecodeStoredKey("dXY"), std::string("\x02"
                                                  "XY"));
    EXPECT_EQ(EncodeStoredKey(std::string("\x01"
                                          "abc")),
              "2abc");
    EXPECT_EQ(DecodeStoredKey(""), "");
}

TEST(FilterText, CleaningRemovesLineBreaksAndTrims) {
    EXPECT_EQ(CleanFilterText("  ur\r\ngent \t"), "urgent");
    EXPECT_EQ(CleanFilterText("\r\n"), "");
}

}  // namespace
}  // namespace tess::accounts::test
