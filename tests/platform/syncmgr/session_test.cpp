// What a conduit's session with the sync manager sees besides records: preferences, the
// handheld application's answers, registration, status text, yielding, injected failures.
#include <cstring>
#include <string>
#include <vector>

#include "platform/syncmgr/handheld_store.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

namespace platform::syncmgr::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kAsc3 = SYNC_FOURCC('a', 's', 'c', '3');
constexpr uint32_t kAsc6 = SYNC_FOURCC('a', 's', 'c', '6');
constexpr uint32_t kAppl = SYNC_FOURCC('a', 'p', 'p', 'l');

using Session = SyncmgrTest;

struct PrefRead {
    int rc;
    uint32_t size;
    uint16_t version;
    Bytes data;
};

PrefRead readPref(uint32_t creator, uint16_t id, int backup, uint32_t bufferSize = 63000) {
    PrefRead r{0, 0, 0, Bytes(bufferSize, 0xEE)};
    r.rc = SyncReadAppPreference(creator, id, backup, r.data.data(), bufferSize, &r.size, &r.version);
    if (r.rc == SYNC_OK) r.data.resize(r.size);
    return r;
}

TEST_F(Session, PreferencesRoundTripWithVersionsAndBackupFlag) {
    const Bytes one{0, 0, 0, 1};
    ASSERT_EQ(SyncWriteAppPreference(kAsc3, 0xFFFF, 1, 2384, one.data(), 4), SYNC_OK);
    ASSERT_EQ(SyncWriteAppPreference(kAsc3, 0xFFFF, 0, 7, "xy", 2), SYNC_OK);
    ASSERT_EQ(SyncWriteAppPreference(kAsc3, 5, 1, 1, nullptr, 0), SYNC_OK);

    struct Case {
        uint32_t creator;
        uint16_t id;
        int backup;
        int rc;
        uint16_t version;
        Bytes data;
    } cases[] = {
        {kAsc3, 0xFFFF, 1, SYNC_OK, 2384, one},
        {kAsc3, 0xFFFF, 0, SYNC_OK, 7, {'x', 'y'}},
        {kAsc3, 5, 1, SYNC_OK, 1, {}},
        {kAsc3, 5, 0, SYNCERR_NOT_FOUND, 0, {}},
        {kAsc6, 0xFFFF, 1, SYNCERR_NOT_FOUND, 0, {}},
    };
    for (const Case& c : cases) {
        PrefRead r = readPref(c.creator, c.id, c.backup);
        EXPECT_EQ(r.rc, c.rc) << c.id << "/" << c.backup;
        if (c.rc != SYNC_OK) continue;
        EXPECT_EQ(r.version, c.version);
        EXPECT_EQ(r.data, c.data);
    }

    // A newer write replaces bytes and version.
    ASSERT_EQ(SyncWriteAppPreference(kAsc3, 0xFFFF, 1, 2400, "abcdef", 6), SYNC_OK);
    PrefRead r = readPref(kAsc3, 0xFFFF, 1);
    EXPECT_EQ(r.version, 2400);
    EXPECT_EQ(r.data, (Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));

    // Too small a buffer: nothing copied, the size needed reported.
    r = readPref(kAsc3, 0xFFFF, 1, 3);
    EXPECT_EQ(r.rc, SYNCERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(r.size, 6u);
    EXPECT_EQ(r.data, Bytes(3, 0xEE));

    uint32_t size = 0;
    EXPECT_EQ(SyncReadAppPreference(kAsc3, 0xFFFF, 1, nullptr, 0, nullptr, nullptr), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(SyncReadAppPreference(kAsc3, 0xFFFF, 1, nullptr, 10, &size, nullptr), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(SyncWriteAppPreference(kAsc3, 1, 1, 1, nullptr, 4), SYNCERR_BAD_ARGUMENT);
    Bytes big(SYNC_MAX_RECORD_BYTES + 1);
    EXPECT_EQ(SyncWriteAppPreference(kAsc3, 1, 1, 1, big.data(), static_cast<uint32_t>(big.size())), SYNCERR_TOO_BIG);
}

TEST_F(Session, RemoteModuleAnswersAsTheHandheldHoldsThem) {
    {
        platform::syncmgr::HandheldStore store("default");
        store.setRemoteAnswer(kAsc6, 0, {0, 0, 0, 1});
        store.setRemoteAnswer(kAsc6, 1, Bytes(64, 'i'));
        store.setRemoteAnswer(kAsc6, 2, {0, 0});  // a short answer is given as it is
        store.setRemoteAnswer(kAsc6, 3, {'k', 'e', 'y'});
    }
    struct Case {
        uint16_t action;
        uint32_t replyMax;
        int rc;
        Bytes answer;
    } cases[] = {
        {0, 4, SYNC_OK, {0, 0, 0, 1}}, {1, 64, SYNC_OK, Bytes(64, 'i')},  {1, 63, SYNCERR_BUFFER_TOO_SMALL, {}},
        {2, 4, SYNC_OK, {0, 0}},       {3, 32, SYNC_OK, {'k', 'e', 'y'}}, {4, 32, SYNCERR_REMOTE_FAILED, {}},
    };
    for (const Case& c : cases) {
        Bytes reply(c.replyMax, 0);
        SyncRemoteCall call{kAsc6, kAppl, c.action, nullptr, 0, reply.data(), c.replyMax, 999};
        EXPECT_EQ(SyncCallRemoteModule(&call), c.rc) << "action " << c.action;
        if (c.rc == SYNC_OK) {
            reply.resize(call.replySize);
            EXPECT_EQ(reply, c.answer) << "action " << c.action;
        } else if (c.rc == SYNCERR_BUFFER_TOO_SMALL) {
            EXPECT_EQ(call.replySize, 64u);
            EXPECT_EQ(reply, Bytes(c.replyMax, 0)) << "nothing copied";
        }
    }
    {
        platform::syncmgr::HandheldStore store("default");
        store.clearRemoteAnswer(kAsc6, 0);
    }
    uint8_t reply[4];
    SyncRemoteCall call{kAsc6, kAppl, 0, nullptr, 0, reply, 4, 0};
    EXPECT_EQ(SyncCallRemoteModule(&call), SYNCERR_REMOTE_FAILED);
    EXPECT_EQ(SyncCallRemoteModule(nullptr), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Session, RegistrationStatusTextAndYield) {
    SyncConduitHandle h = 0;
    ASSERT_EQ(SyncRegisterConduit(&h), SYNC_OK);
    EXPECT_TRUE(platform::syncmgr::conduitRegistered());
    SyncConduitHandle second = 0;
    EXPECT_EQ(SyncRegisterConduit(&second), SYNCERR_ALREADY_REGISTERED);
    EXPECT_EQ(SyncUnregisterConduit(h + 1), SYNCERR_NOT_REGISTERED);
    ASSERT_EQ(SyncUnregisterConduit(h), SYNC_OK);
    EXPECT_EQ(SyncUnregisterConduit(h), SYNCERR_NOT_REGISTERED);
    EXPECT_FALSE(platform::syncmgr::conduitRegistered());

    ASSERT_EQ(SyncSetStatusText("Tessaline - See Tallyhop.log\n"), SYNC_OK);
    EXPECT_EQ(platform::syncmgr::statusText(), "Tessaline - See Tallyhop.log\n");
    EXPECT_EQ(SyncSetStatusText(nullptr), SYNCERR_BAD_ARGUMENT);

    EXPECT_EQ(SyncYieldCycles(10), SYNC_OK) << "no hook set";
    std::vector<uint16_t> calls;
    platform::syncmgr::setYieldHook([&](uint16_t ms) {
        calls.push_back(ms);
        // The hook may call the sync manager itself.
        SyncSetStatusText("yielded");
    });
    SyncYieldCycles(10);
    SyncYieldCycles(3);
    EXPECT_EQ(calls, (std::vector<uint16_t>{10, 3}));
    EXPECT_EQ(platform::syncmgr::statusText(), "yielded");
}

// Each call that a test can make fail, run once in a fresh session.
struct InjectCase {
    const char* operation;
    int (*call)(SyncDbHandle db);
};

int openIt(SyncDbHandle) {
    SyncDbHandle h = 0;
    int rc = SyncOpenDB("Larkspur Messages", 0, &h, 0xE0);
    if (rc == SYNC_OK) SyncCloseDB(h);
    return rc;
}
int createIt(SyncDbHandle) {
    static int n = 0;
    std::string name = "Created" + std::to_string(++n);
    SyncCreateDbParams p{kAsc3, 0, 1, 0, 1, name.c_str()};
    SyncDbHandle h = 0;
    int rc = SyncCreateDB(&p, &h);
    if (rc == SYNC_OK) SyncCloseDB(h);
    return rc;
}
int writeIt(SyncDbHandle db) {
    uint8_t b = 1;
    SyncRecord r{};
    r.db = db;
    r.buffer = &b;
    r.dataSize = 1;
    return SyncWriteRecord(&r);
}
int readIndexIt(SyncDbHandle db) {
    uint8_t b[8];
    SyncRecord r{};
    r.db = db;
    r.buffer = b;
    r.bufferSize = sizeof b;
    return SyncReadRecordByIndex(&r);
}
int readIdIt(SyncDbHandle db) {
    uint8_t b[8];
    SyncRecord r{};
    r.db = db;
    r.recordId = 1;
    r.buffer = b;
    r.bufferSize = sizeof b;
    return SyncReadRecordById(&r);
}
int countIt(SyncDbHandle db) {
    uint32_t n;
    return SyncGetDBRecordCount(db, &n);
}
int infoIt(SyncDbHandle db) {
    SyncDbInfo info;
    return SyncReadOpenDbInfo(db, sizeof info, &info);
}
int purgeIt(SyncDbHandle db) { return SyncDeleteAllRecords(db); }
int prefWriteIt(SyncDbHandle) { return SyncWriteAppPreference(kAsc3, 1, 1, 1, "a", 1); }
int prefReadIt(SyncDbHandle) {
    char b[8];
    uint32_t n;
    return SyncReadAppPreference(kAsc3, 9, 1, b, sizeof b, &n, nullptr);
}
int cardIt(SyncDbHandle) {
    SyncCardInfo c{};
    return SyncReadSingleCardInfo(&c);
}
int remoteIt(SyncDbHandle) {
    uint8_t b[4];
    SyncRemoteCall call{kAsc6, kAppl, 0, nullptr, 0, b, 4, 0};
    return SyncCallRemoteModule(&call);
}
int registerIt(SyncDbHandle) {
    SyncConduitHandle h;
    int rc = SyncRegisterConduit(&h);
    if (rc == SYNC_OK) SyncUnregisterConduit(h);
    return rc;
}

TEST_F(Session, InjectedFailureHitsTheNthCallOfItsOperationOnly) {
    const InjectCase cases[] = {
        {"SyncOpenDB", openIt},
        {"SyncCreateDB", createIt},
        {"SyncWriteRecord", writeIt},
        {"SyncReadRecordByIndex", readIndexIt},
        {"SyncReadRecordById", readIdIt},
        {"SyncGetDBRecordCount", countIt},
        {"SyncReadOpenDbInfo", infoIt},
        {"SyncDeleteAllRecords", purgeIt},
        {"SyncWriteAppPreference", prefWriteIt},
        {"SyncReadAppPreference", prefReadIt},
        {"SyncReadSingleCardInfo", cardIt},
        {"SyncCallRemoteModule", remoteIt},
        {"SyncRegisterConduit", registerIt},
    };
    {
        platform::syncmgr::HandheldStore store("default");
        store.setRemoteAnswer(kAsc6, 0, {0, 0, 0, 0});
    }
    ASSERT_EQ(SyncWriteAppPreference(kAsc3, 9, 1, 1, "p", 1), SYNC_OK);
    SyncDbHandle db = createDb("Larkspur Messages");
    writeIt(db);  // record 1 for the reads
    for (const InjectCase& c : cases) {
        {
            platform::syncmgr::HandheldStore store("default");
            store.injectFailure(c.operation, 2, 0x4242);
            store.injectFailure("SomethingElse", 1);
        }
        EXPECT_EQ(c.call(db), SYNC_OK) << c.operation << " first call";
        EXPECT_EQ(c.call(db), 0x4242) << c.operation << " second call";
        EXPECT_EQ(c.call(db), SYNC_OK) << c.operation << " third call";
        platform::syncmgr::HandheldStore("default").clearInjectedFailures();
    }
}

TEST_F(Session, InjectedFailureChangesNothing) {
    SyncDbHandle db = createDb("Larkspur Messages");
    platform::syncmgr::HandheldStore("default").injectFailure("SyncWriteRecord", 1);
    EXPECT_EQ(writeIt(db), SYNCERR_LOST_CONNECTION);
    uint32_t n = 9;
    ASSERT_EQ(SyncGetDBRecordCount(db, &n), SYNC_OK);
    EXPECT_EQ(n, 0u);
    // Two injections on one operation fire in turn.
    {
        platform::syncmgr::HandheldStore store("default");
        store.injectFailure("SyncDeleteRecord", 1, 0x4001);
        store.injectFailure("SyncDeleteRecord", 3, 0x4002);
    }
    ASSERT_EQ(writeIt(db), SYNC_OK);
    EXPECT_EQ(SyncDeleteRecord(db, 1), 0x4001);
    EXPECT_EQ(SyncDeleteRecord(db, 1), SYNC_OK);
    EXPECT_EQ(SyncDeleteRecord(db, 1), 0x4002);
    EXPECT_EQ(SyncDeleteRecord(db, 1), SYNCERR_NOT_FOUND);
}

TEST_F(Session, HandheldsAreSeparateFiles) {
    SyncDbHandle db = createDb("Larkspur Messages");
    writeIt(db);
    platform::syncmgr::useHandheld("second");
    EXPECT_EQ(platform::syncmgr::currentHandheld(), "second");
    uint32_t n = 0;
    EXPECT_EQ(SyncGetDBRecordCount(db, &n), SYNCERR_NOT_OPEN) << "handles do not survive a change of handheld";
    EXPECT_EQ(openIt(0), SYNCERR_NOT_FOUND);
    EXPECT_TRUE(platform::syncmgr::HandheldStore::exists("default"));
    EXPECT_TRUE(platform::syncmgr::HandheldStore::exists("second"));

    platform::syncmgr::useHandheld("../escape");
    EXPECT_EQ(openIt(0), SYNCERR_STORAGE) << "a handheld name is a file name, nothing more";
    EXPECT_FALSE(std::filesystem::exists(home_->path() / "escape.db"));
}

}  // namespace
}  // namespace platform::syncmgr::test
