// Desktop users, their data store and synchronisation actions, the conduit manager and
// the user manager class.
#include <cstring>
#include <string>

#include "platform/syncmgr/user_manager.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

namespace platform::syncmgr::test {
namespace {

constexpr uint32_t kAsc3 = SYNC_FOURCC('a', 's', 'c', '3');

class Users : public SyncmgrTest {
protected:
    void SetUp() override {
        SyncmgrTest::SetUp();
        ASSERT_EQ(platform::syncmgr::addUser("Ann Lee", &ann_), SYNC_OK);
        ASSERT_EQ(platform::syncmgr::addUser("bob", &bob_), SYNC_OK);
    }
    std::string text(int (*call)(int, char*, int*), int user) {
        char buf[260];
        int size = sizeof buf;
        int rc = call(user, buf, &size);
        return rc == SYNC_OK ? std::string(buf, static_cast<size_t>(size)) : "error " + std::to_string(rc);
    }
    int ann_ = 0, bob_ = 0;
};

TEST_F(Users, ListGivesIdsNamesAndFolders) {
    int count = 0;
    ASSERT_EQ(RosterGetUserCount(&count), SYNC_OK);
    EXPECT_EQ(count, 2);
    int id = 0;
    ASSERT_EQ(RosterGetUserIdByIndex(1, &id), SYNC_OK);
    EXPECT_EQ(id, bob_);
    EXPECT_EQ(RosterGetUserIdByIndex(2, &id), SYNCERR_NOT_FOUND);
    EXPECT_EQ(RosterGetUserIdByIndex(-1, &id), SYNCERR_NOT_FOUND);

    EXPECT_EQ(text(RosterGetUserName, ann_), "Ann Lee");
    EXPECT_EQ(text(RosterGetUserFolderName, ann_), "Ann_Lee");
    char root[260];
    int size = sizeof root;
    ASSERT_EQ(RosterGetUserDataFolder(root, &size), SYNC_OK);
    EXPECT_EQ(std::string(root), (platform::syncmgr::syncManagerDirectory() / "").string());
    EXPECT_EQ(text(RosterGetUserDirectory, ann_), std::string(root) + "Ann_Lee/");
    EXPECT_TRUE(std::filesystem::is_directory(std::string(root) + "Ann_Lee"));
    EXPECT_EQ(text(RosterGetUserName, 999), "error " + std::to_string(SYNCERR_NOT_FOUND));

    char dir[260];
    size = sizeof dir;
    ASSERT_EQ(QuayGetSyncManagerDirectory(dir, &size), SYNC_OK);
    EXPECT_EQ(std::string(dir) + "/", std::string(root));
}

TEST_F(Users, FolderNamesAreUniqueAndNamesAreNotRepeated) {
    int other = 0;
    ASSERT_EQ(platform::syncmgr::addUser("Ann/Lee", &other), SYNC_OK);
    EXPECT_EQ(text(RosterGetUserFolderName, other), "Ann_Lee2");
    EXPECT_EQ(platform::syncmgr::addUser("bob", &other), SYNCERR_EXISTS);
    EXPECT_EQ(platform::syncmgr::addUser("", &other), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Users, ShortBuffersGetTheSizeNeeded) {
    char buf[4] = "xyz";
    int size = sizeof buf;
    EXPECT_EQ(RosterGetUserName(ann_, buf, &size), SYNCERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 8);
    EXPECT_STREQ(buf, "");
    size = 0;
    EXPECT_EQ(RosterGetUserName(ann_, buf, &size), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(RosterGetUserName(ann_, nullptr, &size), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Users, UserIdFromDirectory) {
    std::string folder = (platform::syncmgr::syncManagerDirectory() / "Ann_Lee").string();
    struct Case {
        std::string directory;
        int rc;
    } cases[] = {
        {folder, SYNC_OK},
        {folder + "/", SYNC_OK},
        {"Ann_Lee", SYNC_OK},
        {"", SYNCERR_NOT_FOUND},
        {folder + "/Larkspur", SYNCERR_NOT_FOUND},
        {"/elsewhere/Ann_Lee", SYNCERR_NOT_FOUND},
    };
    for (const Case& c : cases) {
        int id = -1;
        EXPECT_EQ(RosterUserIdFromDirectory(c.directory.c_str(), &id), c.rc) << c.directory;
        if (c.rc == SYNC_OK) {
            EXPECT_EQ(id, ann_) << c.directory;
        }
    }

    ConduitActionPrefs prefs{};
    static_assert(offsetof(ConduitActionPrefs, defaultFlag) == 516 && offsetof(ConduitActionPrefs, action) == 520);
    prefs.userId = bob_;
    int id = 0;
    EXPECT_EQ(RosterUserIdFromActionPrefs(&prefs, &id), SYNC_OK);
    EXPECT_EQ(id, bob_);
    prefs.userId = 77;
    EXPECT_EQ(RosterUserIdFromActionPrefs(&prefs, &id), SYNCERR_NOT_FOUND);
}

TEST_F(Users, DataStoreKeepsTypedValuesPerUser) {
    ASSERT_EQ(RosterWriteInt(ann_, "Tessaline", "Number Of Accounts", 3), SYNC_OK);
    ASSERT_EQ(RosterWriteText(ann_, "Tessaline", "MServ", "mail.example.org"), SYNC_OK);
    ASSERT_EQ(RosterWriteInt(ann_, "Tessaline", "Expires", -32768), SYNC_OK);

    struct IntCase {
        int user;
        const char* section;
        const char* key;
        int rc;
        int value;
    } ints[] = {
        {ann_, "Tessaline", "Number Of Accounts", SYNC_OK, 3},
        {ann_, "TESSALINE", "number of accounts", SYNC_OK, 3},  // without regard to case
        {ann_, "Tessaline", "Expires", SYNC_OK, -32768},
        {ann_, "Larkspur", "Number Of Accounts", SYNCERR_NOT_FOUND, 8},
        {bob_, "Tessaline", "Number Of Accounts", SYNCERR_NOT_FOUND, 8},
        {ann_, "Tessaline", "MServ", SYNCERR_WRONG_TYPE, 8},
    };
    for (const IntCase& c : ints) {
        int v = 0;
        EXPECT_EQ(RosterReadInt(c.user, c.section, c.key, &v, 8), c.rc) << c.section << "/" << c.key;
        EXPECT_EQ(v, c.value) << c.section << "/" << c.key;
    }

    char buf[256];
    int size = sizeof buf;
    EXPECT_EQ(RosterReadText(ann_, "Tessaline", "MServ", buf, &size, ""), SYNC_OK);
    EXPECT_STREQ(buf, "mail.example.org");
    EXPECT_EQ(size, 16);
    size = sizeof buf;
    EXPECT_EQ(RosterReadText(ann_, "Tessaline", "Number Of Accounts", buf, &size, "dflt"), SYNCERR_WRONG_TYPE);
    EXPECT_STREQ(buf, "dflt");
    size = sizeof buf;
    EXPECT_EQ(RosterReadText(bob_, "Tessaline", "MServ", buf, &size, nullptr), SYNCERR_NOT_FOUND);
    EXPECT_STREQ(buf, "");

    // Writing the other type replaces the value; deleting makes it absent.
    ASSERT_EQ(RosterWriteText(ann_, "Tessaline", "Number Of Accounts", "three"), SYNC_OK);
    int v = 0;
    EXPECT_EQ(RosterReadInt(ann_, "Tessaline", "Number Of Accounts", &v, 8), SYNCERR_WRONG_TYPE);
    EXPECT_EQ(RosterDeleteValue(ann_, "tessaline", "NUMBER OF ACCOUNTS"), SYNC_OK);
    EXPECT_EQ(RosterDeleteValue(ann_, "Tessaline", "Number Of Accounts"), SYNCERR_NOT_FOUND);
    EXPECT_EQ(RosterReadInt(ann_, "Tessaline", "Number Of Accounts", &v, 8), SYNCERR_NOT_FOUND);

    EXPECT_EQ(RosterWriteInt(999, "Tessaline", "x", 1), SYNCERR_NOT_FOUND) << "no such user";
    EXPECT_EQ(RosterWriteInt(ann_, "", "x", 1), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(RosterWriteText(ann_, "Tessaline", nullptr, "x"), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Users, LongTextIsCutWithinTheBuffer) {
    std::string key(300, 'k');
    ASSERT_EQ(RosterWriteText(ann_, "LarkspurRDC", "Rosterbook", key.c_str()), SYNC_OK);
    char buf[17];
    std::memset(buf, '#', sizeof buf);
    int size = 16;
    EXPECT_EQ(RosterReadText(ann_, "LarkspurRDC", "Rosterbook", buf, &size, ""), SYNCERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 301);
    EXPECT_EQ(std::string(buf), std::string(15, 'k'));
    EXPECT_EQ(buf[16], '#') << "nothing written past the size given";
}

TEST_F(Users, SyncActionsPermanentAndNext) {
    int v = -1;
    EXPECT_EQ(RosterGetPermanentAction(ann_, kAsc3, &v), SYNCERR_NOT_FOUND);
    EXPECT_EQ(v, -1);
    ASSERT_EQ(RosterSetPermanentAction(ann_, kAsc3, 3), SYNC_OK);
    EXPECT_EQ(RosterGetNextAction(ann_, kAsc3, &v), SYNCERR_NOT_FOUND) << "setting one leaves the other unset";
    ASSERT_EQ(RosterSetNextAction(ann_, kAsc3, 0), SYNC_OK);
    ASSERT_EQ(RosterGetPermanentAction(ann_, kAsc3, &v), SYNC_OK);
    EXPECT_EQ(v, 3);
    ASSERT_EQ(RosterGetNextAction(ann_, kAsc3, &v), SYNC_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(RosterGetPermanentAction(bob_, kAsc3, &v), SYNCERR_NOT_FOUND);
    EXPECT_EQ(RosterGetPermanentAction(ann_, SYNC_FOURCC('a', 's', 'c', '4'), &v), SYNCERR_NOT_FOUND);
    EXPECT_EQ(RosterSetNextAction(999, kAsc3, 0), SYNCERR_NOT_FOUND);
}

TEST_F(Users, ConduitRegistrationByCreator) {
    platform::syncmgr::ConduitRegistration c;
    c.creator = kAsc3;
    c.name = "Tessaline";
    c.priority = 2;
    c.library = "Gatehouse.dll";
    c.directory = "Larkspur";
    c.remoteDb = "Larkspur Messages";
    c.title = "Tessaline (TM)";
    ASSERT_EQ(platform::syncmgr::registerConduit(c), SYNC_OK);

    struct Case {
        int (*call)(uint32_t, char*, int*);
        const char* expected;
    } cases[] = {
        {QuayGetConduitName, "Tessaline"},       {QuayGetConduitLibrary, "Gatehouse.dll"},
        {QuayGetConduitDirectory, "Larkspur"},   {QuayGetConduitRemoteDb, "Larkspur Messages"},
        {QuayGetConduitTitle, "Tessaline (TM)"}, {QuayGetConduitArguments, ""},
        {QuayGetConduitInformation, ""},
    };
    for (const Case& k : cases) {
        char buf[256];
        int size = sizeof buf;
        EXPECT_EQ(k.call(kAsc3, buf, &size), SYNC_OK);
        EXPECT_STREQ(buf, k.expected);
        size = sizeof buf;
        EXPECT_EQ(k.call(SYNC_FOURCC('n', 'o', 'n', 'e'), buf, &size), SYNCERR_NOT_FOUND);
    }
    int priority = 0;
    ASSERT_EQ(QuayGetConduitPriority(kAsc3, &priority), SYNC_OK);
    EXPECT_EQ(priority, 2);
}

TEST_F(Users, UserManagerWalksTheUsersOfItsFolder) {
    char root[260];
    int size = sizeof root;
    ASSERT_EQ(RosterGetUserDataFolder(root, &size), SYNC_OK);

    CUserMgr mgr;
    mgr.SetDirectory(root);
    EXPECT_STREQ(mgr.GetDirectory(), root);
    CUser* user = nullptr;
    std::vector<std::pair<int, std::string>> seen;
    for (int rc = mgr.FindFirst(&user); rc == SYNC_OK; rc = mgr.FindNext(&user)) {
        ASSERT_NE(user, nullptr);
        seen.emplace_back(user->GetId(), std::string(user->GetName()) + "|" + user->GetFolder());
    }
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{ann_, "Ann Lee|Ann_Lee"}, {bob_, "bob|bob"}}));

    CUserMgr empty;
    EXPECT_EQ(empty.FindFirst(&user), SYNCERR_NOT_FOUND);
    empty.SetDirectory((home_->path() / "nowhere").c_str());
    EXPECT_EQ(empty.FindFirst(&user), SYNCERR_NOT_FOUND);
    EXPECT_EQ(user, nullptr);
}

}  // namespace
}  // namespace platform::syncmgr::test
