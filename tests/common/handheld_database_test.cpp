// The handheld database type the engine and the data manager share, on an emulated
// handheld: its records, the one-open-database rule, and which code each failure answers.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/handheld_database.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace tess::test {
namespace {

constexpr uint32_t kMail = SYNC_FOURCC('a', 's', 'c', '3');

std::vector<std::string>& Notes() {
    static std::vector<std::string> notes;
    return notes;
}
void Note(const std::string& line) { Notes().push_back(line); }

// Every code distinct, so that a failure answering another field's code shows.
constexpr HandheldDbOptions kModuleOptions{.noName = 1001,
                                           .notOpen = 1002,
                                           .noMemory = 1003,
                                           .tooLarge = 1004,
                                           .openFailed = 1005,
                                           .closeFailed = 1006,
                                           .readFailed = 1007,
                                           .recordNotFound = 1008,
                                           .writeFailed = 1009,
                                           .deleteFailed = 1010,
                                           .deleteAllFailed = 1011};

HandheldRecord Bytes(size_t size, uint8_t fill = 7) {
    HandheldRecord r;
    r.data.assign(size, fill);
    return r;
}

int ReadAt(CHandheldDb& db, uint32_t index) {
    HandheldRecord r;
    return db.ReadByIndex(index, r);
}
int ReadId(CHandheldDb& db, uint32_t id) {
    HandheldRecord r;
    return db.ReadById(id, r);
}
int WriteBytes(CHandheldDb& db, size_t size, uint32_t id = 0) {
    HandheldRecord r = Bytes(size);
    r.id = id;
    return db.Write(r);
}

class HandheldDatabase : public ::testing::Test {
public:  // the cases of a table reach the handheld through the fixture
    void SetUp() override {
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld("unit");
        store_.emplace("unit");
        ASSERT_EQ(
            store_->createDatabase("Larkspur Messages", kMail, HandheldDbType(kDbMessages), 1057, 0, 0, &messagesId_),
            SYNC_OK);
        store_->setCard(0, 4'000'000, "card", "maker");
        Notes().clear();
    }
    void TearDown() override {
        store_.reset();
        platform::syncmgr::resetSession();
    }
    // A record the handheld holds beyond what the type may write or read.
    uint32_t WriteOversizeRecord() {
        uint32_t id = 0;
        const std::vector<uint8_t> bytes(kMaxRecordBytes + 100, 9);
        EXPECT_EQ(store_->writeRecord(messagesId_, &id, 0, 0, bytes.data(), bytes.size()), SYNC_OK);
        return id;
    }

    TempHome home_;
    std::optional<platform::syncmgr::HandheldStore> store_;
    int64_t messagesId_ = 0;
};

TEST_F(HandheldDatabase, RecordsGoInAndComeBack) {
    CHandheldDb db;
    ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
    EXPECT_EQ(db.OpenName(), "Larkspur Messages");
    EXPECT_EQ(db.Count(), 0u);

    HandheldRecord first = Bytes(10, 1);
    first.attributes = 0x40;
    first.category = 5;
    ASSERT_EQ(db.Write(first), SYNC_OK);
    ASSERT_NE(first.id, 0u);
    HandheldRecord empty;  // the handheld keeps no empty records: one byte goes
    ASSERT_EQ(db.Write(empty), SYNC_OK);
    HandheldRecord largest = Bytes(kMaxRecordBytes, 3);
    ASSERT_EQ(db.Write(largest), SYNC_OK);
    EXPECT_EQ(db.Count(), 3u);

    HandheldRecord back;
    ASSERT_EQ(db.ReadById(first.id, back), SYNC_OK);
    EXPECT_EQ(back.id, first.id);
    EXPECT_EQ(back.attributes, 0x40);
    EXPECT_EQ(back.category, 5);
    EXPECT_EQ(back.data, first.data);
    ASSERT_EQ(db.ReadByIndex(1, back), SYNC_OK);
    EXPECT_EQ(back.id, empty.id);
    EXPECT_EQ(back.data, std::vector<uint8_t>{0});
    // The buffer is kept between reads: a short record after a long one is not padded.
    ASSERT_EQ(db.ReadByIndex(2, back), SYNC_OK);
    EXPECT_EQ(back.data, largest.data);
    ASSERT_EQ(db.ReadByIndex(0, back), SYNC_OK);
    EXPECT_EQ(back.data, first.data);

    // The same id again replaces the record in place.
    HandheldRecord changed = Bytes(4, 8);
    changed.id = first.id;
    ASSERT_EQ(db.Write(changed), SYNC_OK);
    EXPECT_EQ(changed.id, first.id);
    ASSERT_EQ(db.ReadByIndex(0, back), SYNC_OK);
    EXPECT_EQ(back.data, changed.data);
    EXPECT_EQ(db.Count(), 3u);

    SyncDbInfo info{};
    ASSERT_EQ(db.ReadInfo(info), SYNC_OK);
    EXPECT_EQ(info.version, 1057);
    EXPECT_EQ(info.recordCount, 3u);

    ASSERT_EQ(db.Delete(first.id), SYNC_OK);
    EXPECT_EQ(db.Count(), 2u);
    ASSERT_EQ(db.ReadByIndex(0, back), SYNC_OK);
    EXPECT_EQ(back.id, empty.id) << "the records after a deleted one move up";
    ASSERT_EQ(db.DeleteAll(), SYNC_OK);
    EXPECT_EQ(db.Count(), 0u);
    EXPECT_EQ(db.Close(), SYNC_OK);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.Count(), 0u) << "nothing open counts nothing";
}

// Each failure with the sync manager's codes (the defaults) and with a module's own.
TEST_F(HandheldDatabase, EachFailureAnswersItsOwnCode) {
    using Step = std::function<int(CHandheldDb&, HandheldDatabase&)>;
    struct Case {
        const char* what;
        bool openFirst;
        Step step;
        int syncCode;
        int moduleCode;
        bool openAfter;
    };
    const Case cases[] = {
        {"unknown kind", true, [](CHandheldDb& db, auto&) { return db.OpenKind(99); }, SYNCERR_NOT_FOUND, 1001, true},
        {"empty name", true, [](CHandheldDb& db, auto&) { return db.OpenByName(""); }, SYNCERR_NOT_FOUND, 1001, true},
        {"missing database", true, [](CHandheldDb& db, auto&) { return db.OpenKind(kDbActions); }, SYNCERR_NOT_FOUND,
         1005, false},
        {"missing id cache", false, [](CHandheldDb& db, auto&) { return db.OpenKind(kDbIdCache, 3); },
         SYNCERR_NOT_FOUND, 1005, false},
        {"read with nothing open", false, [](CHandheldDb& db, auto&) { return ReadAt(db, 0); }, SYNCERR_NOT_OPEN, 1002,
         false},
        {"write with nothing open", false, [](CHandheldDb& db, auto&) { return WriteBytes(db, 1); }, SYNCERR_NOT_OPEN,
         1002, false},
        {"delete all with nothing open", false, [](CHandheldDb& db, auto&) { return db.DeleteAll(); }, SYNCERR_NOT_OPEN,
         1002, false},
        {"record over the limit", true, [](CHandheldDb& db, auto&) { return WriteBytes(db, kMaxRecordBytes + 1); },
         SYNCERR_TOO_BIG, 1004, true},
        {"id not found", true, [](CHandheldDb& db, auto&) { return ReadId(db, 424242); }, SYNCERR_NOT_FOUND, 1008,
         true},
        {"index past the end", true, [](CHandheldDb& db, auto&) { return ReadAt(db, 0); }, SYNCERR_NOT_FOUND, 1007,
         true},
        {"stored record over the limit", true,
         [](CHandheldDb& db, HandheldDatabase& t) { return ReadId(db, t.WriteOversizeRecord()); },
         SYNCERR_BUFFER_TOO_SMALL, 1007, true},
        {"write refused", true,
         [](CHandheldDb& db, HandheldDatabase& t) {
             t.store_->injectFailure("SyncWriteRecord", 1);
             return WriteBytes(db, 1);
         },
         SYNCERR_LOST_CONNECTION, 1009, true},
        {"replacing a missing id", true, [](CHandheldDb& db, auto&) { return WriteBytes(db, 1, 424242); },
         SYNCERR_NOT_FOUND, 1009, true},
        {"delete of a missing id", true, [](CHandheldDb& db, auto&) { return db.Delete(424242); }, SYNCERR_NOT_FOUND,
         1010, true},
        {"delete all refused", true,
         [](CHandheldDb& db, HandheldDatabase& t) {
             t.store_->injectFailure("SyncDeleteAllRecords", 1);
             return db.DeleteAll();
         },
         SYNCERR_LOST_CONNECTION, 1011, true},
        // The session ended under the open database: its handle is forgotten all the same.
        {"close of a stale handle", true,
         [](CHandheldDb& db, auto&) {
             platform::syncmgr::resetSession();
             platform::syncmgr::useHandheld("unit");
             return db.Close();
         },
         SYNCERR_NOT_OPEN, 1006, false},
    };
    for (const bool module : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (module ? " (module codes)" : " (sync codes)"));
            CHandheldDb db(module ? kModuleOptions : HandheldDbOptions{});
            if (c.openFirst) {
                ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
            }
            EXPECT_EQ(c.step(db, *this), module ? c.moduleCode : c.syncCode);
            EXPECT_EQ(db.IsOpen(), c.openAfter);
            EXPECT_EQ(db.OpenName(), c.openAfter ? "Larkspur Messages" : "");
            db.Close();
            store_->clearInjectedFailures();
            // Leave the messages database empty for the next case.
            ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
            ASSERT_EQ(db.DeleteAll(), SYNC_OK);
        }
    }
}

// Opening the open database again, by kind or by name in any letter case, keeps its
// handle; another one closes it first, and a failed open leaves nothing open.
TEST_F(HandheldDatabase, OneOpenDatabase) {
    int64_t id = 0;
    ASSERT_EQ(store_->createDatabase("Larkspur Disconnected", kMail, HandheldDbType(kDbActions), 1, 0, 0, &id),
              SYNC_OK);
    CHandheldDb db;
    ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
    const SyncDbHandle first = db.handle();
    store_->injectFailure("SyncOpenDB", 1);  // a second open of the sync manager would fail
    EXPECT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
    EXPECT_EQ(db.OpenByName("LARKSPUR messages"), SYNC_OK);
    EXPECT_EQ(db.handle(), first);
    EXPECT_EQ(db.OpenName(), "Larkspur Messages");

    EXPECT_EQ(db.OpenByName("Larkspur Disconnected"), SYNCERR_LOST_CONNECTION);
    EXPECT_FALSE(db.IsOpen()) << "the open one was closed before the failed open";
    ASSERT_EQ(db.OpenByName("Larkspur Disconnected"), SYNC_OK);
    ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
    EXPECT_EQ(db.OpenName(), "Larkspur Messages");
    // The sync manager holds only the one handle: the one before was closed.
    CHandheldDb other;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(other.OpenKind(kDbActions), SYNC_OK);
        ASSERT_EQ(other.OpenKind(kDbMessages), SYNC_OK);
    }
    EXPECT_TRUE(Notes().empty());
}

TEST_F(HandheldDatabase, OnlyTheSecurityDatabaseIsCreated) {
    HandheldDbOptions options;
    options.note = Note;
    CHandheldDb db(options);
    EXPECT_EQ(db.OpenKind(kDbParts, 0, 2000), SYNCERR_NOT_FOUND);
    EXPECT_TRUE(Notes().empty());
    ASSERT_EQ(db.OpenKind(kDbSecurity, 0, 2000), SYNC_OK);
    EXPECT_EQ(Notes(), std::vector<std::string>{"Creating database Larkspur SData."});
    platform::syncmgr::DatabaseEntry e;
    ASSERT_EQ(store_->findDatabase("Larkspur SData", 0, &e), SYNC_OK);
    EXPECT_EQ(e.version, 2000);
    EXPECT_EQ(e.creator, kMail);
    EXPECT_EQ(e.type, HandheldDbType(kDbSecurity));
    db.Close();
    ASSERT_EQ(db.OpenKind(kDbSecurity, 0, 3000), SYNC_OK);
    EXPECT_EQ(Notes().size(), 1u) << "an existing one is opened, not made again";
    // A close the sync manager refuses is told too.
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld("unit");
    EXPECT_EQ(db.Close(), SYNCERR_NOT_OPEN);
    EXPECT_EQ(Notes().back(), "CloseDatabase failed to close the database");
}

// With keepRecordRoom a write must leave a whole record's room free on the card.
TEST_F(HandheldDatabase, KeepingARecordsRoom) {
    struct Case {
        bool keep;
        size_t size;
        int expected;
    };
    const Case cases[] = {
        {true, 100, SYNC_OK},
        {true, 101, 1012},
        {false, 101, SYNC_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "keep " << c.keep << ", " << c.size << " bytes");
        store_->setCard(0, uint32_t(kMaxRecordBytes) + 100, "card", "maker");  // the handheld is empty
        HandheldDbOptions options;
        options.keepRecordRoom = c.keep;
        options.deviceFull = 1012;
        CHandheldDb db(options);
        ASSERT_EQ(db.OpenKind(kDbMessages), SYNC_OK);
        HandheldRecord r = Bytes(c.size);
        EXPECT_EQ(db.Write(r), c.expected);
        EXPECT_EQ(db.Count(), c.expected == SYNC_OK ? 1u : 0u);
        ASSERT_EQ(db.DeleteAll(), SYNC_OK);
    }
}

}  // namespace
}  // namespace tess::test
