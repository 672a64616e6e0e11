// Synchronisations of an emulated handheld against the scripted host: the main road,
// its checks and the handheld's own changes going back to the host.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <functional>

#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

using handheld_app::AccountSetup;

TEST(SyncRoad, FirstSyncThenNothingChangedThenHostDeletes) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("one");
    w.HostMail("two");

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"one", "two"})) << EngineWorld::Log();
    const auto first = w.Folder(0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[0].msg.Body.find("Body of"), std::string::npos) << "the body came with the message";
    EXPECT_EQ(scripted::state().logonServer, "imap.example.org");
    EXPECT_EQ(scripted::state().count("Uninitialize"), 1);

    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"one", "two"})) << "nothing added twice";

    auto& inbox = scripted::state().find("Inbox")->msgs;
    inbox.erase(inbox.begin());
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"two"}));
}

TEST(SyncRoad, NewMessagesBeyondOneBatchOfHeadersAllArriveOnce) {
    // The headers of new messages are asked for 4096 at a time: the second batch's
    // messages must arrive like the first's, and only once.
    EngineWorld w;
    w.ImapAccount();
    std::vector<std::string> subjects;
    for (int i = 0; i < 4100; ++i) subjects.push_back(w.HostMail("m" + std::to_string(i)).subject);
    std::sort(subjects.begin(), subjects.end());  // as Subjects lists them

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("GetMsgHeaders"), 2);
    EXPECT_EQ(w.Subjects(0), subjects);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("GetMsgHeaders"), 2) << "nothing new: no headers asked for";
    EXPECT_EQ(w.Subjects(0), subjects);
}

}  // namespace
}  // namespace tess::engine::test

namespace tess::engine::test {
namespace {

// The driver's checks that end a run before any account is synchronised.
struct DriverCase {
    const char* what;
    std::function<void(EngineWorld&)> setUp;
    int syncType;
    int lastHostIndex;
    int expected;
    std::string logPart;  // a line the run must write
    bool hostCalled;
};

TEST(SyncDriver, ChecksBeforeTheAccounts) {
    const DriverCase cases[] = {
        {"exactly 60000 bytes free fails the space check",
         [](EngineWorld& w) { handheld_app::SetFreeSpace(w.handheld, 60000); }, 0, 4, 106,
         "not enough memory on the handheld", false},
        {"60001 bytes free pass it", [](EngineWorld& w) { handheld_app::SetFreeSpace(w.handheld, 60001); }, 0, 4, 0, "",
         true},
        {"a database version above the range is incompatible",
         [](EngineWorld&) {
             // Another handheld whose application made its databases at 2385.
             handheld_app::CreateMailDatabases("newer", 2385);
             handheld_app::SetFreeSpace("newer", 8u << 20);
             platform::syncmgr::useHandheld("newer");
         },
         0, 4, 0, "incompatible", false},
        {"an older client's database is incompatible",
         [](EngineWorld& w) {
             platform::syncmgr::HandheldStore(w.handheld)
                 .createDatabase("LarkspurPRO2 Messages", SYNC_FOURCC('a', 's', 'c', '3'),
                                 SYNC_FOURCC('D', 'a', 't', '5'), 2000, 0, 0, nullptr);
         },
         0, 4, 0, "incompatible", false},
        {"no IMAP entry below index 3 leaves the account without its host", [](EngineWorld&) {}, 0, 2, 0, "Heronwick",
         false},
        {"sync type 6 does nothing", [](EngineWorld&) {}, 6, 4, 0, "Do Nothing", false},
        {"sync type 2 loads the handheld and synchronises no account", [](EngineWorld&) {}, 2, 4, 0, "", false},
        {"an account with nothing selected",
         [](EngineWorld& w) {
             DesktopAccount d;
             d.syncInbox = 0;
             d.syncOutbox = 0;
             w.Desktop(0, d);
         },
         0, 4, 0, "none of its folders are selected", false},
        {"a refused registration",
         [](EngineWorld& w) { platform::syncmgr::HandheldStore(w.handheld).injectFailure("SyncRegisterConduit", 1); },
         0, 4, 102, "", false},
    };
    for (const DriverCase& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld w;
        w.ImapAccount();
        w.HostMail("waiting");
        c.setUp(w);
        EXPECT_EQ(w.Sync(c.syncType, c.lastHostIndex), c.expected) << EngineWorld::Log();
        if (!c.logPart.empty()) {
            EXPECT_TRUE(EngineWorld::Logged(c.logPart)) << EngineWorld::Log();
        }
        EXPECT_EQ(scripted::state().count("Initialize") > 0, c.hostCalled) << EngineWorld::Log();
        EXPECT_EQ(w.Subjects(0).size(), c.hostCalled ? 1u : 0u);
        EXPECT_FALSE(platform::syncmgr::conduitRegistered()) << "the registration ends with the run";
    }
}

TEST(SyncDriver, MissingAesLibraryStopsBeforeAnythingElse) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("waiting");
    // A module directory with every library but HXAES.
    const std::filesystem::path dir = w.home.path() / "lib";
    std::filesystem::create_directories(dir);
    for (const auto& e : std::filesystem::directory_iterator(tess::test::libDir()))
        if (e.path().filename() != "libHXAES.so") std::filesystem::create_symlink(e.path(), dir / e.path().filename());
    const char* before = std::getenv("TESSALINE_LIBDIR");
    const std::string saved = before ? before : "";
    setenv("TESSALINE_LIBDIR", dir.c_str(), 1);
    const int rc = w.Sync();
    setenv("TESSALINE_LIBDIR", saved.c_str(), 1);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(platform::syncmgr::capturedLog().size(), 1u) << EngineWorld::Log();
    EXPECT_TRUE(EngineWorld::Logged("HXAES.dll", 22));
    EXPECT_EQ(scripted::state().count("Initialize"), 0);
}

TEST(SyncDriver, FailedLogonStillUninitializesOnce) {
    EngineWorld w;
    w.ImapAccount();
    scripted::state().failures["Logon"] = 16394;
    EXPECT_EQ(w.Sync(), 2);
    EXPECT_TRUE(EngineWorld::Logged("Failed to log on", 13)) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().count("Uninitialize"), 1);
    EXPECT_EQ(scripted::state().count("Logoff"), 0);
    EXPECT_EQ(scripted::state().count("GetMsgIds"), 0);
}

TEST(SyncDriver, PortZeroBecomesTheImapDefault) {
    EngineWorld w;
    AccountSetup h;
    h.port = 0;
    w.ImapAccount(0, {}, h);
    ASSERT_EQ(w.Sync(), 0);
    EXPECT_EQ(scripted::state().logonPort, 143);
    EXPECT_TRUE(EngineWorld::Logged("default port 143")) << EngineWorld::Log();

    // A port above 32767 is used as it is.
    EngineWorld high;
    h.port = 40000;
    high.ImapAccount(0, {}, h);
    ASSERT_EQ(high.Sync(), 0);
    EXPECT_EQ(scripted::state().logonPort, 40000);
}

}  // namespace
}  // namespace tess::engine::test

#include "platform/ui/ui_service.h"

namespace tess::engine::test {
namespace {

// A relay-served account asking for a new key while the handheld cannot give one: the
// user hears of it in a message box, unless the run has no user interface.
TEST(RelayAccount, NewKeyRefusedByTheHandheldIsShownOnlyWithAUserInterface) {
    for (const int syncType : {0, 6}) {
        SCOPED_TRACE(syncType);
        EngineWorld w;
        platform::syncmgr::HandheldStore(w.handheld).setRemoteAnswer(SYNC_FOURCC('a', 's', 'c', '6'), 0, {0, 0, 0, 1});
        DesktopAccount d;
        d.client = 5;
        d.profile = "Outlook";
        d.generateKey = 1;
        handheld_app::AccountSetup h;
        h.protocolWord = 4;
        w.ImapAccount(0, d, h);
        scripted::state().mapiLogon = true;
        if (syncType == 6) {
            // A run without a user interface changes nothing on the desktop: the account is
            // first known as a relay account after an ordinary run.
            platform::ui::ScriptedUi first;
            platform::ui::ScopedUi firstScope(first);
            ASSERT_EQ(w.Sync(0), 0);
        }
        platform::ui::ScriptedUi ui;
        platform::ui::ScopedUi scope(ui);
        ASSERT_EQ(w.Sync(syncType), 0);
        EXPECT_TRUE(EngineWorld::Logged("Unable to retrieve required information from the handheld", 22))
            << EngineWorld::Log();
        const auto asked = ui.questions();
        ASSERT_EQ(asked.size(), syncType == 6 ? 0u : 1u);
        if (!asked.empty()) {
            EXPECT_EQ(asked[0].caption, "Failed To Provision Email Account");
        }
        EXPECT_LE(handheld_app::RecordCount(w.handheld, "Larkspur SData"), 0) << "no key written";
    }
}

}  // namespace
}  // namespace tess::engine::test

#include "common/plugin_registry.h"
#include "accounts/user_settings.h"

namespace tess::engine::test {
namespace {

// A relay-served account with the relay installed gets a new key, stored for the relay
// and written to the handheld; the relay hears of it only when this user is its user.
TEST(RelayAccount, NewKeyReachesTheRelayAndTheHandheld) {
    for (const bool relayUser : {true, false}) {
        SCOPED_TRACE(relayUser);
        EngineWorld w;
        DesktopAccount d;
        d.client = 5;
        d.profile = "Outlook";
        d.generateKey = 1;
        handheld_app::AccountSetup h;
        h.protocolWord = 4;
        w.ImapAccount(0, d, h);
        scripted::state().mapiLogon = true;
        tess::CPluginRegistry registry;
        registry.WriteRelayValue("Installed", 1);
        registry.WriteRelayValue("User", uint32_t(relayUser ? w.userId : w.userId + 1));
        registry.WriteRelayValue("NewKey", 0);

        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        tess::accounts::CRelaySettings relay;
        relay.Load(w.userId, tess::accounts::kSectionRelay);
        ASSERT_FALSE(relay.securityKey.empty()) << EngineWorld::Log();
        EXPECT_EQ(relay.securityKey[0], '\x01') << "a key record of form 1";
        platform::syncmgr::HandheldStore store(w.handheld);
        platform::syncmgr::DatabaseEntry db;
        ASSERT_EQ(store.findDatabase("Larkspur SData", 0, &db), SYNC_OK);
        const auto records = store.records(db.id);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(std::string(records[0].data.begin(), records[0].data.end()), relay.securityKey);
        EXPECT_EQ(registry.ReadRelayValue("NewKey").value_or(9), relayUser ? 1u : 0u);

        // The same key on both sides is kept at the next synchronisation.
        ASSERT_EQ(w.Sync(), 0);
        EXPECT_EQ(store.records(db.id).size(), 1u);
        tess::accounts::CRelaySettings again;
        again.Load(w.userId, tess::accounts::kSectionRelay);
        EXPECT_EQ(again.securityKey, relay.securityKey);
    }
}

}  // namespace
}  // namespace tess::engine::test

#include "platform/core/registry.h"
#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "platform/mapi/profiles.h"

namespace tess::engine::test {
namespace {

TEST(RelayAccount, TakesTheDefaultMapiProfileAndBecomesTheRelaysUser) {
    EngineWorld w;
    w.RelayAccountWithProfiles();
    // The relay program where the engine looks for it: here a stand-in that leaves a mark.
    const std::filesystem::path mark = w.home.path() / "relay-started";
    const std::filesystem::path relay = platform::syncmgr::syncManagerDirectory() / "wayfarer";
    std::filesystem::create_directories(relay.parent_path());
    std::ofstream(relay) << "#!/bin/sh\necho started > '" << mark.string() << "'\n";
    std::filesystem::permissions(relay, std::filesystem::perms::owner_all);

    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    for (int i = 0; i < 100 && !std::filesystem::exists(mark); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(std::filesystem::exists(mark)) << "the engine starts the relay program";
    EXPECT_EQ(scripted::state().logonUser, "Office") << "the account logs on with the default profile";
    EXPECT_EQ(tess::CPluginRegistry().ReadRelayValue("User").value_or(0), uint32_t(w.userId));
    const auto account = w.Account(0);
    ASSERT_NE(account, nullptr);
    const tess::accounts::CMailAccount& a = *account;
    EXPECT_EQ(a.MailClient(), 5);
    EXPECT_EQ(std::string(tess::accounts::ByteView(a.Image().desktop)
                              .text(tess::accounts::layout::kHostName.offset, tess::accounts::layout::kHostName.width)),
              "Microsoft Exchange 5.0 or higher");
}

}  // namespace
}  // namespace tess::engine::test
