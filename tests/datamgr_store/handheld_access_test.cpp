// The data manager's handheld layer on an emulated handheld.
#include <vector>

#include "datamgr/handheld_access.h"
#include "datamgr/ledgerly.h"
#include "tests/datamgr_store/store_fixture.h"

namespace tess::test {
namespace {

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
    CHandheldDb db{datamgr::kStoreDbOptions};
};

TEST_F(HandheldAccess, OneOpenDatabaseAndBoundedRecords) {
    EXPECT_EQ(db.OpenByName(""), C(LDG_E_INVALID_PARAMETER));
    EXPECT_EQ(db.OpenByName("No Such"), C(LDG_E_DB_OPEN));
    HandheldRecord r;
    EXPECT_EQ(db.ReadByIndex(0, r), C(LDG_E_NOT_INITIALIZED));
    ASSERT_EQ(db.OpenKind(kDbMessages), 0);
    EXPECT_EQ(db.OpenByName("larkspur messages"), 0);  // the same one, letter case aside
    EXPECT_EQ(db.OpenName(), "Larkspur Messages");

    HandheldRecord empty;  // a zero-length record goes as one byte
    ASSERT_EQ(db.Write(empty), 0);
    ASSERT_NE(empty.id, 0u);
    HandheldRecord big;
    big.data.assign(kMaxRecordBytes + 1, 1);
    EXPECT_EQ(db.Write(big), C(LDG_E_BUFFER_TOO_SMALL));
    big.data.resize(kMaxRecordBytes);
    big.category = 3;
    ASSERT_EQ(db.Write(big), 0);

    HandheldRecord back;
    ASSERT_EQ(db.ReadById(empty.id, back), 0);
    EXPECT_EQ(back.data.size(), 1u);
    ASSERT_EQ(db.ReadByIndex(1, back), 0);
    EXPECT_EQ(back.data.size(), kMaxRecordBytes);
    EXPECT_EQ(back.category, 3);
    EXPECT_EQ(db.ReadById(999999, back), C(LDG_E_RECORD_NOT_FOUND));

    // A record larger than the limit (written by someone else) is refused, not cut.
    uint32_t huge = 0;
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(handheld_->findDatabase("Larkspur Messages", 0, &entry), 0);
    std::vector<uint8_t> bytes(kMaxRecordBytes + 100, 7);
    ASSERT_EQ(handheld_->writeRecord(entry.id, &huge, 0, 0, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(db.ReadById(huge, back), C(LDG_E_INVALID_PARAMETER));

    uint32_t count = 0;
    EXPECT_EQ(datamgr::HandheldDbCount("Larkspur Messages", &count), 0);
    EXPECT_EQ(count, 3u);
    uint16_t version = 0;
    EXPECT_EQ(datamgr::HandheldDbVersion("Larkspur Messages", &version), 0);
    EXPECT_EQ(version, 1057);
    EXPECT_EQ(db.Delete(empty.id), 0);
    EXPECT_EQ(db.Delete(empty.id), C(LDG_E_IO_DELETE));
    EXPECT_EQ(db.DeleteAll(), 0);
    EXPECT_EQ(db.Close(), 0);
    EXPECT_EQ(db.DeleteAll(), C(LDG_E_NOT_INITIALIZED));
}

// The sync manager's session ended while a database was open: the handle it left is
// forgotten, and the next session opens databases again.
TEST_F(HandheldAccess, AHandleFromAnEndedSessionDoesNotBlockTheNext) {
    ASSERT_EQ(db.OpenKind(kDbMessages), 0);
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
    EXPECT_EQ(db.OpenByName("Larkspur Disconnected"), 0);  // the stale one is dropped on the way
    EXPECT_EQ(db.OpenName(), "Larkspur Disconnected");
}

TEST_F(HandheldAccess, FullCardAndSettingsDatabase) {
    // The settings database is made when it cannot be opened.
    ASSERT_EQ(db.OpenKind(kDbSecurity, 0, 5), 0);
    EXPECT_TRUE(datamgr::HandheldDbExists("Larkspur SData"));
    // Less than a whole record's room left after the write: refused.
    handheld_->setCard(0, 70'000, "card", "maker");
    HandheldRecord r;
    r.data.assign(8000, 1);
    EXPECT_EQ(db.Write(r), C(LDG_E_DEVICE_FULL));
    r.data.assign(10, 1);
    EXPECT_EQ(db.Write(r), 0);
    EXPECT_EQ(db.OpenKind(kDbIdCache, 3), C(LDG_E_DB_OPEN));  // "LKIDCache3" is not there
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(HandheldAccess, DeviceInfoOnlyOnceTheHandheldAnswers) {
    EXPECT_EQ(datamgr::ReadDeviceInfo().version, 1024);
    EXPECT_FALSE(datamgr::ReadDeviceInfo().loaded);
    const uint32_t device = SYNC_FOURCC('a', 's', 'c', '6');
    handheld_->setRemoteAnswer(device, 2, {0, 0, 0x04, 0x21});
    EXPECT_FALSE(datamgr::ReadDeviceInfo().loaded);  // the name (item 3) is asked first
    handheld_->setRemoteAnswer(device, 3, {'P', 'a', 'l', 'm', 0});
    handheld_->setRemoteAnswer(device, 0, {0, 0, 0});  // not four bytes: the default stays
    handheld_->setRemoteAnswer(device, 1, {'L', 'o', 'n', 'g'});
    const auto info = datamgr::ReadDeviceInfo();
    EXPECT_TRUE(info.loaded);
    EXPECT_EQ(info.version, 0x421);
    EXPECT_EQ(info.second, 0);
    EXPECT_EQ(info.name32, "Palm");
    EXPECT_EQ(info.name64, "Long");
}

TEST_F(HandheldAccess, Preferences) {
    std::vector<uint8_t> out;
    EXPECT_EQ(datamgr::ReadAppPreference(kMail, 3, &out), C(LDG_E_IO_READ_DEVICE));
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(datamgr::WriteAppPreference(1, kMail, 3, bytes, 3), 0);
    ASSERT_EQ(datamgr::ReadAppPreference(kMail, 3, &out), 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace tess::test
