// `tallyhop init --notes` and `tallyhop notes`: an installation the client finds, mail put
// into the user's mail file, mail.box delivered, bad arguments refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/notes_client.h"
#include "platform/core/runtime.h"
#include "platform/notes/notes_admin.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/notes_command.h"

using tess::CNotesClient;

namespace {

namespace fs = std::filesystem;

TEST(TallyhopNotes, InitAddMailAndRoute) {
    tess::test::TempHome home;
    std::ostringstream out, err;
    ASSERT_EQ(tallyhop::initNotes("Ann Lee", "pw", out, err), 0) << err.str();
    EXPECT_NE(out.str().find("CN=Ann Lee/O=Tess"), std::string::npos);
    {
        CNotesClient client;  // the registry names the installation
        EXPECT_EQ(client.version(), 60);
        EXPECT_EQ(client.Initialize(nullptr), 0);
        EXPECT_EQ(client.fullUserName(), "CN=Ann Lee/O=Tess");
    }
    const fs::path file = home.path() / "a.txt";
    std::ofstream(file) << "x";
    struct Case {
        std::vector<std::string> args;
        int rc;
    };
    const Case cases[] = {
        {{"add-mail", "--user", "annlee", "--from", "Bo", "--to", "Ann Lee", "--subject", "Hi", "--attach",
          file.string()},
         0},
        {{"add-mail", "--user", "nobody", "--from", "Bo", "--to", "x", "--subject", "Hi"}, 1},
        {{"add-mail", "--user"}, 2},
        {{"add-user", "--name", "CN=Bo Kim/O=Tess", "--short", "bkim", "--address", "bkim@tess.test", "--password",
          "b"},
         0},
        {{"route"}, 0},
        {{"frobnicate"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(tallyhop::notesCommand(c.args, out, err), c.rc) << err.str();
    }
    EXPECT_NE(out.str().find("Note "), std::string::npos);
    EXPECT_TRUE(fs::exists(platform::runtimeRoot() / "notes/data/bkim.id"));
}

TEST(TallyhopNotes, CommandsNeedAnInstallation) {
    tess::test::TempHome home;
    std::ostringstream out, err;
    EXPECT_EQ(tallyhop::notesCommand({"route"}, out, err), 1);
    EXPECT_NE(err.str().find("tallyhop init --notes"), std::string::npos);
}

}  // namespace
