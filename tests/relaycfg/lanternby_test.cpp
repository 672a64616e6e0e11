// The relay configuration library as the relay program reaches it: loaded by name into
// a private runtime root, its exports bound by name.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>

#include "common/plugin_registry.h"
#include "accounts/user_settings.h"
#include "platform/core/module.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "relaycfg/lanternby.h"
#include "tests/support/test_home.h"

using tess::relaycfg::RelayUserSettings;

using tess::FilterMessage;
using tess::kFilterAtMost;
using tess::kFilterSender;
using tess::kFilterSize;
using tess::kFilterSubject;
using tess::MessageFilter;

namespace {

using tess::CPluginRegistry;

struct Lanternby {
    HMODULE module = nullptr;
    template <typename F>
    F get(const char* name) {
        return reinterpret_cast<F>(GetProcAddress(module, name));
    }
    decltype(&ConfigInit) init = nullptr;
    decltype(&ConfigUnInit) uninit = nullptr;
    decltype(&ConfigSetUp) setUp = nullptr;
    decltype(&ConfigGetUserSettings) getUserSettings = nullptr;
    decltype(&ConfigFreeUserSettings) freeUserSettings = nullptr;
    decltype(&ConfigGetSecurityKey) getKey = nullptr;
    decltype(&ConfigIsNewKeyPresent) newKeyPresent = nullptr;
    decltype(&ConfigTurnOffNewKey) turnOffNewKey = nullptr;
    decltype(&ConfigSetFilters) setFilters = nullptr;
    decltype(&ConfigPassFilter) passFilter = nullptr;
    decltype(&ConfigSendEmail) sendEmail = nullptr;
    decltype(&ConfigResetSendMail) resetSendMail = nullptr;
    decltype(&ConfigSetUserEmail) setUserEmail = nullptr;
    decltype(&ConfigUseAttachments) useAttachments = nullptr;
    decltype(&ConfigGetLoggingOpt) loggingOpt = nullptr;
    decltype(&ConfigFirstRun) firstRun = nullptr;
    decltype(&ConfigDoSuicide) doSuicide = nullptr;
    void load() {
        module = LoadLibraryA("Lanternby.dll");
        ASSERT_NE(module, nullptr);
        init = get<decltype(init)>("ConfigInit");
        uninit = get<decltype(uninit)>("ConfigUnInit");
        setUp = get<decltype(setUp)>("ConfigSetUp");
        getUserSettings = get<decltype(getUserSettings)>("ConfigGetUserSettings");
        freeUserSettings = get<decltype(freeUserSettings)>("ConfigFreeUserSettings");
        getKey = get<decltype(getKey)>("ConfigGetSecurityKey");
        newKeyPresent = get<decltype(newKeyPresent)>("ConfigIsNewKeyPresent");
        turnOffNewKey = get<decltype(turnOffNewKey)>("ConfigTurnOffNewKey");
        setFilters = get<decltype(setFilters)>("ConfigSetFilters");
        passFilter = get<decltype(passFilter)>("ConfigPassFilter");
        sendEmail = get<decltype(sendEmail)>("ConfigSendEmail");
        resetSendMail = get<decltype(resetSendMail)>("ConfigResetSendMail");
        setUserEmail = get<decltype(setUserEmail)>("ConfigSetUserEmail");
        useAttachments = get<decltype(useAttachments)>("ConfigUseAttachments");
        loggingOpt = get<decltype(loggingOpt)>("ConfigGetLoggingOpt");
        firstRun = get<decltype(firstRun)>("ConfigFirstRun");
        doSuicide = get<decltype(doSuicide)>("ConfigDoSuicide");
        ASSERT_TRUE(init && uninit && setUp && getUserSettings && freeUserSettings && getKey && newKeyPresent &&
                    turnOffNewKey && setFilters && passFilter && sendEmail && resetSendMail && setUserEmail &&
                    useAttachments && loggingOpt && firstRun && doSuicide);
    }
    void unload() {
        if (module) FreeLibrary(module);
        module = nullptr;
    }
};

// Lanternby brings in the Qt libraries for its settings dialog. Their start-up allocations
// live in their own data: unloaded with Lanternby after each test, they would be stranded
// and reported by the leak checker. The test holds Qt loaded for the whole run, while
// Lanternby itself is loaded afresh for each test.
[[maybe_unused]] void* const kQtHeldForTheRun = dlopen("libQt6Widgets.so.6", RTLD_NOW | RTLD_GLOBAL);

class LanternbyTest : public ::testing::Test {
protected:
    tess::test::TempHome home;
    Lanternby lib;
    CPluginRegistry registry;
    int relayUser = 0;
    int otherUser = 0;

    void TearDown() override { lib.unload(); }

    // A user with the relay set up for account 0, and one without.
    void makeUsers() {
        ASSERT_EQ(platform::syncmgr::addUser("Relay", &relayUser), 0);
        ASSERT_EQ(platform::syncmgr::addUser("Plain", &otherUser), 0);
        tess::accounts::CRelaySettings relay;
        relay.enterprise = 1;
        relay.account = 0;
        relay.attachments = 1;
        relay.logDebug = 1;
        relay.networkName = "me@wireless.example";
        relay.SetSecurityKey(
            "\x01"
            "QUJDREVGR0g=");
        ASSERT_EQ(relay.Save(relayUser, "LarkspurRDC"), 1);
        tess::accounts::CAccountSettings account;
        account.SetDefaults();
        account.mapiProfile = "Office Profile";
        account.password = "open sesame";
        ASSERT_EQ(account.Save(relayUser, "Larkspur", 517, 0), 1);
    }
    FilterMessage mail(const char* subject, uint32_t size) {
        FilterMessage m{};
        m.subject = subject;
        m.size = size;
        m.deliveryTime = int32_t(time(nullptr));
        return m;
    }
};

TEST_F(LanternbyTest, InstalledFlagsWorkWithoutInit) {
    registry.WriteRelayValue("Installed", 0x5);  // installed, first run
    lib.load();
    EXPECT_EQ(registry.ReadRelayValue("Installed"), 0x40000005u) << "loaded bit set at load";
    EXPECT_EQ(lib.doSuicide(), 0);
    EXPECT_EQ(lib.firstRun(), 4);
    EXPECT_EQ(lib.firstRun(), 0) << "consumed";
    EXPECT_EQ(lib.sendEmail(), 0);
    EXPECT_EQ(lib.resetSendMail(), 1);
    registry.WriteRelayValue("Installed", *registry.ReadRelayValue("Installed") | 0x100);
    EXPECT_EQ(lib.sendEmail(), 1);
    EXPECT_EQ(registry.ReadRelayValue("Installed"), 0x40000001u) << "only bits 0 and 30 kept";
    EXPECT_EQ(lib.sendEmail(), 0);

    EXPECT_EQ(lib.newKeyPresent(), 0);
    registry.WriteRelayValue("NewKey", 1);
    EXPECT_EQ(lib.newKeyPresent(), 1);
    EXPECT_NE(lib.turnOffNewKey(), 0);
    EXPECT_EQ(lib.newKeyPresent(), 0);
    lib.unload();
    EXPECT_EQ(registry.ReadRelayValue("Installed"), 1u) << "loaded bit cleared at unload";
}

TEST_F(LanternbyTest, InstalledMissing) {
    lib.load();
    EXPECT_EQ(lib.sendEmail(), 1);
    EXPECT_EQ(lib.resetSendMail(), 0);
    EXPECT_EQ(lib.firstRun(), 0);
    EXPECT_EQ(lib.doSuicide(), 1);
    EXPECT_FALSE(registry.ReadRelayValue("Installed").has_value()) << "nothing written";
}

TEST_F(LanternbyTest, InitSelectsTheRelayUser) {
    lib.load();
    EXPECT_EQ(lib.useAttachments(), 8);
    EXPECT_EQ(lib.init(), 4) << "no desktop users";
    EXPECT_EQ(lib.useAttachments(), 8) << "the walk found nobody; still not initialised";

    makeUsers();
    EXPECT_EQ(lib.init(), 2) << "no User value";
    registry.WriteRelayValue("User", uint32_t(otherUser));
    EXPECT_EQ(lib.init(), 2) << "that user has no relay";
    EXPECT_EQ(lib.setUp(), 0);
    registry.WriteRelayValue("User", uint32_t(relayUser));
    EXPECT_EQ(lib.init(), 0);
    EXPECT_EQ(lib.useAttachments(), 1);
    char logging = 0;
    EXPECT_EQ(lib.loggingOpt(&logging), 0);
    EXPECT_EQ(logging, 2);
    EXPECT_EQ(lib.loggingOpt(nullptr), 1);

    RelayUserSettings* settings = nullptr;
    ASSERT_EQ(lib.getUserSettings(&settings), 0);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->profileOrIdFile, "Office Profile");
    EXPECT_EQ(settings->password, "open sesame");
    EXPECT_EQ(settings->emailAddress, "me@wireless.example");
    EXPECT_EQ(settings->userId, relayUser);
    EXPECT_EQ(settings->mailSubsystem, 1) << "Exchange absent reads 1";
    EXPECT_NE(settings->userFolder.Find("Relay"), -1);
    EXPECT_EQ(lib.freeUserSettings(&settings), 0);
    EXPECT_EQ(settings, nullptr);
    EXPECT_EQ(lib.freeUserSettings(&settings), 1);
    EXPECT_EQ(lib.freeUserSettings(nullptr), 1);
    EXPECT_EQ(lib.getUserSettings(nullptr), 1);

    EXPECT_EQ(lib.setUserEmail(""), 1);
    EXPECT_EQ(lib.setUserEmail("new@wireless.example"), 0);
    tess::accounts::CRelaySettings stored;
    stored.Load(relayUser, "LarkspurRDC");
    EXPECT_EQ(stored.networkName, "new@wireless.example");

    EXPECT_EQ(lib.uninit(), 0);
    EXPECT_EQ(lib.useAttachments(), 8);
}

TEST_F(LanternbyTest, SecurityKeyNeverWritesPastTheSizeGiven) {
    makeUsers();
    registry.WriteRelayValue("User", uint32_t(relayUser));
    lib.load();
    char* none = nullptr;
    int length = 0;
    EXPECT_EQ(lib.getKey(&none, &length), 8);
    ASSERT_EQ(lib.init(), 0);
    const std::string key =
        "\x01"
        "QUJDREVGR0g=";
    char buffer[64];
    char* p = buffer;
    struct Case {
        int size;
        int result;
    } cases[] = {{int(key.size()) - 1, 10}, {int(key.size()), 10}, {int(key.size()) + 1, 0}, {-5, 10}};
    for (const Case& c : cases) {
        std::memset(buffer, 'Z', sizeof buffer);
        length = c.size;
        EXPECT_EQ(lib.getKey(&p, &length), c.result) << c.size;
        if (c.result == 0) {
            EXPECT_EQ(std::string(buffer), key);
            EXPECT_EQ(length, int(key.size()));
        } else {
            EXPECT_EQ(length, c.size) << "size unchanged";
            EXPECT_EQ(buffer[0], 'Z') << "nothing copied";
        }
        EXPECT_EQ(buffer[key.size() + 1], 'Z');
    }
    EXPECT_EQ(lib.getKey(nullptr, &length), 1);
    EXPECT_EQ(lib.getKey(&p, nullptr), 1);
}

TEST_F(LanternbyTest, FiltersDecideWhatIsForwarded) {
    makeUsers();
    registry.WriteRelayValue("User", uint32_t(relayUser));
    lib.load();
    MessageFilter f[13];
    MessageFilter* pointers[13];
    for (int i = 0; i < 13; ++i) pointers[i] = &f[i];
    f[0].inUse = 1;
    f[0].kind = kFilterSubject;
    std::strcpy(f[0].value, "urgent");
    f[1].inUse = 1;
    f[1].kind = kFilterSize;
    f[1].numericOperator = kFilterAtMost;
    std::strcpy(f[1].value, "10");
    FilterMessage urgentBig = mail("Very URGENT", 50 * 1024), plainBig = mail("lunch", 50 * 1024);

    EXPECT_EQ(lib.setFilters(2, pointers), 8);
    EXPECT_EQ(lib.passFilter(&plainBig), 8);
    ASSERT_EQ(lib.init(), 0);
    EXPECT_EQ(lib.passFilter(nullptr), 1);
    EXPECT_EQ(lib.passFilter(&plainBig), 0) << "filtering off";

    // Calls that give no filters change nothing: filtering stays off.
    MessageFilter* nullFirst[2] = {nullptr, &f[0]};
    EXPECT_EQ(lib.setFilters(3, nullptr), 1);
    EXPECT_EQ(lib.setFilters(0, pointers), 1);
    EXPECT_EQ(lib.setFilters(2, nullFirst), 1);
    EXPECT_EQ(lib.setFilters(-2, pointers), 1);
    EXPECT_EQ(lib.passFilter(&plainBig), 0);

    EXPECT_EQ(lib.setFilters(2, pointers), 0);
    EXPECT_EQ(lib.passFilter(&urgentBig), 0);
    EXPECT_EQ(lib.passFilter(&plainBig), 5);
    FilterMessage plainSmall = mail("lunch", 4 * 1024);
    EXPECT_EQ(lib.passFilter(&plainSmall), 0);

    // Stored: a fresh init reads them back.
    ASSERT_EQ(lib.init(), 0);
    EXPECT_EQ(lib.passFilter(&plainBig), 5);

    for (int i = 2; i < 13; ++i) {
        f[i].inUse = 1;
        f[i].kind = kFilterSender;
        std::snprintf(f[i].value, sizeof f[i].value, "sender%d", i);
    }
    EXPECT_EQ(lib.setFilters(13, pointers), 9);
    tess::accounts::CRelaySettings stored;
    stored.Load(relayUser, "LarkspurRDC");
    EXPECT_EQ(stored.filterCount, 11);
    EXPECT_STREQ(stored.filters[10].value, "sender10");

    EXPECT_EQ(lib.setFilters(0, nullptr), 0);
    EXPECT_EQ(lib.passFilter(&plainBig), 0) << "filtering off";
    ASSERT_EQ(lib.init(), 0);
    EXPECT_EQ(lib.passFilter(&plainBig), 0);
    stored.Load(relayUser, "LarkspurRDC");
    EXPECT_EQ(stored.filterCount, 0);
    EXPECT_EQ(stored.useFilters, 0);
}

}  // namespace
