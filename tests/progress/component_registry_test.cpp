// The registry of external sync components, on a private registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/registry.h"
#include "progress/component_registry.h"
#include "progress/lampwick.h"
#include "tests/support/test_home.h"

using tess::progress::RegisteredType;

using platform::mfc::CString;

namespace {

constexpr uint32_t kMail = 0x61736333;

struct Listing {
    RegisteredType** list = nullptr;
    int count = -1;
    int rc = 0;
    explicit Listing(uint32_t creator = kMail) { rc = REGGetRegisteredTypes(creator, &list, &count); }
    ~Listing() {
        if (list) REGFreeRegisteredTypes(list, count);
    }
    const RegisteredType* find(const char* name) const {
        for (int i = 0; i < count; ++i)
            if (list[i]->name.CompareNoCase(name) == 0) return list[i];
        return nullptr;
    }
};

const std::string kLongest(127, 'n');
const std::string kTooLong(128, 'n');

class ComponentRegistry : public ::testing::Test {
protected:
    tess::test::TempHome home;
};

TEST_F(ComponentRegistry, RegisterResultsAsATable) {
    struct Case {
        const char* name;
        uint32_t type;
        const char* display;
        int expected;
    };
    const Case cases[] = {
        {"Alpha", 255, "A", PRG_BAD_ARGUMENT},  // types start at 256
        {"Alpha", 256, "A", 0},
        {"Alpha", 300, "A", REG_E_NAME_TAKEN},  // the name has type 256
        {"Beta", 300, "B", 0},
        {"beta", 300, "B2", 0},                 // same name in other case: an update
        {"Gamma", 300, "G", REG_E_TYPE_TAKEN},  // 300 belongs to Beta
        {"Gamma", 301, "", PRG_BAD_ARGUMENT},   // every text is needed
        {"", 301, "G", PRG_BAD_ARGUMENT},
        {"Top", 0xFFFFFFFFu, "T", 0},   // the highest type number lists as -1
        {"TOP", 0xFFFFFFFFu, "T2", 0},  // and is still updated by its own name
        {"Delta", 0xFFFFFFFFu, "D", REG_E_TYPE_TAKEN},
        {"Dir\\Sub", 302, "S", PRG_BAD_ARGUMENT},  // one key, not a path
        {kLongest.c_str(), 303, "L", 0},           // the longest name a listing can read
        {kTooLong.c_str(), 304, "L", PRG_BAD_ARGUMENT},
    };
    for (const Case& c : cases)
        EXPECT_EQ(REGRegister(kMail, c.name, c.type, c.display, "/opt/x/host.so", "/opt/x/cfg.so"), c.expected)
            << c.name << " " << c.type;

    Listing l;
    ASSERT_EQ(l.rc, 0);
    ASSERT_EQ(l.count, 4);
    ASSERT_NE(l.find(kLongest.c_str()), nullptr);
    const RegisteredType* top = l.find("Top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->type, -1);
    EXPECT_EQ(top->display, CString("T2"));
    const RegisteredType* beta = l.find("Beta");
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(beta->name, CString("Beta"));  // the key keeps its first spelling
    EXPECT_EQ(beta->type, 300);
    EXPECT_EQ(beta->display, CString("B2"));
    EXPECT_EQ(beta->hostPath, CString("/opt/x/host.so"));
    EXPECT_EQ(beta->configPath, CString("/opt/x/cfg.so"));
}

TEST_F(ComponentRegistry, ListingReadsWhatTheKeysHold) {
    // An empty creator lists nothing and leaves the caller's pointer alone.
    RegisteredType** untouched = reinterpret_cast<RegisteredType**>(0x1234);
    int count = 99;
    EXPECT_EQ(REGGetRegisteredTypes(kMail, &untouched, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(untouched, reinterpret_cast<RegisteredType**>(0x1234));
    EXPECT_EQ(REGGetRegisteredTypes(kMail, nullptr, &count), PRG_BAD_ARGUMENT);

    // Entries written by hand: one without "Type", one with an expandable Display.
    const std::string creatorKey = tess::progress::CComponentTypeStore::CreatorKeyPath(kMail);
    EXPECT_EQ(creatorKey, "Software\\Harrow Systems\\Skiff Desktop\\XSP\\asc3\\");
    HKEY key = nullptr;
    // A key whose name is too long for the listing comes first: it is passed over.
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (creatorKey + std::string(200, 'k')).c_str(), &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (creatorKey + "NoType").c_str(), &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Display", 0, REG_SZ, reinterpret_cast<const unsigned char*>("Shown"), 6);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (creatorKey + "Expand").c_str(), &key), ERROR_SUCCESS);
    const uint32_t type = 400;
    RegSetValueExA(key, "Type", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&type), 4);
    RegSetValueExA(key, "Display", 0, REG_EXPAND_SZ, reinterpret_cast<const unsigned char*>("%HOME%"), 7);
    // Texts are read through 260 bytes with their terminator.
    const std::string overlong(260, 'p'), longest(259, 'c');
    RegSetValueExA(key, "HostPath", 0, REG_SZ, reinterpret_cast<const unsigned char*>(overlong.c_str()),
                   static_cast<DWORD>(overlong.size() + 1));
    RegSetValueExA(key, "ConfigPath", 0, REG_SZ, reinterpret_cast<const unsigned char*>(longest.c_str()),
                   static_cast<DWORD>(longest.size() + 1));
    RegCloseKey(key);

    Listing l;
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.list[0]->name, CString("NoType"));  // in key order
    EXPECT_EQ(l.list[0]->type, -1);
    EXPECT_EQ(l.list[0]->display, CString("Shown"));
    EXPECT_EQ(l.list[1]->type, 400);
    EXPECT_TRUE(l.list[1]->display.IsEmpty());
    EXPECT_TRUE(l.list[1]->hostPath.IsEmpty());
    EXPECT_EQ(l.list[1]->configPath, CString(longest));

    // A missing "Type" lists as -1, the same as the highest type number.
    EXPECT_EQ(REGRegister(kMail, "Other", 0xFFFFFFFFu, "O", "h", "c"), REG_E_TYPE_TAKEN);

    // Another creator's key is separate.
    Listing other(0x61646472);  // 'addr'
    EXPECT_EQ(other.count, 0);
}

TEST_F(ComponentRegistry, UnregisterAndFree) {
    EXPECT_EQ(REGUnRegister(kMail, ""), PRG_BAD_ARGUMENT);
    EXPECT_EQ(REGUnRegister(kMail, nullptr), PRG_BAD_ARGUMENT);
    EXPECT_EQ(REGUnRegister(kMail, "Missing"), PRG_BAD_ARGUMENT);
    ASSERT_EQ(REGRegister(kMail, "Alpha", 500, "A", "h", "c"), 0);
    EXPECT_EQ(REGUnRegister(kMail, "ALPHA"), 0);
    EXPECT_EQ(Listing().count, 0);
    // The type is free again for another name.
    EXPECT_EQ(REGRegister(kMail, "Beta", 500, "B", "h", "c"), 0);

    // Values the deletion cannot name go with the key.
    HKEY key = nullptr;
    const std::string betaKey = tess::progress::CComponentTypeStore::CreatorKeyPath(kMail) + "Beta";
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, betaKey.c_str(), &key), ERROR_SUCCESS);
    const std::string longName(300, 'v'), longData(400, 'd');
    RegSetValueExA(key, longName.c_str(), 0, REG_SZ, reinterpret_cast<const unsigned char*>(longData.c_str()),
                   static_cast<DWORD>(longData.size() + 1));
    RegCloseKey(key);
    EXPECT_EQ(REGUnRegister(kMail, "beta"), 0);
    EXPECT_EQ(Listing().count, 0);
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, betaKey.c_str(), &key), ERROR_SUCCESS);

    EXPECT_EQ(REGFreeRegisteredTypes(nullptr, 3), PRG_BAD_ARGUMENT);
    RegisteredType* one[1] = {nullptr};
    EXPECT_EQ(REGFreeRegisteredTypes(one, 0), 0);  // count 0 frees nothing (a stack array here)
}

bool CreatorKeyExists(uint32_t creator) {
    HKEY key = nullptr;
    const std::string path = tess::progress::CComponentTypeStore::CreatorKeyPath(creator);
    if (RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Every operation makes the creator's key before it looks at its arguments, except an
// unregistration without a name.
TEST_F(ComponentRegistry, CreatorKeyOnFirstUse) {
    struct Case {
        const char* what;
        uint32_t creator;
        int (*call)(uint32_t creator);
        int expected;
        bool keyMade;
    };
    const Case cases[] = {
        {"unregister without a name", 0x61303031, [](uint32_t c) { return REGUnRegister(c, ""); }, PRG_BAD_ARGUMENT,
         false},
        {"unregister of a missing name", 0x61303032, [](uint32_t c) { return REGUnRegister(c, "Missing"); },
         PRG_BAD_ARGUMENT, true},
        {"listing without an out pointer", 0x61303033,
         [](uint32_t c) {
             int count = 5;
             return REGGetRegisteredTypes(c, nullptr, &count);
         },
         PRG_BAD_ARGUMENT, true},
        {"listing without a count", 0x61303034,
         [](uint32_t c) {
             RegisteredType** list = nullptr;
             return REGGetRegisteredTypes(c, &list, nullptr);
         },
         PRG_BAD_ARGUMENT, true},
        {"register with a low type", 0x61303035, [](uint32_t c) { return REGRegister(c, "A", 1, "A", "h", "c"); },
         PRG_BAD_ARGUMENT, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(c.creator), c.expected) << c.what;
        EXPECT_EQ(CreatorKeyExists(c.creator), c.keyMade) << c.what;
    }
}

// A value write that fails on the way.
LSTATUS FailHostPath(HKEY key, const char* name, DWORD type, const unsigned char* data, DWORD size) {
    if (std::strcmp(name, "HostPath") == 0) return ERROR_CANTWRITE;
    return RegSetValueExA(key, name, 0, type, data, size);
}

TEST_F(ComponentRegistry, FailedWriteNeverLosesAGoodRegistration) {
    tess::progress::CComponentTypeStore store;
    ASSERT_EQ(store.Register(kMail, "Alpha", 300, "A", "/old/host.so", "/old/cfg.so"), 0);

    // A rewrite that fails halfway puts the old values back instead of removing the entry.
    EXPECT_EQ(store.Register(kMail, "Alpha", 300, "New", "/new/host.so", "/new/cfg.so", FailHostPath), REG_E_REGISTRY);
    Listing l;
    const RegisteredType* alpha = l.find("Alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->type, 300);
    EXPECT_EQ(alpha->display, CString("A"));
    EXPECT_EQ(alpha->hostPath, CString("/old/host.so"));
    EXPECT_EQ(alpha->configPath, CString("/old/cfg.so"));

    // A new entry that cannot be written whole leaves nothing behind.
    EXPECT_EQ(store.Register(kMail, "Beta", 301, "B", "h", "c", FailHostPath), REG_E_REGISTRY);
    Listing after;
    EXPECT_EQ(after.count, 1);
    EXPECT_EQ(after.find("Beta"), nullptr);
}

}  // namespace
