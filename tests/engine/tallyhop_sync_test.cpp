// One Tallyhop operation as `tallyhop sync` starts it: the conduit entry loads the engine
// and the hosts from the registry lists, and the engine runs the account to the end.
#include <sstream>

#include "platform/core/registry.h"
#include "tests/engine/engine_world.h"
#include "tools/tallyhop/sync_command.h"

namespace tidewater::test {
namespace {

TEST(TallyhopSync, ConduitEntryToHandheld) {
    EngineWorld w;
    w.ImapAccount();
    w.HostMail("over the whole road");
    // The IMAP entry of the host list names the scripted host.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\MsgHostPlugins", &key),
              ERROR_SUCCESS);
    const std::string path = (tess::test::libDir() / "libScriptedHost.so").string();
    ASSERT_EQ(RegSetValueExA(key, "Heronwick", 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                             DWORD(path.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);

    std::ostringstream out, err;
    tallyhop::SyncOptions o;
    o.userName = "tester";
    EXPECT_EQ(tallyhop::runSync(o, out, err), 0) << out.str() << err.str();
    EXPECT_EQ(w.Subjects(0), (std::vector<std::string>{"over the whole road"})) << out.str() << err.str();
    EXPECT_NE(out.str().find("result 0"), std::string::npos);

    o.userName = "nobody";
    EXPECT_EQ(tallyhop::runSync(o, out, err), 1);
}

}  // namespace
}  // namespace tidewater::test
