// tallyhop init and tallyhop handheld, run as the program, and the listing library.
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <map>
#include <cstdio>
#include <sstream>
#include <string>

#include "platform/core/registry.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"
#include "tools/tallyhop/handheld_listing.h"
#include "tools/tallyhop/runtime_setup.h"

#include <gtest/gtest.h>

namespace tallyhop::test {

using tess::test::TempHome;
using tess::test::binaryDir;
using tess::test::libDir;

namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs tallyhop with the arguments (stdout and stderr together).
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

std::string registryText(const std::string& list, const std::string& name) {
    std::string path = "Software\\Harrow Systems\\Skiff Desktop\\Larkspur\\" + list;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char data[512];
    DWORD size = sizeof data, type = 0;
    LSTATUS rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<unsigned char*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return "<no value>";
    return std::string(data);
}

class Tallyhop : public ::testing::Test {
protected:
    void SetUp() override { platform::syncmgr::resetSession(); }
    void TearDown() override { platform::syncmgr::resetSession(); }
    TempHome home_;
};

TEST_F(Tallyhop, InitMakesUserHandheldAndRegistryListsThenHandheldListsThem) {
    Outcome init = tallyhop("init --user \"Ann Lee\"");
    ASSERT_EQ(init.status, 0) << init.out;
    EXPECT_NE(init.out.find("User 1 \"Ann Lee\""), std::string::npos) << init.out;

    // The user and the conduit, as a conduit would ask for them.
    int count = 0;
    ASSERT_EQ(RosterGetUserCount(&count), SYNC_OK);
    EXPECT_EQ(count, 1);
    char text[260];
    int size = sizeof text;
    ASSERT_EQ(QuayGetConduitDirectory(SYNC_FOURCC('a', 's', 'c', '3'), text, &size), SYNC_OK);
    EXPECT_STREQ(text, "Tessaline");
    EXPECT_TRUE(std::filesystem::is_directory(platform::syncmgr::userDirectory(1) / "Tessaline"));
    int action = -1;
    EXPECT_EQ(RosterGetPermanentAction(1, SYNC_FOURCC('a', 's', 'c', '3'), &action), SYNC_OK);
    EXPECT_EQ(action, 0);

    // Every listed library points into the module directory.
    for (const tallyhop::ListedLibrary& lib : tallyhop::kListedLibraries)
        EXPECT_EQ(registryText(lib.list, lib.valueName),
                  (libDir() / (std::string("lib") + lib.library + ".so")).string())
            << lib.valueName;

    // The handheld answers as the mail application does.
    uint8_t reply[4];
    SyncRemoteCall call{SYNC_FOURCC('a', 's', 'c', '6'), SYNC_FOURCC('a', 'p', 'p', 'l'), 2, nullptr, 0, reply, 4, 0};
    ASSERT_EQ(SyncCallRemoteModule(&call), SYNC_OK);
    EXPECT_EQ(call.replySize, 4u);
    EXPECT_EQ((reply[2] << 8) | reply[3], 2384);

    Outcome list = tallyhop("handheld");
    ASSERT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("12 databases\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Database \"Larkspur Messages\" card 0 creator 'asc3' type 'Dat5' version 2384 "
                            "attributes 0x0000: 0 records\n"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("Database \"LKIDCache7\" card 0 creator 'asc3' type 'Dat7'"), std::string::npos);
    EXPECT_NE(list.out.find("  creator 'asc6' action 2 size 4\n    0000  00 00 09 50"), std::string::npos) << list.out;

    // Running init again keeps what is there.
    Outcome again = tallyhop("init --user \"Ann Lee\"");
    ASSERT_EQ(again.status, 0) << again.out;
    ASSERT_EQ(RosterGetUserCount(&count), SYNC_OK);
    EXPECT_EQ(count, 1);
}

TEST_F(Tallyhop, CommandErrors) {
    struct Case {
        const char* args;
        int status;
        const char* message;
    } cases[] = {
        {"", 2, "usage: tallyhop"},
        {"fly", 2, "unknown command 'fly'"},
        {"handheld", 1, "no handheld 'default' (run tallyhop init)"},
        {"handheld --handheld ../x", 1, "no handheld '../x'"},
        {"handheld --bogus", 2, "unexpected argument '--bogus'"},
        {"init --handheld ../x", 1, "'../x' is not a handheld name"},
    };
    for (const Case& c : cases) {
        Outcome run = tallyhop(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << ": " << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << ": " << run.out;
    }
    EXPECT_FALSE(std::filesystem::exists(home_.path() / "handhelds" / "default.db")) << "listing creates nothing";
}

TEST_F(Tallyhop, ConfigureWithoutADisplayChangesNothing) {
    ASSERT_EQ(tallyhop("init --user Ann").status, 0);
    // No display of any kind for the child.
    std::map<std::string, std::string> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* v = std::getenv(name)) saved[name] = v;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(name);
    const Outcome unknown = tallyhop("configure --user Bob");
    const Outcome run = tallyhop("configure");
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);

    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.out.find("no user 'Bob'"), std::string::npos) << unknown.out;
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("configure needs a display"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("nothing was changed"), std::string::npos) << run.out;
    // The user's settings were not created behind the user's back.
    int version = 0;
    RosterReadInt(1, "Tessaline", "ConduitVersion", &version, 0);
    EXPECT_EQ(version, 0);
    EXPECT_FALSE(std::filesystem::exists(platform::syncmgr::userDirectory(1) / "Tessaline" / "acc0.dat"));
}

TEST_F(Tallyhop, HandheldCardSizeIsSetAndKeepsWhatIsStored) {
    {
        platform::syncmgr::HandheldStore store("pocket", true);
        // A new handheld's card holds a large mailbox.
        EXPECT_GE(store.card().ramSize, 1024u << 20);
        int64_t db = 0;
        ASSERT_EQ(store.createDatabase("Data", 1, 2, 1, 0, 0, &db), SYNC_OK);
        uint32_t id = 0;
        ASSERT_EQ(store.writeRecord(db, &id, 0, 0, reinterpret_cast<const uint8_t*>("abc"), 3), SYNC_OK);
    }
    Outcome set = tallyhop("handheld card --size 4095 --handheld pocket");
    ASSERT_EQ(set.status, 0) << set.out;
    platform::syncmgr::HandheldStore store("pocket", false);
    EXPECT_EQ(store.card().ramSize, 4095u << 20);
    EXPECT_EQ(store.card().usedBytes, 3u);
    EXPECT_EQ(store.card().freeRam(), (4095u << 20) - 3);
    for (const char* bad : {"handheld card --size 0", "handheld card --size 4096", "handheld card"}) {
        Outcome run = tallyhop(bad);
        EXPECT_EQ(run.status, 2) << bad << ": " << run.out;
        EXPECT_NE(run.out.find("--size is the card's memory in MB"), std::string::npos) << run.out;
    }
    EXPECT_EQ(store.card().ramSize, 4095u << 20);
}

TEST_F(Tallyhop, ListingShowsRecordsAndPreferencesInHex) {
    platform::syncmgr::HandheldStore store("pocket", true);
    store.setCard(1024, 4096, "Internal", "Maker");
    int64_t db = 0;
    ASSERT_EQ(store.createDatabase("Larkspur SData", SYNC_FOURCC('a', 's', 'c', '3'), SYNC_FOURCC('D', 'a', 't', '9'),
                                   1056, 0x0008, 0, &db),
              SYNC_OK);
    uint32_t id = 0;
    const std::string key = "0123456789abcdefXYZ";
    ASSERT_EQ(store.writeRecord(db, &id, 0x40, 3, reinterpret_cast<const uint8_t*>(key.data()), key.size()), SYNC_OK);
    platform::syncmgr::PreferenceEntry pref;
    pref.creator = 0x00010203;
    pref.id = 7;
    pref.backup = true;
    pref.version = 2;
    pref.data = {0x00, 0xFF, 0x41};
    ASSERT_EQ(store.writePreference(pref), SYNC_OK);

    std::ostringstream out;
    tallyhop::listHandheld(store, out);
    EXPECT_EQ(out.str(),
              "Handheld pocket\n"
              "Card 0 \"Internal\" by \"Maker\": ROM 1024 bytes, RAM 4096 bytes, 4074 free\n"
              "1 database\n"
              "\n"
              "Database \"Larkspur SData\" card 0 creator 'asc3' type 'Dat9' version 1056 attributes 0x0008: 1 record\n"
              "  #0 id 0x000001 attributes 0x40 category 3 size 19\n"
              "    0000  30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66  |0123456789abcdef|\n"
              "    0010  58 59 5a                                         |XYZ|\n"
              "\n"
              "1 application preference\n"
              "  creator 0x00010203 id 7 backed-up version 2 size 3\n"
              "    0000  00 ff 41                                         |..A|\n"
              "\n"
              "0 application answers\n");
}

}  // namespace
}  // namespace tallyhop::test

namespace tallyhop::test {
namespace {

std::string mailtoCommand() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[512];
    DWORD size = sizeof data, type = 0;
    LSTATUS rc = RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<unsigned char*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data) : "<no value>";
}

// A desktop without a mail client stays so; --mail-client registers the MAPI stand-in
// where the engine and the relay look for the default client.
TEST_F(Tallyhop, InitRegistersTheDefaultMailClientOnlyWhenAsked) {
    Outcome plain = tallyhop("init --user ann");
    ASSERT_EQ(plain.status, 0) << plain.out;
    EXPECT_EQ(mailtoCommand(), "<no key>");
    Outcome with = tallyhop("init --user ann --mail-client");
    ASSERT_EQ(with.status, 0) << with.out;
    std::string command = mailtoCommand();
    for (char& c : command) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(command.find("outlook.exe"), std::string::npos) << command;
    EXPECT_NE(with.out.find("Default mail client"), std::string::npos) << with.out;
}

}  // namespace
}  // namespace tallyhop::test
