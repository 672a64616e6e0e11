// The account's surroundings as the product wires them: real registry, per-user store
// and HXAES.
#include <gtest/gtest.h>

#include "accounts/user_settings.h"
#include "datamgr/ledgerly.h"
#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace tess::accounts::test {
namespace {

class LoggedEnvironment : public SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view line) override { MLOGAdd(std::string(line).c_str()); }
};

TEST(SystemEnvironment, PasswordsSealForTheHandheldAndOpenAgain) {
    tess::test::TempHome home;
    LoggedEnvironment env;
    AccountInit init;
    init.userId = 1;
    init.userDirectory = home.path().string();
    CMailAccount account(init, env);
    std::string sealed, opened;
    ASSERT_EQ(account.EncryptPassword("hunter2", &sealed, "device-key"), 1);
    EXPECT_EQ(sealed.find("hunter2"), std::string::npos);
    ASSERT_EQ(account.DecryptPassword(sealed.c_str(), &opened, "device-key"), 1);
    EXPECT_EQ(opened, "hunter2");
    EXPECT_EQ(account.DecryptPassword(sealed.c_str(), &opened, "other-key"), 0);
    EXPECT_EQ(account.DecryptPassword("not base64 !", &opened, "device-key"), 0);
    EXPECT_EQ(account.EncryptPassword("", &sealed, "device-key"), 0);
    EXPECT_EQ(account.EncryptPassword("x", &sealed, nullptr), 0);
}

TEST(SystemEnvironment, OlderAccountsComeFromTheStoreAndTheRelayFlagsFromTheRegistry) {
    tess::test::TempHome home;
    int user = 0;
    ASSERT_EQ(platform::syncmgr::addUser("Ben", &user), 0);
    CAccountSettings stored;
    stored.SetDefaults();
    stored.accountName = "Desk";
    stored.client = 5;
    stored.password = "pw";
    ASSERT_EQ(stored.Save(user, kSectionOlder, 0x204, 2), 1);

    LoggedEnvironment env;
    AccountInit init;
    init.userId = user;
    init.accountNumber = 2;
    init.dataVersion = 0x204;
    init.userDirectory = home.path().string();
    CMailAccount account(init, env);
    ASSERT_EQ(account.Load(), 1);
    EXPECT_EQ(account.AccountName(), "Desk");
    EXPECT_EQ(account.MailClient(), 5);

    EXPECT_EQ(account.IsRelayInstalled(), 0);
    ASSERT_TRUE(env.WriteRelayValue("Installed", 5));
    ASSERT_TRUE(env.WriteRelayValue("User", uint32_t(user)));
    EXPECT_EQ(account.IsRelayInstalled(), 1);
    EXPECT_EQ(account.IsRelayUser(), 1);
    account.ClearRelayInstalled();
    EXPECT_EQ(env.ReadRelayValue("Installed"), 4u);

    CRelaySettings relay;
    relay.enterprise = 1;
    relay.Save(user, kSectionRelay);
    env.ClearRelayEnterprise(user);
    relay.Load(user, kSectionRelay);
    EXPECT_EQ(relay.enterprise, 0);
}

}  // namespace
}  // namespace tess::accounts::test
