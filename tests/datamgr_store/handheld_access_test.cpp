// The data manager's handheld layer on an emulated handheld.
#include <vector>

#include "datamgr/handheld_access.h"
#include "datamgr/ledgerly.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::test {
namespace {

using datamgr::CHandheldDb;

int C(uint32_t code) { return static_cast<int>(code); }

class HandheldAccess : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        int64_t id = 0;
        ASSERT_EQ(
            handheld_->createDatabase("Larkspur Messages", kMail, SYNC_FOURCC('D', 'a', 't', '5'), 1057, 0, 0, &id), 0);
        handheld_->setCard(0, 4'000'000, "card", "maker");
    }
    CHandheldDb db;
};

TEST_F(HandheldAccess, OneOpenDatabaseAndBoundedRecords) {
    EXPECT_EQ(db.Open(""), C(LDG_E_INVALID_PARAMETER));
    EXPECT_EQ(db.Open("No Such"), C(LDG_E_DB_OPEN));
    HandheldRecord r;
    EXPECT_EQ(db.ReadRecordByIndex(0, &r), C(LDG_E_NOT_INITIALIZED));
    ASSERT_EQ(db.OpenKind(kDbMessages, 0), 0);
    EXPECT_EQ(db.Open("larkspur messages"), 0);  // the same one, letter case aside
    EXPECT_EQ(db.OpenName(), "Larkspur Messages");

    HandheldRecord empty;  // a zero-length record goes as one byte
    ASSERT_EQ(db.WriteRecord(&empty), 0);
    ASSERT_NE(empty.id, 0u);
    HandheldRecord big;
    big.data.assign(datamgr::kMaxRecordBytes + 1, 1);
    EXPECT_EQ(db.WriteRecord(&big), C(LDG_E_BUFFER_TOO_SMALL));
    big.data.resize(datamgr::kMaxRecordBytes);
    big.category = 3;
    ASSERT_EQ(db.WriteRecord(&big), 0);

    HandheldRecord back;
    ASSERT_EQ(db.ReadRecordById(empty.id, &back), 0);
    EXPECT_EQ(back.data.size(), 1u);
    ASSERT_EQ(db.ReadRecordByIndex(1, &back), 0);
    EXPECT_EQ(back.data.size(), datamgr::kMaxRecordBytes);
    EXPECT_EQ(back.category, 3);
    EXPECT_EQ(db.ReadRecordById(999999, &back), C(LDG_E_RECORD_NOT_FOUND));

    // A record larger than the limit (written by someone else) is refused, not cut.
    uint32_t huge = 0;
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &entry), 0);
    std::vector<uint8_t> bytes(datamgr::kMaxRecordBytes + 100, 7);
    ASSERT_EQ(handheld_->writeRecord(entry.id, &huge, 0, 0, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(db.ReadRecordById(huge, &back), C(LDG_E_INVALID_PARAMETER));

    uint32_t count = 0;
    EXPECT_EQ(db.RecordCount("Larkspur Messages", &count), 0);
    EXPECT_EQ(count, 3u);
    uint16_t version = 0;
    EXPECT_EQ(db.DatabaseVersion("Larkspur Messages", &version), 0);
    EXPECT_EQ(version, 1057);
    EXPECT_EQ(db.DeleteRecord(empty.id), 0);
    EXPECT_EQ(db.DeleteRecord(empty.id), C(LDG_E_IO_DELETE));
    EXPECT_EQ(db.Purge(), 0);
    EXPECT_EQ(db.Close(), 0);
    EXPECT_EQ(db.Purge(), C(LDG_E_NOT_INITIALIZED));
}

// The sync manager's session ended while a database was open: the handle it left is
// forgotten, and the next session opens databases again.
TEST_F(HandheldAccess, AHandleFromAnEndedSessionDoesNotBlockTheNext) {
    ASSERT_EQ(db.OpenKind(kDbMessages, 0), 0);
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld("hh");
    EXPECT_EQ(db.Close(), C(LDG_E_DB_CLOSE));
    EXPECT_FALSE(db.IsOpen());
    int64_t actions = 0;
    ASSERT_EQ(
        handheld_->createDatabase("Larkspur Disconnected", kMail, SYNC_FOURCC('D', 'a', 't', '6'), 1, 0, 0, &actions),
        0);
    platform::syncmgr::resetSession();
    platform::syncmgr::useHandheld("hh");
    EXPECT_EQ(db.Open("Larkspur Disconnected"), 0);  // the stale one is dropped on the way
    EXPECT_EQ(db.OpenName(), "Larkspur Disconnected");
}

TEST_F(HandheldAccess, FullCardAndSettingsDatabase) {
    // The settings database is made when it cannot be opened.
    ASSERT_EQ(db.OpenKind(kDbSecurity, 5), 0);
    EXPECT_TRUE(db.Exists("Larkspur SData"));
    // Less than a whole record's room left after the write: refused.
    handheld_->setCard(0, 70'000, "card", "maker");
    HandheldRecord r;
    r.data.assign(8000, 1);
    EXPECT_EQ(db.WriteRecord(&r), C(LDG_E_DEVICE_FULL));
    r.data.assign(10, 1);
    EXPECT_EQ(db.WriteRecord(&r), 0);
    EXPECT_EQ(db.OpenKind(kDbIdCache, 0, 3), C(LDG_E_DB_OPEN));  // "LKIDCache3" is not there
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(HandheldAccess, DeviceInfoOnlyOnceTheHandheldAnswers) {
    EXPECT_EQ(db.DeviceInfo().version, 1024);
    EXPECT_FALSE(db.DeviceInfo().loaded);
    const uint32_t device = SYNC_FOURCC('a', 's', 'c', '6');
    handheld_->setRemoteAnswer(device, 2, {0, 0, 0x04, 0x21});
    EXPECT_FALSE(db.DeviceInfo().loaded);  // the name (item 3) is asked first
    handheld_->setRemoteAnswer(device, 3, {'P', 'a', 'l', 'm', 0});
    handheld_->setRemoteAnswer(device, 0, {0, 0, 0});  // not four bytes: the default stays
    handheld_->setRemoteAnswer(device, 1, {'L', 'o', 'n', 'g'});
    const auto& info = db.DeviceInfo();
    EXPECT_TRUE(info.loaded);
    EXPECT_EQ(info.version, 0x421);
    EXPECT_EQ(info.second, 0);
    EXPECT_EQ(info.name32, "Palm");
    EXPECT_EQ(info.name64, "Long");
}

TEST_F(HandheldAccess, Preferences) {
    std::vector<uint8_t> out;
    EXPECT_EQ(CHandheldDb::ReadAppPreference(kMail, 3, &out), C(LDG_E_IO_READ_DEVICE));
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(CHandheldDb::WriteAppPreference(1, kMail, 3, bytes, 3), 0);
    ASSERT_EQ(CHandheldDb::ReadAppPreference(kMail, 3, &out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace tess::test
