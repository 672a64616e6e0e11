// The product's registry lists and single values.
#include <gtest/gtest.h>

#include "common/plugin_registry.h"
#include "tests/support/test_home.h"

namespace tess::test {
namespace {

struct RegistryTest : ::testing::Test {
    tess::test::TempHome home;
    HKEY product() {
        HKEY k = nullptr;
        RegCreateKeyA(HKEY_CURRENT_USER, kProductKey, &k);
        return k;
    }
    void setText(const char* sub, const char* name, const char* text) {
        HKEY k = nullptr;
        RegCreateKeyA(HKEY_CURRENT_USER, (std::string(kProductKey) + sub).c_str(), &k);
        RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text), DWORD(strlen(text) + 1));
        RegCloseKey(k);
    }
    void setDword(HKEY k, const char* name, uint32_t v) {
        RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&v), 4);
    }
};

TEST_F(RegistryTest, ListsReadInOrderAndFindWithoutCase) {
    setText("MsgHostPlugins", "IMAP", "/opt/lib/libHeronwick.so");
    setText("MsgHostPlugins", "POP", "/opt/lib/libFenwick.so");
    setText("MsgHostPlugins", std::string(200, 'n').c_str(), "too long a name");
    CPluginRegistry r;
    EXPECT_EQ(r.Count(kMsgHostPlugins), 2);
    PluginEntry* e = nullptr;
    ASSERT_EQ(r.GetEntry(kMsgHostPlugins, "imap", &e), 1);
    EXPECT_EQ(e->name, "IMAP");
    EXPECT_EQ(e->text, "/opt/lib/libHeronwick.so");
    EXPECT_EQ(e->index, 0);
    EXPECT_EQ(r.GetEntry(kMsgHostPlugins, "notes", &e), 0);
    EXPECT_EQ(r.Count(kMsgHostPlugins), 2) << "reading again does not duplicate";
    EXPECT_EQ(r.Count(kMsgSyncPlugins), 0);
}

TEST_F(RegistryTest, SetEntryWritesTextsAndNumbersButNotApplicationPlugins) {
    CPluginRegistry r;
    EXPECT_EQ(r.SetEntry(kApplicationPlugins, {0, "X", REG_SZ, "y", 0}), 0);
    EXPECT_EQ(r.OpenKey(kApplicationPlugins), 0) << "nothing was created for type 3";
    EXPECT_EQ(r.SetEntry(kMsgSyncPlugins, {0, "Tidewater", REG_SZ, "libTidewater.so", 0}), 1);
    EXPECT_EQ(r.SetEntry(kMsgRedir, {0, "User", REG_DWORD, "", 12}), 1);
    EXPECT_EQ(r.SetEntry(kMsgRedir, {0, "user", REG_DWORD, "", 13}), 1) << "updates the same value";
    EXPECT_EQ(r.SetEntry(kMsgRedir, {0, "Odd", REG_BINARY, "", 1}), 0);
    EXPECT_EQ(r.SetEntry(4, {0, "X", REG_SZ, "y", 0}), 0);

    CPluginRegistry fresh;
    PluginEntry* e = nullptr;
    ASSERT_EQ(fresh.GetEntry(kMsgSyncPlugins, "TIDEWATER", &e), 1);
    EXPECT_EQ(e->text, "libTidewater.so");
    EXPECT_EQ(fresh.Count(kMsgRedir), 1);
    EXPECT_EQ(fresh.ReadRelayValue("User"), 13u);
}

TEST_F(RegistryTest, SingleValues) {
    HKEY k = product();
    EXPECT_EQ(IsUpgradeDone(), 0);
    RegSetValueExA(k, "UpgradeStatus", 0, REG_SZ, reinterpret_cast<const unsigned char*>("1"), 2);
    EXPECT_EQ(IsUpgradeDone(), 0) << "a text does not count";
    ClearUpgradeDone();
    setDword(k, "UpgradeStatus", 3);
    EXPECT_EQ(IsUpgradeDone(), 1);
    ClearUpgradeDone();
    EXPECT_EQ(IsUpgradeDone(), 0);
    CPluginRegistry r;

    std::string host = "unchanged";
    ReadServiceHost(&host);
    EXPECT_EQ(host, "unchanged");
    RegSetValueExA(k, "PSRE", 0, REG_SZ, reinterpret_cast<const unsigned char*>("svc.example"), 12);
    ReadServiceHost(&host);
    EXPECT_EQ(host, "svc.example");

    std::string conf;
    EXPECT_EQ(ReadConfigHost(&conf), 0);
    setText("ConfigPlugins", "ConfHost", "libPanelwright.so");
    EXPECT_EQ(ReadConfigHost(&conf), 1);
    EXPECT_EQ(conf, "libPanelwright.so");

    std::string text;
    HKEY d = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Number", &d);
    setDword(d, "", 42);
    EXPECT_EQ(ReadRegistryDefaultText(HKEY_CURRENT_USER, "Software\\Number", &text), 1);
    EXPECT_EQ(text, "42");
    EXPECT_EQ(ReadRegistryDefaultText(HKEY_CURRENT_USER, "Software\\Absent", &text), 0);
    RegCloseKey(d);
    RegCloseKey(k);
}

TEST_F(RegistryTest, ExchangeFlag) {
    CPluginRegistry r;
    EXPECT_EQ(GetRelayExchangeFlag(), 1) << "absent reads 1";
    EXPECT_EQ(SetRelayExchangeFlag(1), 1);
    EXPECT_FALSE(r.ReadRelayValue("Exchange").has_value()) << "nothing written";
    EXPECT_EQ(SetRelayExchangeFlag(0), 1);
    EXPECT_EQ(r.ReadRelayValue("Exchange"), 0u);
    EXPECT_EQ(GetRelayExchangeFlag(), 0);
    EXPECT_EQ(SetRelayExchangeFlag(1), 1);
    EXPECT_EQ(GetRelayExchangeFlag(), 1);
}

}  // namespace
}  // namespace tess::test
