// The handheld application's commands as `tallyhop handheld` runs them.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_home.h"
#include "tools/handheld_app/handheld_app.h"
#include "tools/handheld_app/handheld_commands.h"
#include "tools/tallyhop/runtime_setup.h"

namespace {

int Command(std::vector<std::string> args, std::string* out = nullptr) {
    std::ostringstream o, e;
    const int rc = handheld_app::RunCommand(args, o, e);
    if (out) *out = o.str() + e.str();
    return rc;
}

TEST(HandheldCommands, AccountComposeDeleteAndShow) {
    tess::test::TempHome home;
    std::ostringstream out, err;
    tallyhop::InitOptions o;
    o.userName = "tester";
    ASSERT_EQ(tallyhop::initRuntime(o, out, err), 0);

    EXPECT_EQ(Command({"account", "--number", "1", "--name", "Home", "--server", "imap.example.org", "--user", "u",
                       "--password", "p", "--email", "u@example.org"}),
              0);
    std::string text;
    ASSERT_EQ(Command({"compose", "--account", "1", "--to", "a@example.org", "--subject", "hello"}, &text), 0);
    const auto shown = handheld_app::ListFolder("default", 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].account, 1);
    EXPECT_EQ(shown[0].msg.From, "u@example.org");
    EXPECT_NE(text.find(std::to_string(shown[0].recordId)), std::string::npos);

    ASSERT_EQ(Command({"show", "--category", "1"}, &text), 0);
    EXPECT_NE(text.find("hello"), std::string::npos);
    ASSERT_EQ(Command({"delete", "--record", std::to_string(shown[0].recordId)}), 0);
    EXPECT_TRUE(handheld_app::ListFolder("default", 1).empty());
    EXPECT_EQ(handheld_app::RecordCount("default", "Larkspur Disconnected"), 1);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"compose", "--account", "8"},
                                               {"delete", "--record", "x"},
                                               {"account", "--number", "0"},
                                               {"show", "stray"},
                                               {"account", "--name", "A", "--port", "70000"}})
        EXPECT_EQ(Command(bad), 2) << bad[0];
    EXPECT_EQ(Command({"delete", "--record", "999"}), 1) << "no such record";
}

}  // namespace
