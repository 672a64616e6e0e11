// A user's stored settings: created, upgraded from older data versions, and the user's
// section moved out of the sync manager's old settings file.
#include <fstream>
#include <sstream>

#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(UserSettings, CreatedForKnownUsersOnly) {
    EngineWorld w;
    EXPECT_EQ(CreateIniFileSettings(w.userId + 100), -1);
    for (int n = 0; n < 8; ++n)
        EXPECT_TRUE(
            std::filesystem::exists(std::filesystem::path(w.accountDir()) / ("acc" + std::to_string(n) + ".dat")))
            << n;
    int version = 0;
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);
}

TEST(UserSettings, UpgradeTakesOldAccountsAndMovesTheOldSection) {
    EngineWorld w;
    RosterWriteText(w.userId, "Larkspur", "AccountName1", "Old Mail");
    RosterWriteInt(w.userId, "Larkspur", "Client1", 7);
    RosterWriteInt(w.userId, "Larkspur", "Activate1", 1);
    const auto ini = platform::syncmgr::userDirectory(w.userId) / "sync.ini";
    std::ofstream(ini) << "[Other]\na=1\n[Larkspur]\nx=2\n[Third]\nb=3\n";

    platform::syncmgr::clearCapturedLog();
    EXPECT_EQ(UpgradeUserSettings(w.userId, 0), 1);
    EXPECT_EQ(ReadAll(ini), "[Other]\na=1\n[Third]\nb=3\n");
    EXPECT_EQ(ReadAll(platform::syncmgr::userDirectory(w.userId) / "Larkspur.ini"), "[Larkspur]\nx=2\n");
    EXPECT_TRUE(EngineWorld::Logged("sync.ini", 22)) << EngineWorld::Log();

    const auto account = w.Account(0);
    ASSERT_NE(account, nullptr);
    const tess::accounts::CMailAccount& a = *account;
    EXPECT_EQ(a.AccountName(), "Old Mail");
    EXPECT_EQ(a.MailClient(), 7);
    int version = 0;
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);

    // Nothing left to move: both files stay as they are.
    EXPECT_EQ(UpgradeUserSettings(w.userId, 512), 1);
    EXPECT_EQ(ReadAll(ini), "[Other]\na=1\n[Third]\nb=3\n");
}

TEST(DebugLogging, AccountReportAndPhasesInTheProductLog) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("logged");
    RosterWriteInt(w.userId, "Tessaline", "Enable Logging", 1);
    RosterWriteInt(w.userId, "Tessaline", "Log Debug", 1);
    ASSERT_EQ(w.Sync(), 0);
    const std::string log = ReadAll(std::filesystem::path(w.accountDir()) / "Tessaline.log");
    for (const char* line :
         {"Begin synchronization specific to active account 'Work'", "Account protocol is direct IMAP.",
          "Adding a message to the device:", "added 1 new messages to the device"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;

    // Before the accounts: the versions of the libraries of the registry's lists, each with
    // the version the build gave it, then the start line.
    const size_t version = log.find(std::string("/libHollowmere.so ") + TESS_MODULE_VERSION);
    EXPECT_NE(log.find(std::string("/libTidewater.so ") + TESS_MODULE_VERSION), std::string::npos) << log;
    EXPECT_NE(log.find("/LarkWiz4.exe Could not get version info."), std::string::npos) << log;
    const size_t started = log.find("-->* Tessaline Debug Filter Activated And Started *<--");
    ASSERT_NE(version, std::string::npos) << log;
    ASSERT_NE(started, std::string::npos) << log;
    EXPECT_LT(version, started);
    EXPECT_LT(started, log.find("Account protocol is direct IMAP.")) << log;
}

}  // namespace
}  // namespace tess::engine::test
