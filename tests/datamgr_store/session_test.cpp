// Opening the session and walking the accounts and folders through handles.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "progress/lampwick.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::datamgr::test {
namespace {

constexpr int kEndOfList = static_cast<int>(0x8000000Cu);

TEST_F(StoreTest, OpeningIsRefusedForABadBlockUserOrCreator) {
    int user = -1;
    EXPECT_EQ(IPES_Initialize(nullptr), kInvalid);
    struct Case {
        const char* what;
        int user;
        uint32_t creator;
    };
    for (const Case& c : {Case{"wrong creator", userId_, 0x61736334}, Case{"user 0", 0, kMail},
                          Case{"unknown user", userId_ + 40, kMail}}) {
        EXPECT_EQ(open(nullptr, 1, c.creator, c.user), kInvalid) << c.what;
        EXPECT_EQ(IPES_IsInitialized(&user), 0) << c.what;
    }
}

// Every slot's account file is read; names and folders set through the exports are
// there again after the session is opened anew.
TEST_F(StoreTest, AccountsAndFoldersWalkAndPersist) {
    ASSERT_EQ(open(), 0);
    int user = 0;
    EXPECT_EQ(IPES_IsInitialized(&user), 1);
    EXPECT_EQ(user, userId_);
    {
        Handle made;
        ASSERT_EQ(MAccCreate(made.out()), 0);
        int id = -1;
        EXPECT_EQ(MAccGetPersistentID(made.h, &id), 0);
        EXPECT_EQ(id, 7);  // the last free slot
        const char* name = nullptr;
        int length = 0;
        ASSERT_EQ(MAccGetStringData(made.h, 0, &name, &length), 0);
        EXPECT_STREQ(name, "Mail 8");
        EXPECT_EQ(MAccSetStringData(made.h, 0, "Work"), 0);
        EXPECT_EQ(MAccSetStringData(made.h, 1, "imap.example.org"), 0);
        for (const char* folderName : {"Inbox", "Outbox", "Deleted", "Projects"}) {
            Handle folder;
            ASSERT_EQ(MFldCreate(made.h, folder.out()), 0);
            ASSERT_EQ(MFldSetName(folder.h, folderName), 0) << folderName;
            ASSERT_EQ(MFldSave(folder.h), 0) << folderName;
        }
        EXPECT_EQ(MAccSave(made.h), 0);
    }

    ASSERT_EQ(open(), 0);  // everything is loaded again
    std::vector<int> ids;
    Handle account;
    ASSERT_EQ(IPES_GetFirstAccount(account.out()), 0);
    for (;;) {
        int id = -1;
        ASSERT_EQ(MAccGetPersistentID(account.h, &id), 0);
        ids.push_back(id);
        Handle next;
        const int rc = IPES_GetNextAccount(account.h, next.out());
        if (rc == kEndOfList) break;
        ASSERT_EQ(rc, 0);
        std::swap(account.h, next.h);
    }
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

    Handle work;
    ASSERT_EQ(IPES_GetAccountById(7, work.out()), 0);
    const char* name = nullptr;
    int length = 0;
    ASSERT_EQ(MAccGetStringData(work.h, 0, &name, &length), 0);
    EXPECT_EQ(std::string(name, length), "Work");
    std::vector<std::string> folders;
    Handle folder;
    ASSERT_EQ(MAccGetFirstFolder(work.h, folder.out()), 0);
    for (;;) {
        char* text = nullptr;
        ASSERT_EQ(MFldGetName(folder.h, &text), 0);
        folders.push_back(text);
        Handle next;
        const int rc = MAccGetNextFolder(work.h, folder.h, next.out());
        if (rc == kEndOfList) break;
        ASSERT_EQ(rc, 0);
        std::swap(folder.h, next.h);
    }
    EXPECT_EQ(folders, (std::vector<std::string>{"Inbox", "Outbox", "Deleted", "Projects"}));

    int persistent = 0;
    ASSERT_EQ(MFldGetPersistentID(folder.h, &persistent), 0);
    EXPECT_EQ(persistent, 7 << 16 | 3);
    Handle again;
    ASSERT_EQ(MFldGetHandle(persistent, again.out()), 0);
    EXPECT_EQ(MFldGetHandle(7 << 16 | 9, again.out()), static_cast<int>(0x80800006u));

    Handle none;
    EXPECT_EQ(IPES_GetAccountById(8, none.out()), kInvalid);
    // Message counts need a synchronisation.
    int count = 0;
    EXPECT_EQ(MAccGetNumMessages(work.h, &count), static_cast<int>(0x80000009u));
}

TEST_F(StoreTest, ReleasedOrStaleHandlesAreRefused) {
    ASSERT_EQ(open(), 0);
    StoreHandle* account = nullptr;
    ASSERT_EQ(IPES_GetFirstAccount(&account), 0);
    StoreHandle* copy = account;
    ASSERT_EQ(MAccRelease(&account), 0);
    EXPECT_EQ(account, nullptr);
    int id = 0;
    EXPECT_EQ(MAccGetPersistentID(account, &id), kInvalid);
    EXPECT_EQ(MAccGetPersistentID(copy, &id), kInvalid);  // a stale copy of the freed handle
    EXPECT_EQ(MAccRelease(&copy), kInvalid);

    // Every export that takes an account or folder handle refuses a released one.
    Handle live;
    ASSERT_EQ(IPES_GetAccountById(3, live.out()), 0);
    StoreHandle* folder = nullptr;
    ASSERT_EQ(MFldCreate(live.h, &folder), 0);
    StoreHandle* staleFolder = folder;
    ASSERT_EQ(MFldRelease(&folder), 0);
    StoreHandle* out = nullptr;
    const char* text = nullptr;
    char* name = nullptr;
    short word = 1;
    char flag = 1;
    int number = 0;
    StoreHandle** list = nullptr;
    const std::vector<std::pair<const char*, int>> refusals = {
        {"IPES_GetNextAccount", IPES_GetNextAccount(copy, &out)},
        {"IPES_FreeAccountHandle", IPES_FreeAccountHandle(&copy)},
        {"MAccGetNext", MAccGetNext(copy, &out)},
        {"MAccDelete", MAccDelete(&copy)},
        {"MAccSave", MAccSave(copy)},
        {"MAccForceDatReload", MAccForceDatReload(copy)},
        {"MAccGetStringData", MAccGetStringData(copy, 0, &text, &number)},
        {"MAccSetStringData", MAccSetStringData(copy, 0, "x")},
        {"MAccSetInt16Data", MAccSetInt16Data(copy, 0, &word)},
        {"MAccSetInt32Data", MAccSetInt32Data(copy, 0, &number)},
        {"MAccSetBoolData", MAccSetBoolData(copy, 0, &flag)},
        {"MAccGetType", MAccGetType(copy, &number)},
        {"MAccSetConnectionType", MAccSetConnectionType(copy, &word)},
        {"MAccGetCommonFolder", MAccGetCommonFolder(copy, 0, &out)},
        {"MAccGetFirstFolder", MAccGetFirstFolder(copy, &out)},
        {"MAccGetServerSyncFolders", MAccGetServerSyncFolders(copy, &list, &number)},
        {"MFldCreate", MFldCreate(copy, &out)},
        {"MFldGetName", MFldGetName(staleFolder, &name)},
        {"MFldSetName", MFldSetName(staleFolder, "x")},
        {"MFldSave", MFldSave(staleFolder)},
        {"MFldDelete", MFldDelete(live.h, &staleFolder)},
        {"MFldGetNumMsgs", MFldGetNumMsgs(staleFolder, &number)},
        {"MFldGetPersistentID", MFldGetPersistentID(staleFolder, &number)},
        {"MFldMoveMsgsIntoFolder", MFldMoveMsgsIntoFolder(staleFolder, nullptr, 0)},
        {"MAccGetNextFolder", MAccGetNextFolder(live.h, staleFolder, &out)},
        {"MFldRelease", MFldRelease(&staleFolder)},
    };
    for (const auto& [what, rc] : refusals) EXPECT_EQ(rc, kInvalid) << what;
    EXPECT_EQ(out, nullptr);

    // A handle whose object went with a reload of the store.
    Handle folderOwner;
    ASSERT_EQ(IPES_GetAccountById(3, folderOwner.out()), 0);
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(MAccGetPersistentID(folderOwner.h, &id), kInvalid);
    // A folder handle is not an account handle.
    Handle acc, fld;
    ASSERT_EQ(IPES_GetAccountById(3, acc.out()), 0);
    ASSERT_EQ(MFldCreate(acc.h, fld.out()), 0);
    EXPECT_EQ(MAccGetPersistentID(fld.h, &id), kInvalid);
}

// Handles released in numbers and as many made again, for another account: a new handle
// may take a released one's place in memory, yet a copy kept from before the release is
// refused, never reads the new handle's account and never frees it.
TEST_F(StoreTest, StaleCopiesNeverReachNewerHandles) {
    ASSERT_EQ(open(), 0);
    constexpr int kCount = 32;
    std::vector<StoreHandle*> stale;
    for (int i = 0; i < kCount; ++i) {
        StoreHandle* h = nullptr;
        ASSERT_EQ(IPES_GetAccountById(1, &h), 0);
        stale.push_back(h);
    }
    for (StoreHandle* copy : stale) ASSERT_EQ(MAccRelease(&copy), 0);
    std::vector<Handle> fresh(kCount);
    for (Handle& h : fresh) ASSERT_EQ(IPES_GetAccountById(2, h.out()), 0);

    for (StoreHandle* copy : stale) {
        int id = -1;
        EXPECT_EQ(MAccGetPersistentID(copy, &id), kInvalid);
        EXPECT_EQ(id, -1);
        EXPECT_EQ(MAccRelease(&copy), kInvalid);
    }
    for (Handle& h : fresh) {
        int id = -1;
        EXPECT_EQ(MAccGetPersistentID(h.h, &id), 0);
        EXPECT_EQ(id, 2);
    }
}

// With logging on, the session opens the product log with its header.
TEST_F(StoreTest, LogOpensWithTheHeader) {
    EXPECT_EQ(MLOGAdd("before"), static_cast<int>(0x80400001u));  // no session yet
    accounts::CGeneralSettings general;
    general.SetDefaults();
    general.enableLogging = 1;
    general.Save(userId_, "Tessaline", 0, 0);
    ASSERT_EQ(REGRegister(kMail, "Extra", 300, "Extra Sync", "/opt/extra/host.so", "/opt/extra/cfg.so"), 0);
    const auto logDir = platform::syncmgr::userDirectory(userId_) / "Larkspur";
    std::filesystem::create_directories(logDir);

    ASSERT_EQ(open(), 0);
    EXPECT_EQ(MLOGAdd("after"), 0);
    std::ifstream f(logDir / "Tessaline.log", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    const std::string log = s.str();
    for (const char* expected :
         {"Initializing Tessaline (TM) Log File", "Tessaline Registered Conduit Information:", "Gatehouse.dll",
          "Name:                Extra Sync", "/opt/extra/host.so", " after\r\n"})
        EXPECT_NE(log.find(expected), std::string::npos) << expected;
    EXPECT_EQ(log.find("before"), std::string::npos);
}

}  // namespace
}  // namespace tess::datamgr::test
