// One Tallyhop operation as `tallyhop sync` starts it: the conduit entry loads the engine
// and the hosts from the registry lists, and the engine runs the account to the end.
#include <sstream>

#include "platform/core/registry.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/ui/ui_service.h"
#include "tests/engine/engine_world.h"
#include "tools/tallyhop/sync_command.h"

namespace tess::engine::test {
namespace {

// The IMAP entry of the host list names the scripted host.
void ListScriptedHostAsImap() {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\MsgHostPlugins", &key),
        ERROR_SUCCESS);
    const std::string path = (tess::test::libDir() / "libScriptedHost.so").string();
    ASSERT_EQ(RegSetValueExA(key, "Heronwick", 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                             DWORD(path.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(TallyhopSync, ConduitEntryToHandheld) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("over the whole road");
    ASSERT_NO_FATAL_FAILURE(ListScriptedHostAsImap());

    std::ostringstream out, err;
    tallyhop::SyncOptions o;
    o.userName = "tester";
    EXPECT_EQ(tallyhop::runSync(o, out, err), 0) << out.str() << err.str();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"over the whole road"})) << out.str() << err.str();
    EXPECT_NE(out.str().find("result 0"), std::string::npos);

    o.userName = "nobody";
    EXPECT_EQ(tallyhop::runSync(o, out, err), 1);
}

// The sync action dialog's choice, kept as the sync manager keeps it: "do nothing" for the
// next operation holds once, a default holds until changed.
TEST(TallyhopSync, ActionChosenInTheConduitsDialog) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("held back once");
    ASSERT_NO_FATAL_FAILURE(ListScriptedHostAsImap());

    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope(ui);
    tallyhop::SyncOptions o;
    o.userName = "tester";
    auto run = [&](auto command) {
        std::ostringstream out, err;
        EXPECT_EQ(command(o, out, err), 0) << out.str() << err.str();
        return out.str();
    };

    ui.answerNextForm({IDOK, 1, false, {}});  // do nothing, next time only
    EXPECT_EQ(run(tallyhop::runAction), "Next operation: do nothing\n");
    EXPECT_EQ(ui.forms().back().choice, 0);
    run(tallyhop::runSync);
    EXPECT_TRUE(w.Subjects(0).empty());
    run(tallyhop::runSync);  // the default again
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"held back once"}));

    ui.answerNextForm({IDOK, 1, true, {}});  // do nothing as the default
    EXPECT_EQ(run(tallyhop::runAction), "Default action: do nothing\n");
    ui.answerNextForm({IDCANCEL, 0, false, {}});
    const std::string unchanged = run(tallyhop::runAction);
    EXPECT_EQ(ui.forms().back().choice, 1);  // the dialog opens on the standing choice
    EXPECT_NE(unchanged.find("Unchanged: do nothing"), std::string::npos) << unchanged;
    w.HostMail("held back for good");
    run(tallyhop::runSync);
    run(tallyhop::runSync);
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"held back once"}));
    EXPECT_TRUE(ui.problems().empty());
}

}  // namespace
}  // namespace tess::engine::test
