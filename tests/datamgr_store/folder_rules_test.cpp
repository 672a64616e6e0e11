// Folders through the exports: names made and set, the common folders, the limit.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {
namespace {

constexpr int kFolderLimit = static_cast<int>(0x80800002u);
constexpr int kFolderExists = static_cast<int>(0x80800003u);
constexpr int kCommonFolder = static_cast<int>(0x80800004u);

class FolderRules : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_EQ(open(), 0);
        ASSERT_EQ(MAccCreate(account.out()), 0);
    }
    // A new folder, named and saved; returns its handle.
    StoreHandle* saved(const char* name) {
        StoreHandle* h = nullptr;
        EXPECT_EQ(MFldCreate(account.h, &h), 0);
        EXPECT_EQ(MFldSetName(h, name), 0) << name;
        EXPECT_EQ(MFldSave(h), 0) << name;
        return h;
    }
    std::string name(StoreHandle* folder) {
        char* text = nullptr;
        EXPECT_EQ(MFldGetName(folder, &text), 0);
        return text ? text : "";
    }
    Handle account;
};

TEST_F(FolderRules, NamesAreCheckedAndTheCommonFoldersKeepTheirs) {
    std::vector<Handle> common(5);
    const char* names[] = {"Inbox", "Outbox", "Deleted", "Sent", "Drafts"};
    for (int i = 0; i < 5; ++i) common[i].h = saved(names[i]);
    Handle own;
    own.h = saved("Projects");

    struct Case {
        const char* what;
        StoreHandle* folder;
        std::string value;
        int expected;
    };
    const std::vector<Case> cases = {
        {"empty", own.h, "", kInvalid},
        {"blanks only", own.h, "   ", kInvalid},
        {"16 characters", own.h, std::string(16, 'f'), kInvalid},
        {"another folder's name in other letters", own.h, "inBOX", kFolderExists},
        {"a common folder", common[2].h, "Bin", kCommonFolder},
        {"15 characters", own.h, std::string(15, 'f'), 0},
        {"its own name again", own.h, std::string(15, 'F'), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MFldSetName(c.folder, c.value.c_str()), c.expected) << c.what;
    }
    EXPECT_EQ(MFldSetName(own.h, nullptr), kInvalid);
    EXPECT_EQ(name(common[2].h), "Deleted");
    EXPECT_EQ(name(own.h), std::string(15, 'F'));

    // Common folders cannot go; another one can, and its slot is free again.
    EXPECT_EQ(MFldDelete(account.h, common[0].out()), kCommonFolder);
    EXPECT_NE(common[0].h, nullptr);
    ASSERT_EQ(MFldDelete(account.h, own.out()), 0);
    EXPECT_EQ(own.h, nullptr);
    Handle again;
    again.h = saved("Travel");
    int id = 0;
    ASSERT_EQ(MFldGetPersistentID(again.h, &id), 0);
    EXPECT_EQ(id & 0xFFFF, 5);
}

// A delete that cannot reach the account file says so: the folder would be back with the
// next load.
TEST_F(FolderRules, ADeleteThatCannotBeSavedIsReported) {
    std::vector<Handle> common(5);
    for (int i = 0; i < 5; ++i) common[i].h = saved(("Common " + std::to_string(i)).c_str());
    Handle own;
    own.h = saved("Projects");
    const auto dir = platform::syncmgr::userDirectory(userId_) / "Tessaline";
    std::filesystem::rename(dir, dir.string() + ".away");
    { std::ofstream(dir) << "not a directory"; }
    EXPECT_EQ(MFldDelete(account.h, own.out()), static_cast<int>(0x80700001u));
    std::filesystem::remove(dir);
    std::filesystem::rename(dir.string() + ".away", dir);
}

// A new folder is named after the first empty slot, with the lowest number from there
// that no folder of the account uses; an account holds at most 15 folders.
TEST_F(FolderRules, NewFoldersAreNumberedAndLimited) {
    std::vector<Handle> made(15);
    ASSERT_EQ(MFldCreate(account.h, made[0].out()), 0);
    EXPECT_EQ(name(made[0].h), "FLD_1");  // slot 0
    ASSERT_EQ(MFldSave(made[0].h), 0);
    for (size_t i = 1; i < 5; ++i) made[i].h = saved(("Common " + std::to_string(i)).c_str());
    made[5].h = saved("FLD_7");  // slot 5
    ASSERT_EQ(MFldCreate(account.h, made[6].out()), 0);
    EXPECT_EQ(name(made[6].h), "FLD_8");  // slot 6: 7 is taken
    ASSERT_EQ(MFldCreate(account.h, made[7].out()), 0);
    EXPECT_EQ(name(made[7].h), "FLD_9");  // slot 6 is still empty: the unsaved FLD_8 counts
    for (size_t i = 8; i < made.size(); ++i) ASSERT_EQ(MFldCreate(account.h, made[i].out()), 0) << i;
    Handle sixteenth;
    EXPECT_EQ(MFldCreate(account.h, sixteenth.out()), kFolderLimit);
    EXPECT_EQ(sixteenth.h, nullptr);
}

}  // namespace
}  // namespace tess::datamgr::test
