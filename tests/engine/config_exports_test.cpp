// The engine's configuration exports: opening the configuration library, the account
// wizard's selection file and its one reading, the desktop's mail profiles by position and
// the document translator's registration.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/language_module.h"
#include "common/password_scrambler.h"
#include "common/plugin_registry.h"
#include "engine/config_exports.h"
#include "engine/tidewater.h"
#include "platform/core/registry.h"
#include "tests/engine/registry_text.h"
#include "platform/mapi/profiles.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/ui/ui_service.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tess::engine::test {
namespace {

using test::SetText;

std::string SyncManagerDir() {
    char buf[260];
    int size = sizeof buf;
    EXPECT_EQ(QuayGetSyncManagerDirectory(buf, &size), SYNC_OK);
    return buf;
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct World {
    tess::test::TempHome home;
    platform::ui::ScriptedUi ui;
    platform::ui::ScopedUi scope{ui};
    int userId = 0;
    World() {
        std::ostringstream out, err;
        tallyhop::InitOptions o;
        o.userName = "tester";
        EXPECT_EQ(tallyhop::initRuntime(o, out, err), 0) << err.str();
        platform::syncmgr::resetSession();
        RosterGetUserIdByIndex(0, &userId);
    }
    std::string LastText() const { return ui.questions().empty() ? "" : ui.questions().back().text; }
};

TEST(ConfigureLarkspur, MissingOrBrokenConfigurationLibrary) {
    World w;
    ASSERT_EQ(CreateIniFileSettings(w.userId), 0);
    const std::string key = std::string(tess::kProductKey) + "ConfigPlugins";
    // A library that exists but has no "Configure", and a library that is not there.
    for (const std::string& path :
         {(tess::test::libDir() / "libTidewater.so").string(), std::string("/nonexistent/libX.so")}) {
        SCOPED_TRACE(path);
        SetText(HKEY_CURRENT_USER, key, "ConfHost", path);
        const size_t asked = w.ui.questions().size();
        EXPECT_EQ(ConfigureLarkspur(w.userId), 1);
        ASSERT_EQ(w.ui.questions().size(), asked + 1);
        EXPECT_NE(w.LastText().find("missing or corrupt"), std::string::npos) << w.LastText();
    }
}

TEST(ConfigureLarkspur, UserWithoutSettingsIsAskedFirst) {
    World w;
    SetText(HKEY_CURRENT_USER, std::string(tess::kProductKey) + "ConfigPlugins", "ConfHost", "/nonexistent/libX.so");
    // No: nothing is created and the window does not open.
    w.ui.answerNext(IDNO);
    EXPECT_EQ(ConfigureLarkspur(w.userId), 1);
    ASSERT_EQ(w.ui.questions().size(), 1u);
    EXPECT_NE(w.ui.questions()[0].text.find("not configured"), std::string::npos);
    int version = 0;
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 0);

    // Yes: the settings are made, then the (missing) library is reported.
    w.ui.answerNext(IDYES);
    EXPECT_EQ(ConfigureLarkspur(w.userId), 1);
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);
    EXPECT_NE(w.LastText().find("missing or corrupt"), std::string::npos);

    // A user the sync manager does not list cannot get settings: the failure is shown.
    w.ui.answerNext(IDYES);
    EXPECT_EQ(ConfigureLarkspur(w.userId + 100), 1);
    EXPECT_NE(w.LastText().find("generate settings"), std::string::npos) << w.LastText();
}

TEST(ConfigureLarkspur, OlderSettingsAreUpgradedOnlyWhenTheUserAgrees) {
    World w;
    ASSERT_EQ(CreateIniFileSettings(w.userId), 0);
    SetText(HKEY_CURRENT_USER, std::string(tess::kProductKey) + "ConfigPlugins", "ConfHost", "/nonexistent/libX.so");
    RosterWriteInt(w.userId, "Tessaline", "ConduitVersion", 512);
    w.ui.answerNext(IDCANCEL);
    EXPECT_EQ(ConfigureLarkspur(w.userId), 1);
    int version = 0;
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 512);
    EXPECT_NE(w.LastText().find("being upgraded"), std::string::npos);

    w.ui.answerNext(IDOK);
    EXPECT_EQ(ConfigureLarkspur(w.userId), 1);
    RosterReadInt(w.userId, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 517);
}

TEST(UserSelection, WrittenOnceAndReadOnce) {
    World w;
    const auto file = std::filesystem::path(SyncManagerDir()) / "LKHELP.dat";
    struct Case {
        const char *text1, *text2, *text3;
        int number;
        std::string expected;  // the password field is checked apart
    } cases[] = {
        {"Work", "  secret  ", "extra", 0, "25"},
        {"Work", "", "extra", -3, "25"},
        {"Home", "pw", nullptr, 7, "7"},
        {nullptr, nullptr, nullptr, 1, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        ASSERT_EQ(LarkspurSaveUserSelection(1, c.text1, c.text2, c.text3, c.number), 1);
        const std::string stored = ReadAll(file);
        const std::string password =
            c.text2 && *c.text2 ? tess::ScramblePassword(std::string(c.text2) == "  secret  " ? "secret" : c.text2)
                                : "";
        EXPECT_EQ(stored, std::string(c.text1 ? c.text1 : "") + '\x01' + password + '\x01' + (c.text3 ? c.text3 : "") +
                              '\x01' + c.expected);

        UserSelection read;
        const bool found = ReadUserSelection(&read);
        EXPECT_EQ(found, c.text1 != nullptr);
        EXPECT_EQ(read.account, c.text1 ? c.text1 : "");
        EXPECT_EQ(read.password, c.text2 ? std::string(c.text2) == "  secret  " ? "secret" : c.text2 : "");
        EXPECT_EQ(read.third, c.text3 ? c.text3 : "");
        EXPECT_EQ(read.number, 25) << "the reader always takes 25";
        EXPECT_FALSE(std::filesystem::exists(file)) << "read once, then deleted";
        EXPECT_FALSE(ReadUserSelection(&read));
    }
}

TEST(UserSelection, RelayMailSystemKeptUnlessBothAreSet) {
    World w;
    tess::CPluginRegistry registry;
    struct Case {
        int stored;  // -1: none
        int given;
        uint32_t after;
    } cases[] = {{-1, 0, 0}, {-1, 5, 1}, {0, 5, 5}, {3, 0, 0}, {3, 5, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " " << c.given);
        if (c.stored < 0) {
            HKEY key = registry.GetKey(tess::kMsgRedir);
            RegDeleteValueA(key, "Exchange");
        } else {
            registry.WriteRelayValue("Exchange", uint32_t(c.stored));
        }
        ASSERT_EQ(LarkspurSaveUserSelection(c.given, "a", "b", "c", 1), 1);
        EXPECT_EQ(tess::GetRelayExchangeFlag(), int(c.after));
    }
}

TEST(ProfileExports, ByOneBasedPositionAfterTheCount) {
    World w;
    CLanguageModule language("LKSYNCLANG.DLL", nullptr);
    char buf[64] = "untouched";
    EXPECT_EQ(LarkspurGetProfileAt(1, buf, sizeof buf), 0) << "no list read yet";
    int count = -1;
    // Not a MAPI mail client: no list.
    EXPECT_EQ(LarkspurGetProfileCount(&count), 0);
    EXPECT_EQ(count, 0);

    platform::mapi::clearMemoryProfiles();
    for (const char* name : {"Home", "Office"}) {
        platform::mapi::Profile p;
        p.name = name;
        p.maildir = (w.home.path() / name).string();
        ASSERT_TRUE(platform::mapi::saveProfile(p));
    }
    SetText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"C:\\Programs\\OUTLOOK.EXE\" /c ipm.note");
    ASSERT_EQ(LarkspurGetProfileCount(&count), 1);
    EXPECT_EQ(count, 2);
    struct Case {
        int index, size, result;
        const char* name;
    } cases[] = {{0, 64, 0, nullptr}, {1, 64, 1, "Home"}, {2, 64, 1, "Office"}, {3, 64, 0, nullptr},
                 {2, 7, 1, "Office"}, {2, 6, 0, nullptr}, {-1, 64, 0, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << "/" << c.size);
        std::strcpy(buf, "untouched");
        EXPECT_EQ(LarkspurGetProfileAt(c.index, buf, c.size), c.result);
        EXPECT_STREQ(buf, c.name ? c.name : "untouched");
    }
    platform::mapi::clearMemoryProfiles();
}

TEST(TranslatorRegistration, DocumentTranslatorListed) {
    World w;
    EXPECT_EQ(LarkspurConfigurePrismatica(), 0);
    HKEY key = nullptr;
    const std::string path = std::string(tess::kProductKey) + "ApplicationPlugins\\PrismaticaDLL";
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    char text[128] = {};
    DWORD size = sizeof text, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "ConvertFrom", nullptr, &type, reinterpret_cast<unsigned char*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "doc,xls,ppt");
    RegCloseKey(key);
}

}  // namespace
}  // namespace tess::engine::test
