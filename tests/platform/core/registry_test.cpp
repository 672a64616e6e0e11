#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/registry.h"
#include "tests/support/test_home.h"

namespace {

// A key handle closed at the end of the scope.
struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
    operator HKEY() const { return h; }
    HKEY* out() { return &h; }
};

class Registry : public ::testing::Test {
protected:
    tess::test::TempHome home;

    static LSTATUS setText(HKEY k, const char* name, const std::string& text, DWORD type = REG_SZ) {
        return RegSetValueExA(k, name, 0, type, reinterpret_cast<const unsigned char*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LSTATUS setDword(HKEY k, const char* name, DWORD v) {
        return RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&v), 4);
    }
    // The value's type and bytes, or the failure.
    static LSTATUS query(HKEY k, const char* name, DWORD* type, std::vector<unsigned char>* bytes) {
        DWORD size = 0;
        LSTATUS s = RegQueryValueExA(k, name, nullptr, type, nullptr, &size);
        if (s != ERROR_SUCCESS) return s;
        bytes->assign(size, 0xEE);
        s = RegQueryValueExA(k, name, nullptr, type, bytes->data(), &size);
        bytes->resize(size);
        return s;
    }
    static std::vector<std::string> subKeys(HKEY k) {
        std::vector<std::string> names;
        char buf[256];
        for (DWORD i = 0; RegEnumKeyA(k, i, buf, sizeof buf) == ERROR_SUCCESS; ++i) names.emplace_back(buf);
        return names;
    }
    static std::vector<std::string> valueNames(HKEY k) {
        std::vector<std::string> names;
        char buf[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof buf;
            if (RegEnumValueA(k, i, buf, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            EXPECT_EQ(size, std::strlen(buf));
            names.emplace_back(buf);
        }
        return names;
    }
};

TEST_F(Registry, KeysAreCaseInsensitiveAndKeepTheirSpelling) {
    Key created, opened;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Harrow Systems\\Larkspur\\", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, created.out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(setText(created, "MsgRedir", "on"), ERROR_SUCCESS);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\harrow systems\\LARKSPUR", 0, KEY_READ, opened.out()),
              ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<unsigned char> bytes;
    ASSERT_EQ(query(opened, "msgredir", &type, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data()), "on");

    // Setting through another spelling replaces the value and keeps the first name.
    ASSERT_EQ(setText(opened, "MSGREDIR", "off"), ERROR_SUCCESS);
    EXPECT_EQ(valueNames(opened), std::vector<std::string>{"MsgRedir"});

    Key software;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "software", software.out()), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(software), std::vector<std::string>{"Harrow Systems"});

    Key again;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\HARROW SYSTEMS\\larkspur", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, again.out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST_F(Registry, HivesAreSeparate) {
    Key user, machine, classes;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Same", user.out()), ERROR_SUCCESS);
    ASSERT_EQ(setDword(user, "Where", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Same", machine.out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(machine.h, nullptr);
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Software\\Same", classes.out()), ERROR_SUCCESS);
    DWORD type;
    std::vector<unsigned char> bytes;
    EXPECT_EQ(query(classes, "Where", &type, &bytes), ERROR_FILE_NOT_FOUND);
    HKEY users = reinterpret_cast<HKEY>(uintptr_t{0x80000003u});
    Key k;
    EXPECT_EQ(RegOpenKeyA(users, "x", k.out()), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, EnumerationFollowsCreationOrder) {
    Key root;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Order", root.out()), ERROR_SUCCESS);
    for (const char* name : {"zeta", "Alpha", "mid", "beta"}) {
        Key child;
        ASSERT_EQ(RegCreateKeyA(root, name, child.out()), ERROR_SUCCESS);
        ASSERT_EQ(setDword(root, name, 7), ERROR_SUCCESS);
    }
    ASSERT_EQ(setDword(root, "ALPHA", 8), ERROR_SUCCESS);  // rewriting keeps the place
    const std::vector<std::string> expected{"zeta", "Alpha", "mid", "beta"};
    EXPECT_EQ(subKeys(root), expected);
    EXPECT_EQ(valueNames(root), expected);

    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumValueA(root, 4, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(root, 4, name, sizeof name), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, ValueTypesRoundTrip) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<unsigned char> in;
        LSTATUS status;
        std::vector<unsigned char> stored;
    };
    using B = std::vector<unsigned char>;
    const Case cases[] = {
        {"text", REG_SZ, B{'a', 'b', 0}, ERROR_SUCCESS, B{'a', 'b', 0}},
        {"no nul", REG_SZ, B{'a', 'b'}, ERROR_SUCCESS, B{'a', 'b', 0}},
        {"inner nul", REG_SZ, B{'a', 0, 'b', 0}, ERROR_SUCCESS, B{'a', 0}},
        {"empty text", REG_SZ, B{}, ERROR_SUCCESS, B{0}},
        {"expand", REG_EXPAND_SZ, B{'%', 'H', '%', 0}, ERROR_SUCCESS, B{'%', 'H', '%', 0}},
        {"dword", REG_DWORD, B{0x78, 0x56, 0x34, 0x12}, ERROR_SUCCESS, B{0x78, 0x56, 0x34, 0x12}},
        {"short dword", REG_DWORD, B{1, 2, 3}, ERROR_INVALID_PARAMETER, B{}},
        {"binary", REG_BINARY, B{0, 0xFF, 0, 7}, ERROR_SUCCESS, B{0, 0xFF, 0, 7}},
        {"empty binary", REG_BINARY, B{}, ERROR_SUCCESS, B{}},
        {"", REG_SZ, B{'d', 0}, ERROR_SUCCESS, B{'d', 0}},
    };
    Key k;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Types", k.out()), ERROR_SUCCESS);
    for (const auto& c : cases) {
        EXPECT_EQ(RegSetValueExA(k, c.name, 0, c.type, c.in.data(), static_cast<DWORD>(c.in.size())), c.status)
            << c.name;
        if (c.status != ERROR_SUCCESS) continue;
        DWORD type = REG_NONE;
        std::vector<unsigned char> bytes;
        ASSERT_EQ(query(k, c.name, &type, &bytes), ERROR_SUCCESS) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(bytes, c.stored) << c.name;
    }
    // The unnamed value is the same whether asked for by null or by "".
    DWORD type;
    std::vector<unsigned char> bytes;
    ASSERT_EQ(query(k, nullptr, &type, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, (B{'d', 0}));
    EXPECT_EQ(RegSetValueExA(k, "null data", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(query(k, "short dword", &type, &bytes), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, SmallBuffersGetMoreData) {
    Key k;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Sizes", k.out()), ERROR_SUCCESS);
    ASSERT_EQ(setText(k, "LongValueName", "0123456789"), ERROR_SUCCESS);

    unsigned char buf[16];
    std::memset(buf, 'x', sizeof buf);
    DWORD size = 5, type = 0;
    EXPECT_EQ(RegQueryValueExA(k, "LongValueName", nullptr, &type, buf, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(buf[0], 'x');  // nothing written
    size = 11;
    EXPECT_EQ(RegQueryValueExA(k, "LongValueName", nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "0123456789");
    EXPECT_EQ(RegQueryValueExA(k, "LongValueName", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);

    // Enumeration: a short name buffer, then a short data buffer.
    char name[20];
    DWORD nameSize = 13;  // no room for the NUL
    DWORD dataSize = sizeof buf;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, nullptr, buf, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 14u);
    nameSize = sizeof name;
    dataSize = 3;
    EXPECT_EQ(RegEnumValueA(k, 0, name, &nameSize, nullptr, &type, buf, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 11u);
    EXPECT_STREQ(name, "LongValueName");
    EXPECT_EQ(nameSize, 13u);

    Key child;
    ASSERT_EQ(RegCreateKeyA(k, "SubKeyName", child.out()), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyA(k, 0, name, 10), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyA(k, 0, name, 11), ERROR_SUCCESS);
    EXPECT_STREQ(name, "SubKeyName");
}

TEST_F(Registry, DeletingValuesAndKeys) {
    Key parent;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Del", parent.out()), ERROR_SUCCESS);
    Key child, grandchild;
    ASSERT_EQ(RegCreateKeyA(parent, "Child\\Grandchild", grandchild.out()), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyA(parent, "CHILD", child.out()), ERROR_SUCCESS);
    ASSERT_EQ(setDword(child, "v", 1), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteValueA(child, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(child, "v"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(setDword(child, "v", 2), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_ACCESS_DENIED);  // still has a sub-key
    EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(parent, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child\\GRANDCHILD"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);

    // Handles on deleted keys report it; a new key of the same name is a new key.
    EXPECT_EQ(setDword(grandchild, "w", 1), ERROR_KEY_DELETED);
    Key reborn;
    ASSERT_EQ(RegCreateKeyA(parent, "Child", reborn.out()), ERROR_SUCCESS);
    DWORD type;
    std::vector<unsigned char> bytes;
    EXPECT_EQ(query(reborn, "v", &type, &bytes), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query(child, "v", &type, &bytes), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, TwoProcessesWritingOneKeyLoseNothing) {
    constexpr int kPerProcess = 150;
    Key k;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Shared", k.out()), ERROR_SUCCESS);
    ASSERT_EQ(setDword(k, "before", 1), ERROR_SUCCESS);  // the parent's connection is open across the fork

    auto writeMany = [](char tag) {
        int failures = 0;
        for (int i = 0; i < kPerProcess; ++i) {
            HKEY key = nullptr;
            // Each round opens the key afresh and writes one new value and one shared one.
            if (RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\shared", &key) != ERROR_SUCCESS) {
                ++failures;
                continue;
            }
            const std::string own = std::string(1, tag) + std::to_string(i);
            failures += setText(key, own.c_str(), own) != ERROR_SUCCESS;
            failures += setText(key, "last", own) != ERROR_SUCCESS;
            RegCloseKey(key);
        }
        return failures;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(writeMany('c') == 0 ? 0 : 1);
    EXPECT_EQ(writeMany('p'), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const auto names = valueNames(k);
    EXPECT_EQ(names.size(), 2u + 2 * kPerProcess);
    for (char tag : {'p', 'c'}) {
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string own = std::string(1, tag) + std::to_string(i);
            DWORD type;
            std::vector<unsigned char> bytes;
            ASSERT_EQ(query(k, own.c_str(), &type, &bytes), ERROR_SUCCESS) << own;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), own);
        }
    }
}

}  // namespace
