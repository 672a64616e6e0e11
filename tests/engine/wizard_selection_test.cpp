// The account wizard's choice of profile reaching a relay-served account at the next
// synchronisation: used once and removed when sound, left untouched and reported when not.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"
#include "common/password_scrambler.h"
#include "common/plugin_registry.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"
#include "tests/engine/engine_world.h"

namespace tess::engine::test {
namespace {

namespace layout = tess::accounts::layout;

std::filesystem::path SelectionFile() {
    char dir[260];
    int size = sizeof dir;
    EXPECT_EQ(QuayGetSyncManagerDirectory(dir, &size), SYNC_OK);
    return std::filesystem::path(dir) / "LKHELP.dat";
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string DesktopText(const tess::accounts::CMailAccount& a, layout::TextField f) {
    return std::string(tess::accounts::ByteView(a.Image().desktop).text(f.offset, f.width));
}

// A relay-served account of a user whose desktop has the profiles "Home" and "Office"
// (the default), with the relay installed and this user its user.
class WizardSelection : public ::testing::Test {
protected:
    void SetUp() override { w.RelayAccountWithProfiles(); }

    EngineWorld w;
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi uiScope{ui};
};

TEST_F(WizardSelection, ASoundChoiceIsTakenOnceThenTheFileIsGone) {
    struct Case {
        const char* what;
        const char *profile, *password;
        std::string expectedProfile, expectedPassword;
    } cases[] = {
        {"the chosen profile and its password", "Home", "  pw  ", "Home", "pw"},
        {"a profile without a password", "Home", "", "Home", ""},
        {"no profile named: the default profile", "", "pw", "Office", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(LarkspurSaveUserSelection(1, c.profile, c.password, "alice@example.org", 0), 1);
        ASSERT_TRUE(std::filesystem::exists(SelectionFile()));
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        EXPECT_FALSE(std::filesystem::exists(SelectionFile())) << "read once, then removed";
        EXPECT_EQ(scripted::state().logonUser, c.expectedProfile) << EngineWorld::Log();
        const auto account = w.Account(0);
        ASSERT_NE(account, nullptr);
        EXPECT_EQ(DesktopText(*account, layout::kMapiProfile), c.expectedProfile);
        EXPECT_EQ(DesktopText(*account, layout::kDesktopPassword), c.expectedPassword);
        EXPECT_EQ(tess::CPluginRegistry().ReadRelayValue("User").value_or(0), uint32_t(w.userId));
        EXPECT_FALSE(EngineWorld::Logged("selection file")) << EngineWorld::Log();

        // Without a file the next run goes back to the desktop's default profile.
        ASSERT_EQ(w.Sync(), 0);
        EXPECT_EQ(scripted::state().logonUser, "Office");
    }
}

TEST_F(WizardSelection, ADamagedFileIsReportedAndLeftAsItIs) {
    const std::string password = tess::ScramblePassword("pw");
    struct Case {
        const char* what;
        std::string content;
        const char* reason;
    } cases[] = {
        {"too few fields", "Home\x01" + password, "2 fields instead of 4"},
        {"too many fields",
         "Home\x01" + password +
             "\x01x\x01"
             "25\x01more",
         "5 fields instead of 4"},
        {"a password not in its stored form",
         "Home\x01pw\x01x\x01"
         "25",
         "password is not in the stored form"},
        {"a password cut short",
         "Home\x01" + password.substr(0, 40) +
             "\x01x\x01"
             "25",
         "password is not in the stored form"},
        {"a last field that is not a number",
         "Home\x01" + password +
             "\x01x\x01"
             "2x",
         "not a number"},
        {"a line break in a text",
         "Ho\nme\x01" + password +
             "\x01x\x01"
             "25",
         "control character"},
        {"a NUL byte in a text",
         std::string("Ho\0me\x01", 6) + password +
             "\x01x\x01"
             "25",
         "control character"},
        {"a profile name longer than the account holds",
         std::string(200, 'P') + "\x01\x01x\x01"
                                 "25",
         "longer than 127"},
        {"an empty file", "", "1 fields instead of 4"},
        {"a file far too large", std::string(5000, 'A'), "larger than 4096 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(SelectionFile(), std::ios::binary | std::ios::trunc) << c.content;
        ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
        EXPECT_EQ(ReadAll(SelectionFile()), c.content) << "the file is kept byte for byte";
        EXPECT_TRUE(EngineWorld::Logged("selection file", 22)) << EngineWorld::Log();
        EXPECT_TRUE(EngineWorld::Logged(c.reason)) << EngineWorld::Log();
        EXPECT_EQ(scripted::state().logonUser, "Office") << "the account keeps to the default profile";
        const auto account = w.Account(0);
        ASSERT_NE(account, nullptr);
        EXPECT_EQ(DesktopText(*account, layout::kMapiProfile), "Office");
    }
}

TEST_F(WizardSelection, AbsentFileChangesNothingAndBusinessModeLeavesTheFile) {
    ASSERT_FALSE(std::filesystem::exists(SelectionFile()));
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(scripted::state().logonUser, "Office");
    EXPECT_FALSE(EngineWorld::Logged("selection file"));

    // A handheld in business mode takes no desktop profile: the choice waits for a run
    // that can use it.
    platform::syncmgr::HandheldStore(w.handheld).setRemoteAnswer(SYNC_FOURCC('a', 's', 'c', '6'), 0, {0, 0, 0, 1});
    ASSERT_EQ(LarkspurSaveUserSelection(1, "Home", "pw", "", 25), 1);
    const std::string saved = ReadAll(SelectionFile());
    ASSERT_EQ(w.Sync(), 0) << EngineWorld::Log();
    EXPECT_EQ(ReadAll(SelectionFile()), saved);
    const auto account = w.Account(0);
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(DesktopText(*account, layout::kMapiProfile), "Office");
}

}  // namespace
}  // namespace tess::engine::test
