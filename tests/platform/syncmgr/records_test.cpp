// Databases and records on the handheld through the sync manager's calls.
#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/syncmgr/handheld_store.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

namespace platform::syncmgr::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct ReadBack {
    int rc;
    SyncRecord record;
    Bytes data;
};

ReadBack readById(SyncDbHandle db, uint32_t id, uint32_t bufferSize = 63000) {
    ReadBack out{};
    out.data.resize(bufferSize);
    out.record.db = db;
    out.record.recordId = id;
    out.record.buffer = out.data.data();
    out.record.bufferSize = bufferSize;
    out.rc = SyncReadRecordById(&out.record);
    out.data.resize(out.rc == SYNC_OK ? out.record.dataSize : 0);
    return out;
}

ReadBack readByIndex(SyncDbHandle db, uint32_t index) {
    ReadBack out{};
    out.data.resize(63000);
    out.record.db = db;
    out.record.index = index;
    out.record.buffer = out.data.data();
    out.record.bufferSize = 63000;
    out.rc = SyncReadRecordByIndex(&out.record);
    out.data.resize(out.rc == SYNC_OK ? out.record.dataSize : 0);
    return out;
}

std::vector<uint32_t> idsInIndexOrder(SyncDbHandle db) {
    std::vector<uint32_t> ids;
    for (uint32_t i = 0;; ++i) {
        ReadBack r = readByIndex(db, i);
        if (r.rc != SYNC_OK) {
            EXPECT_EQ(r.rc, SYNCERR_NOT_FOUND);
            break;
        }
        EXPECT_EQ(r.record.index, i);
        ids.push_back(r.record.recordId);
    }
    return ids;
}

using Records = SyncmgrTest;

TEST_F(Records, OpenMissingDatabaseIsNotFound) {
    SyncDbHandle h = 7;
    EXPECT_EQ(SyncOpenDB("Larkspur Messages", 0, &h, 0xE0), SYNCERR_NOT_FOUND);
    EXPECT_EQ(h, 7) << "the handle stays as it was";
}

TEST_F(Records, CreateThenOpenByExactName) {
    SyncDbHandle created = createDb("Larkspur SData", SYNC_FOURCC('D', 'a', 't', '9'), 2384);
    ASSERT_NE(created, 0);
    EXPECT_EQ(SyncCloseDB(created), SYNC_OK);
    EXPECT_EQ(SyncCloseDB(created), SYNCERR_NOT_OPEN);

    SyncDbHandle h = 0;
    EXPECT_EQ(SyncOpenDB("larkspur sdata", 0, &h, 0xE0), SYNCERR_NOT_FOUND) << "names are case-sensitive";
    ASSERT_EQ(SyncOpenDB("Larkspur SData", 0, &h, 0xE0), SYNC_OK);
    SyncDbInfo info{};
    ASSERT_EQ(SyncReadOpenDbInfo(h, 128, &info), SYNC_OK);
    EXPECT_STREQ(info.name, "Larkspur SData");
    EXPECT_EQ(info.creator, SYNC_FOURCC('a', 's', 'c', '3'));
    EXPECT_EQ(info.type, SYNC_FOURCC('D', 'a', 't', '9'));
    EXPECT_EQ(info.version, 2384);
    EXPECT_EQ(SyncReadOpenDbInfo(h, 64, &info), SYNCERR_BAD_ARGUMENT);

    SyncCreateDbParams again{
        SYNC_FOURCC('a', 's', 'c', '3'), 0, SYNC_FOURCC('D', 'a', 't', '9'), 0, 1, "Larkspur SData"};
    SyncDbHandle other = 0;
    EXPECT_EQ(SyncCreateDB(&again, &other), SYNCERR_EXISTS);
}

TEST_F(Records, CreateRefusesBadNames) {
    struct Case {
        const char* name;
        int rc;
    } cases[] = {
        {"", SYNCERR_BAD_ARGUMENT},
        {"0123456789012345678901234567890", SYNC_OK},                // 31 characters
        {"01234567890123456789012345678901", SYNCERR_BAD_ARGUMENT},  // 32
    };
    for (const Case& c : cases) {
        SyncCreateDbParams p{1, 0, 2, 0, 1, c.name};
        SyncDbHandle h = 0;
        EXPECT_EQ(SyncCreateDB(&p, &h), c.rc) << c.name;
    }
    SyncDbHandle h = 0;
    EXPECT_EQ(SyncCreateDB(nullptr, &h), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(SyncOpenDB(nullptr, 0, &h, 0xE0), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Records, WriteReadRewriteDelete) {
    SyncDbHandle db = createDb("Larkspur Messages");
    uint32_t a = writeNew(db, {1, 2, 3}, 0x40, 3);
    uint32_t b = writeNew(db, {}, 0, 5);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);

    ReadBack r = readById(db, a);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.data, (Bytes{1, 2, 3}));
    EXPECT_EQ(r.record.attributes, 0x40);
    EXPECT_EQ(r.record.category, 3);
    EXPECT_EQ(r.record.index, 0u);
    r = readById(db, b);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.record.dataSize, 0u);
    EXPECT_EQ(r.record.index, 1u);

    // Rewriting keeps the id and the place in index order.
    Bytes changed{9, 9, 9, 9};
    SyncRecord w{};
    w.db = db;
    w.recordId = a;
    w.attributes = 0;
    w.category = 3;
    w.buffer = changed.data();
    w.dataSize = 4;
    ASSERT_EQ(SyncWriteRecord(&w), SYNC_OK);
    EXPECT_EQ(w.recordId, a);
    r = readById(db, a);
    EXPECT_EQ(r.data, changed);
    EXPECT_EQ(r.record.attributes, 0);
    EXPECT_EQ(r.record.index, 0u);

    // An id that is not there is not made up.
    w.recordId = 0xABCDEF;
    EXPECT_EQ(SyncWriteRecord(&w), SYNCERR_NOT_FOUND);

    EXPECT_EQ(SyncDeleteRecord(db, a), SYNC_OK);
    EXPECT_EQ(SyncDeleteRecord(db, a), SYNCERR_NOT_FOUND);
    EXPECT_EQ(readById(db, a).rc, SYNCERR_NOT_FOUND);
    uint32_t count = 0;
    ASSERT_EQ(SyncGetDBRecordCount(db, &count), SYNC_OK);
    EXPECT_EQ(count, 1u);
}

TEST_F(Records, SmallBufferGetsNothingButTheSize) {
    SyncDbHandle db = createDb("Larkspur Attachments");
    uint32_t id = writeNew(db, Bytes(100, 0x5A));
    Bytes buffer(50, 0);
    SyncRecord r{};
    r.db = db;
    r.recordId = id;
    r.buffer = buffer.data();
    r.bufferSize = 50;
    EXPECT_EQ(SyncReadRecordById(&r), SYNCERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(r.dataSize, 100u);
    EXPECT_EQ(buffer, Bytes(50, 0));
}

TEST_F(Records, IndexOrderFollowsWritesAndDeletes) {
    SyncDbHandle db = createDb("Larkspur Disconnected");
    std::vector<uint32_t> ids;
    for (uint8_t i = 0; i < 5; ++i) ids.push_back(writeNew(db, {i}));
    EXPECT_EQ(idsInIndexOrder(db), ids);

    ASSERT_EQ(SyncDeleteRecord(db, ids[1]), SYNC_OK);
    ASSERT_EQ(SyncDeleteRecord(db, ids[3]), SYNC_OK);
    uint32_t added = writeNew(db, {42});
    EXPECT_EQ(idsInIndexOrder(db), (std::vector<uint32_t>{ids[0], ids[2], ids[4], added}));
    for (uint32_t gone : {ids[1], ids[3]}) EXPECT_NE(added, gone) << "ids are not reused";

    ReadBack third = readByIndex(db, 2);
    ASSERT_EQ(third.rc, SYNC_OK);
    EXPECT_EQ(third.data, (Bytes{4}));
}

// Reading by index goes through many records; what it hands out is always what the file
// holds at that moment, whatever this connection or another changed between two reads.
TEST_F(Records, ReadsByIndexSeeEveryChangeBetweenThem) {
    SyncDbHandle db = createDb("Larkspur Messages");
    std::vector<uint32_t> ids;
    for (int i = 0; i < 100; ++i) ids.push_back(writeNew(db, {uint8_t(i), uint8_t(i >> 8)}));
    EXPECT_EQ(idsInIndexOrder(db), ids) << "a hundred records in order, read one by one";

    ReadBack r = readByIndex(db, 0);
    ASSERT_EQ(r.rc, SYNC_OK);
    // This connection rewrites the next record and deletes the one after.
    std::vector<uint8_t> rewritten = {'n', 'e', 'w'};
    SyncRecord w{};
    w.db = db;
    w.recordId = ids[1];
    w.buffer = rewritten.data();
    w.bufferSize = w.dataSize = 3;
    ASSERT_EQ(SyncWriteRecord(&w), SYNC_OK);
    r = readByIndex(db, 1);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.data, rewritten) << "a record rewritten after the previous read";
    ASSERT_EQ(SyncDeleteRecord(db, ids[2]), SYNC_OK);
    r = readByIndex(db, 2);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.record.recordId, ids[3]) << "a delete moves the later records up";
    // The same index read twice gives the same record both times.
    ReadBack again = readByIndex(db, 2);
    EXPECT_EQ(again.record.recordId, ids[3]);
    EXPECT_EQ(again.data, r.data);

    // Another connection rewrites a record this one has not read yet, and adds one.
    platform::syncmgr::HandheldStore other("default");
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(other.findDatabase("Larkspur Messages", 0, &entry), SYNC_OK);
    const uint8_t changed[] = {'o', 't', 'h', 'e', 'r'};
    uint32_t id = ids[4];
    ASSERT_EQ(other.writeRecord(entry.id, &id, 0, 0, changed, sizeof changed), SYNC_OK);
    uint32_t added = 0;
    ASSERT_EQ(other.writeRecord(entry.id, &added, 0, 0, changed, 1), SYNC_OK);
    r = readByIndex(db, 3);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.data, Bytes(changed, changed + sizeof changed)) << "another connection's rewrite";
    r = readByIndex(db, 99);
    ASSERT_EQ(r.rc, SYNC_OK);
    EXPECT_EQ(r.record.recordId, added) << "another connection's new record comes last";
    EXPECT_EQ(readByIndex(db, 100).rc, SYNCERR_NOT_FOUND);
}

TEST_F(Records, DeleteAllEmptiesOnlyThatDatabase) {
    SyncDbHandle messages = createDb("Larkspur Messages");
    SyncDbHandle cache = createDb("LKIDCache0", SYNC_FOURCC('D', 'a', 't', '0'));
    for (uint8_t i = 0; i < 3; ++i) {
        writeNew(messages, {i});
        writeNew(cache, {i, i});
    }
    ASSERT_EQ(SyncDeleteAllRecords(cache), SYNC_OK);
    uint32_t n = 99;
    ASSERT_EQ(SyncGetDBRecordCount(cache, &n), SYNC_OK);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(SyncGetDBRecordCount(messages, &n), SYNC_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(readByIndex(cache, 0).rc, SYNCERR_NOT_FOUND);
}

SyncDbInfo infoOf(SyncDbHandle db) {
    SyncDbInfo info{};
    EXPECT_EQ(SyncReadOpenDbInfo(db, sizeof info, &info), SYNC_OK);
    return info;
}

// Every change of a database's records counts one and draws a new epoch; reads, failed
// changes and changes of another database leave both as they were.
TEST_F(Records, ChangesAreCountedPerDatabase) {
    SyncDbHandle messages = createDb("Larkspur Messages");
    SyncDbHandle other = createDb("LKIDCache0", SYNC_FOURCC('D', 'a', 't', '0'));
    EXPECT_EQ(infoOf(messages).modNumber, 0u);
    EXPECT_NE(infoOf(messages).epoch, infoOf(other).epoch);  // drawn at creation
    const uint32_t first = writeNew(messages, {1});
    uint32_t second = 0;
    auto rewrite = [&](uint32_t id, uint32_t size) {
        Bytes bytes(size, 7);
        SyncRecord r{};
        r.db = messages;
        r.recordId = id;
        r.buffer = bytes.data();
        r.bufferSize = r.dataSize = size;
        return SyncWriteRecord(&r);
    };
    const struct {
        const char* what;
        std::function<void()> act;
        bool counted;
    } steps[] = {
        {"a new record", [&] { second = writeNew(messages, {2}); }, true},
        {"a record replaced", [&] { EXPECT_EQ(rewrite(first, 3), SYNC_OK); }, true},
        {"read by id and index",
         [&] {
             EXPECT_EQ(readById(messages, first).rc, SYNC_OK);
             EXPECT_EQ(readByIndex(messages, 1).rc, SYNC_OK);
         },
         false},
        {"a record deleted", [&] { EXPECT_EQ(SyncDeleteRecord(messages, second), SYNC_OK); }, true},
        {"a missing record deleted", [&] { EXPECT_EQ(SyncDeleteRecord(messages, 999), SYNCERR_NOT_FOUND); }, false},
        {"a missing record replaced", [&] { EXPECT_EQ(rewrite(999, 3), SYNCERR_NOT_FOUND); }, false},
        {"a record too large", [&] { EXPECT_EQ(rewrite(first, SYNC_MAX_RECORD_BYTES + 1), SYNCERR_TOO_BIG); }, false},
        {"another database changed", [&] { writeNew(other, {9}); }, false},
        {"all deleted", [&] { EXPECT_EQ(SyncDeleteAllRecords(messages), SYNC_OK); }, true},
    };
    for (const auto& step : steps) {
        const SyncDbInfo before = infoOf(messages);
        step.act();
        const SyncDbInfo after = infoOf(messages);
        EXPECT_EQ(after.modNumber, before.modNumber + (step.counted ? 1 : 0)) << step.what;
        EXPECT_EQ(after.epoch != before.epoch, step.counted) << step.what;
    }
    // The count stays with the file.
    const SyncDbInfo last = infoOf(messages);
    platform::syncmgr::resetSession();
    SyncDbHandle again = 0;
    ASSERT_EQ(SyncOpenDB("Larkspur Messages", 0, &again, SYNC_MODE_READ | SYNC_MODE_WRITE), SYNC_OK);
    EXPECT_EQ(infoOf(again).modNumber, last.modNumber);
    EXPECT_EQ(infoOf(again).epoch, last.epoch);
}

// A handheld file written before databases counted their changes gets the count on its
// first open, each database with an epoch of its own, and its records as they were.
TEST_F(Records, FileWithoutChangeCountsGetsThem) {
    SyncDbHandle messages = createDb("Larkspur Messages");
    writeNew(messages, {1, 2});
    writeNew(createDb("LKIDCache0", SYNC_FOURCC('D', 'a', 't', '0')), {3});
    platform::syncmgr::resetSession();
    {
        const std::string file = HandheldStore::pathFor("default").string();
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(
            sqlite3_exec(raw, "ALTER TABLE databases DROP COLUMN epoch; ALTER TABLE databases DROP COLUMN mod_number",
                         nullptr, nullptr, &error),
            SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(raw);
    }
    ASSERT_EQ(SyncOpenDB("Larkspur Messages", 0, &messages, SYNC_MODE_READ | SYNC_MODE_WRITE), SYNC_OK);
    SyncDbHandle cache = 0;
    ASSERT_EQ(SyncOpenDB("LKIDCache0", 0, &cache, SYNC_MODE_READ | SYNC_MODE_WRITE), SYNC_OK);
    const SyncDbInfo info = infoOf(messages);
    EXPECT_EQ(info.modNumber, 0u);
    EXPECT_NE(info.epoch, 0u);
    EXPECT_NE(info.epoch, infoOf(cache).epoch);
    EXPECT_EQ(info.recordCount, 1u);
    EXPECT_EQ(readByIndex(messages, 0).data, (Bytes{1, 2}));
    writeNew(messages, {3});
    EXPECT_EQ(infoOf(messages).modNumber, 1u);
}

TEST_F(Records, SeveralDatabasesOpenAtOnceKeepTheirRecordsApart) {
    SyncDbHandle a = createDb("Larkspur Messages");
    SyncDbHandle b = createDb("Larkspur Part Plus", SYNC_FOURCC('D', 'a', 't', '8'));
    SyncDbHandle a2 = 0;
    ASSERT_EQ(SyncOpenDB("Larkspur Messages", 0, &a2, SYNC_MODE_READ), SYNC_OK);
    EXPECT_NE(a, b);
    EXPECT_NE(a, a2);
    uint32_t inA = writeNew(a, {0xA});
    uint32_t inB = writeNew(b, {0xB});

    ReadBack r = readById(a2, inA);
    ASSERT_EQ(r.rc, SYNC_OK) << "a second handle sees the same database";
    EXPECT_EQ(r.data, (Bytes{0xA}));
    EXPECT_EQ(readById(b, inB).data, (Bytes{0xB}));
    uint32_t onlyInA = writeNew(a, {0xC});
    EXPECT_EQ(readById(b, onlyInA).rc, SYNCERR_NOT_FOUND);

    // The read-only handle refuses changes; closing one handle leaves the others usable.
    EXPECT_EQ(SyncDeleteRecord(a2, inA), SYNCERR_READ_ONLY);
    EXPECT_EQ(SyncDeleteAllRecords(a2), SYNCERR_READ_ONLY);
    ASSERT_EQ(SyncCloseDB(a), SYNC_OK);
    EXPECT_EQ(readById(a, inA).rc, SYNCERR_NOT_OPEN);
    EXPECT_EQ(readById(a2, inA).rc, SYNC_OK);
}

// Two databases written in turn share the file's rows but number their records apart;
// each record's index, id and bytes must agree whichever way it is read.
TEST_F(Records, IndexAndIdAgreeInDatabasesWrittenInTurn) {
    struct Db {
        SyncDbHandle handle;
        std::vector<std::pair<uint32_t, Bytes>> records;  // in index order
    };
    Db dbs[] = {{createDb("Larkspur Messages"), {}},
                {createDb("Larkspur Part Plus", SYNC_FOURCC('D', 'a', 't', '8')), {}}};
    auto add = [this](Db& db, Bytes data) { db.records.emplace_back(writeNew(db.handle, data), data); };
    for (uint8_t i = 0; i < 40; ++i) {
        add(dbs[0], {i});
        add(dbs[1], {uint8_t(100 + i)});
        if (i % 3 == 0) add(dbs[1], {uint8_t(200 + i), i});
    }
    ASSERT_EQ(SyncDeleteRecord(dbs[0].handle, dbs[0].records[5].first), SYNC_OK);
    dbs[0].records.erase(dbs[0].records.begin() + 5);
    ASSERT_EQ(SyncDeleteRecord(dbs[1].handle, dbs[1].records[0].first), SYNC_OK);
    dbs[1].records.erase(dbs[1].records.begin());
    for (const Db& db : dbs) {
        for (uint32_t i = 0; i < db.records.size(); ++i) {
            const ReadBack byIndex = readByIndex(db.handle, i);
            ASSERT_EQ(byIndex.rc, SYNC_OK);
            EXPECT_EQ(byIndex.record.recordId, db.records[i].first) << "index " << i;
            EXPECT_EQ(byIndex.data, db.records[i].second) << "index " << i;
            const ReadBack byId = readById(db.handle, db.records[i].first);
            ASSERT_EQ(byId.rc, SYNC_OK);
            EXPECT_EQ(byId.record.index, i);
            EXPECT_EQ(byId.data, db.records[i].second);
        }
        EXPECT_EQ(readByIndex(db.handle, uint32_t(db.records.size())).rc, SYNCERR_NOT_FOUND);
    }
}

TEST_F(Records, OpenHandlesAreLimited) {
    createDb("Larkspur Messages");
    std::vector<SyncDbHandle> handles;
    SyncDbHandle h = 0;
    int rc;
    while ((rc = SyncOpenDB("Larkspur Messages", 0, &h, 0xE0)) == SYNC_OK && handles.size() < 300) handles.push_back(h);
    EXPECT_EQ(rc, SYNCERR_TOO_MANY_OPEN);
    EXPECT_EQ(handles.size() + 1, size_t{SYNC_MAX_OPEN_DBS});
    ASSERT_EQ(SyncCloseDB(handles.back()), SYNC_OK);
    EXPECT_EQ(SyncOpenDB("Larkspur Messages", 0, &h, 0xE0), SYNC_OK);
}

TEST_F(Records, BadDescriptorsAreRefused) {
    SyncDbHandle db = createDb("Larkspur Messages");
    SyncRecord r{};
    r.db = db;
    r.dataSize = 10;  // no buffer
    EXPECT_EQ(SyncWriteRecord(&r), SYNCERR_BAD_ARGUMENT);
    EXPECT_EQ(SyncWriteRecord(nullptr), SYNCERR_BAD_ARGUMENT);
    Bytes big(SYNC_MAX_RECORD_BYTES + 1);
    r.buffer = big.data();
    r.dataSize = static_cast<uint32_t>(big.size());
    EXPECT_EQ(SyncWriteRecord(&r), SYNCERR_TOO_BIG);
    r.db = 200;
    r.dataSize = 1;
    EXPECT_EQ(SyncWriteRecord(&r), SYNCERR_NOT_OPEN);
    EXPECT_EQ(SyncReadRecordById(nullptr), SYNCERR_BAD_ARGUMENT);
}

TEST_F(Records, FreeSpaceFollowsTheBytesStoredAndAFullCardRefuses) {
    {
        platform::syncmgr::HandheldStore store("default");
        store.setCard(1 << 20, 5000, "Internal", "Test");
    }
    SyncDbHandle db = createDb("Larkspur Messages");
    SyncCardInfo before{};
    ASSERT_EQ(SyncReadSingleCardInfo(&before), SYNC_OK);
    EXPECT_EQ(before.freeRam, before.ramSize);
    uint32_t id = writeNew(db, Bytes(1000, 1));
    SyncCardInfo after{};
    ASSERT_EQ(SyncReadSingleCardInfo(&after), SYNC_OK);
    EXPECT_EQ(after.freeRam, before.freeRam - 1000);
    ASSERT_EQ(SyncDeleteRecord(db, id), SYNC_OK);
    ASSERT_EQ(SyncReadSingleCardInfo(&after), SYNC_OK);
    EXPECT_EQ(after.freeRam, before.freeRam);

    uint32_t kept = writeNew(db, Bytes(4000, 2));
    Bytes tooMuch(1001, 3);
    SyncRecord r{};
    r.db = db;
    r.buffer = tooMuch.data();
    r.dataSize = 1001;
    EXPECT_EQ(SyncWriteRecord(&r), SYNCERR_NO_SPACE);
    EXPECT_EQ(SyncWriteAppPreference(1, 1, 1, 1, tooMuch.data(), 1001), SYNCERR_NO_SPACE);
    r.dataSize = 1000;
    EXPECT_EQ(SyncWriteRecord(&r), SYNC_OK) << "exactly full is allowed";
    // Replacing a record only needs room for the difference.
    r.recordId = kept;
    r.dataSize = 4001;
    Bytes bigger(4001, 4);
    r.buffer = bigger.data();
    EXPECT_EQ(SyncWriteRecord(&r), SYNCERR_NO_SPACE);
    r.dataSize = 3000;
    EXPECT_EQ(SyncWriteRecord(&r), SYNC_OK);
    SyncCardInfo full{};
    ASSERT_EQ(SyncReadSingleCardInfo(&full), SYNC_OK);
    EXPECT_EQ(full.freeRam, 1000u);
    EXPECT_EQ(full.romSize, 1u << 20);
    EXPECT_STREQ(full.manufacturer, "Test");
    full.card = 1;
    EXPECT_EQ(SyncReadSingleCardInfo(&full), SYNCERR_NOT_FOUND);
}

}  // namespace
}  // namespace platform::syncmgr::test
