// Synchronisations of an emulated handheld against the scripted host: the main road,
// its checks and the handheld's own changes going back to the host.
#include <fstream>
#include <functional>

#include "tests/engine/engine_world.h"

namespace tidewater::test {
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

}  // namespace
}  // namespace tidewater::test
