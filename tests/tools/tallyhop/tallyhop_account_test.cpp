// tallyhop account, run as the program: what it writes is what a fresh account reads.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "accounts/user_settings.h"
#include "accounts/account_layout.h"
#include "accounts/mail_account.h"
#include "accounts/system_environment.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

#include <gtest/gtest.h>

namespace tallyhop::test {

using tess::test::TempHome;
using tess::test::binaryDir;

namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome tallyhop(const std::string& args) {
    std::string cmd = (binaryDir() / "bin" / "tallyhop").string() + " " + args + " 2>&1";
    Outcome run{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return run;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) run.out.append(buf.data(), n);
    int status = pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class QuietEnvironment : public tess::accounts::SystemAccountEnvironment {
public:
    void SyncMessage(int, std::string_view, std::string_view) override {}
    void ProductLog(std::string_view) override {}
};

// The desktop values of one account, read by a fresh account object.
struct Desktop {
    std::string name;
    int32_t client, active, days, inbox, outbox, sizeKb;
};

class TallyhopAccount : public ::testing::Test {
protected:
    void SetUp() override {
        platform::syncmgr::resetSession();
        Outcome init = tallyhop("init --user ann");
        ASSERT_EQ(init.status, 0) << init.out;
        ASSERT_EQ(RosterGetUserIdByIndex(0, &userId_), SYNC_OK);
    }
    void TearDown() override { platform::syncmgr::resetSession(); }

    Desktop Read(int number) {
        QuietEnvironment env;
        tess::accounts::AccountInit init;
        init.userId = userId_;
        init.accountNumber = number;
        init.userDirectory = (platform::syncmgr::userDirectory(userId_) / "Tessaline").string();
        tess::accounts::CMailAccount a(init, env);
        EXPECT_NE(a.Load(), 0);
        const auto& d = a.Image().desktop;
        auto word = [&](size_t offset) {
            int32_t v;
            std::memcpy(&v, d.data() + offset, 4);
            return v;
        };
        namespace l = tess::accounts::layout;
        return {a.AccountName(),      a.MailClient(),         a.Active(), word(l::kDaysToSync), word(l::kSyncInbox),
                word(l::kSyncOutbox), word(l::kMessageSizeKb)};
    }

    TempHome home_;
    int userId_ = 0;
};

TEST_F(TallyhopAccount, ValuesWrittenAreReadBackAndSettingsCreatedOnce) {
    Outcome run = tallyhop(
        "account --user ann --number 2 --name Work --client imap --active 1 --days 12 --inbox 1 --outbox 0 --size 33");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("account 2 \"Work\": mail client 7, active 1"), std::string::npos) << run.out;

    // The user's settings now carry the version a synchronisation checks.
    int version = 0;
    RosterReadInt(userId_, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);

    Desktop d = Read(2);
    EXPECT_EQ(d.name, "Work");
    EXPECT_EQ(d.client, 7);
    EXPECT_EQ(d.active, 1);
    EXPECT_EQ(d.days, 12);
    EXPECT_EQ(d.inbox, 1);
    EXPECT_EQ(d.outbox, 0);
    EXPECT_EQ(d.sizeKb, 33);

    // A second process configures another account: the first keeps its values, and the
    // values not given keep theirs.
    run = tallyhop("account --user ann --number 3 --client pop --active 1");
    ASSERT_EQ(run.status, 0) << run.out;
    run = tallyhop("account --user ann --number 2 --days 5");
    ASSERT_EQ(run.status, 0) << run.out;
    d = Read(2);
    EXPECT_EQ(d.client, 7);
    EXPECT_EQ(d.active, 1);
    EXPECT_EQ(d.days, 5);
    EXPECT_EQ(d.sizeKb, 33);
    EXPECT_EQ(Read(3).client, 8);
    EXPECT_EQ(Read(3).active, 1);
}

// A synchronisation in a fresh process finds the settings the configuration left and
// must not take them for a first run (which would reset every account).
TEST_F(TallyhopAccount, ASyncInAnotherProcessKeepsTheDesktopSide) {
    Outcome run = tallyhop("account --user ann --number 0 --name Work --client imap --active 1");
    ASSERT_EQ(run.status, 0) << run.out;
    run = tallyhop("handheld account --number 0 --name Work --server 127.0.0.1 --port 1 --user u --password p");
    ASSERT_EQ(run.status, 0) << run.out;
    run = tallyhop("sync --user ann");
    Desktop d = Read(0);
    EXPECT_EQ(d.client, 7) << run.out;
    EXPECT_EQ(d.active, 1) << run.out;
}

TEST_F(TallyhopAccount, LoggingSwitches) {
    Outcome run = tallyhop("account --user ann --log info");
    ASSERT_EQ(run.status, 0) << run.out;
    tess::accounts::CGeneralSettings g;
    g.SetDefaults();
    ASSERT_NE(g.Load(userId_, "Larkspur", 517, int(0xFF000000)), 0);
    EXPECT_EQ(g.enableLogging, 1);
    EXPECT_EQ(g.logInformational, 1);
    EXPECT_EQ(g.logDebug, 0);
    EXPECT_EQ(g.conduitVersion, 517);

    ASSERT_EQ(tallyhop("account --user ann --log debug").status, 0);
    g.Load(userId_, "Larkspur", 517, int(0xFF000000));
    EXPECT_EQ(g.logInformational, 0);
    EXPECT_EQ(g.logDebug, 1);
}

TEST_F(TallyhopAccount, Errors) {
    EXPECT_EQ(tallyhop("account --user ann").status, 2);
    EXPECT_EQ(tallyhop("account --user ann --number 10").status, 2);
    EXPECT_EQ(tallyhop("account --user ann --number 1 --days many").status, 2);
    EXPECT_EQ(tallyhop("account --user ann --number 1 --client smoke").status, 2);
    EXPECT_EQ(tallyhop("account --user ann --number 1 --days").status, 2);
    Outcome nobody = tallyhop("account --user bob --number 1 --active 1");
    EXPECT_EQ(nobody.status, 1);
    EXPECT_NE(nobody.out.find("no user 'bob'"), std::string::npos) << nobody.out;
}

}  // namespace
}  // namespace tallyhop::test
