// The relay's start-up entry: found through the user's shell folders in the registry,
// created as an XDG autostart file, found by name whatever its extension, deleted once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/core/registry.h"
#include "relaycfg/startup_shortcut.h"
#include "tests/support/test_home.h"

namespace {

namespace fs = std::filesystem;
using tess::relaycfg::StartupShortcut;

void setFolderValue(DWORD type, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", &key),
              ERROR_SUCCESS);
    const std::string other = "/home/x/Desktop";
    RegSetValueExA(key, "Desktop", 0, REG_SZ, reinterpret_cast<const unsigned char*>(other.c_str()),
                   DWORD(other.size() + 1));
    RegSetValueExA(key, "Startup", 0, type, reinterpret_cast<const unsigned char*>(text.c_str()),
                   DWORD(text.size() + 1));
    RegCloseKey(key);
}

TEST(StartupShortcut, NoFolderNothingMade) {
    tess::test::TempHome home;
    StartupShortcut s;
    EXPECT_EQ(s.Folder(), "");
    EXPECT_EQ(s.Create("Corvid(TM) Wayfarer", "/opt/x/wayfarer"), 0);
}

TEST(StartupShortcut, CreateFindDelete) {
    tess::test::TempHome home;
    setenv("TESS_TEST_STARTUP_ROOT", home.path().c_str(), 1);
    setFolderValue(REG_EXPAND_SZ, "%TESS_TEST_STARTUP_ROOT%/Startup");
    const fs::path folder = home.path() / "Startup";
    fs::create_directories(folder);
    std::ofstream(folder / "Other.desktop") << "x";
    StartupShortcut s;
    EXPECT_EQ(s.Folder(), folder.string()) << "the variable is expanded";
    std::string found;
    EXPECT_EQ(s.Find("Corvid(TM) Wayfarer", found), 0);
    EXPECT_EQ(s.Create("Corvid(TM) Wayfarer", "wayfarer"), 0) << "a target that is no path";
    ASSERT_EQ(s.Create("Corvid(TM) Wayfarer", "/opt/x/wayfarer"), 1);
    std::ifstream in(folder / "Corvid(TM) Wayfarer.desktop");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(all.find("Exec=\"/opt/x/wayfarer\"\n"), std::string::npos);

    StartupShortcut again;
    ASSERT_EQ(again.Find("Corvid(TM) Wayfarer", found), 1);
    EXPECT_EQ(found, "Corvid(TM) Wayfarer.desktop");
    EXPECT_EQ(again.Delete(found), 1);
    EXPECT_FALSE(fs::exists(folder / found));
    EXPECT_EQ(again.Delete(found), 0) << "already gone";

    std::ofstream(folder / "Corvid(TM) Wayfarer.lnk") << "x";
    StartupShortcut third;
    EXPECT_EQ(third.Find("Corvid(TM) Wayfarer", found), 1) << "whatever its extension";
}

}  // namespace
