// Attachment chains and part records through the sync manager stand-in's handheld, and
// the conduit registration and user list read from it.
#include <gtest/gtest.h>

#include <fstream>

#include "common/handheld_record_io.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace tess::test {

namespace fs = std::filesystem;

namespace {

class Handheld : public ::testing::Test {
protected:
    void SetUp() override {
        platform::syncmgr::resetSession();
        platform::syncmgr::useHandheld("unit");
        SyncCreateDbParams p{};
        p.creator = SYNC_FOURCC('a', 's', 'c', '3');
        p.type = SYNC_FOURCC('D', 'a', 't', '7');
        p.name = "Larkspur Attachments";
        ASSERT_EQ(SyncCreateDB(&p, &db_), SYNC_OK);
    }
    void TearDown() override { platform::syncmgr::resetSession(); }

    uint32_t WriteOther(const char* name) {
        AttachmentEntry e;
        e.name = name;
        e.data = {1, 2};
        HandheldRecord r;
        e.Pack(r);
        SyncRecord rec{};
        rec.db = db_;
        rec.buffer = r.data.data();
        rec.bufferSize = rec.dataSize = static_cast<uint32_t>(r.data.size());
        EXPECT_EQ(SyncWriteRecord(&rec), SYNC_OK);
        return rec.recordId;
    }
    uint32_t RecordCount() {
        uint32_t n = 0;
        SyncGetDBRecordCount(db_, &n);
        return n;
    }

    tess::test::TempHome home_;
    SyncDbHandle db_ = 0;
};

}  // namespace

TEST_F(Handheld, ChainWrittenAndReadBackWithTheRecordsThatFollow) {
    const fs::path file = home_.path() / "report.pdf";
    std::ofstream(file, std::ios::binary) << std::string(kAttachmentPieceBytes + 10, 'p');
    CAttachmentChain chain;
    ASSERT_EQ(chain.MakeFromFile(file.string(), false), kRecordOk);
    ASSERT_EQ(chain.entries.size(), 3u);
    uint32_t first = 0;
    ASSERT_EQ(WriteAttachmentChain(db_, chain, 2, &first, nullptr), SYNC_OK);
    EXPECT_EQ(first, chain.entries.front().recordId);
    WriteOther("next.txt");  // another attachment follows in the database

    CAttachmentChain alone, whole;
    ASSERT_EQ(ReadAttachmentChain(db_, first, false, alone, nullptr), SYNC_OK);
    EXPECT_EQ(alone.entries.size(), 1u);
    ASSERT_EQ(ReadAttachmentChain(db_, first, true, whole, nullptr), SYNC_OK);
    ASSERT_EQ(whole.entries.size(), 3u);
    EXPECT_EQ(whole.entries[0].name, "report.pdf");
    EXPECT_EQ(whole.entries[1].data.size(), 10u);
    EXPECT_TRUE(whole.entries[2].IsTerminator());
    EXPECT_EQ(whole.entries[0].Type(), kAttPdf);

    EXPECT_EQ(DeleteAttachmentChain(db_, whole), kAttachmentPieceBytes + 10);
    EXPECT_EQ(RecordCount(), 1u);
    CAttachmentChain gone;
    EXPECT_NE(ReadAttachmentChain(db_, first, true, gone, nullptr), SYNC_OK);
}

TEST_F(Handheld, FailedWriteLeavesNoRecordsBehind) {
    CAttachmentChain chain;
    for (int i = 0; i < 3; ++i) {
        AttachmentEntry e;
        e.name = "a.txt";
        e.data = {'x'};
        chain.entries.push_back(e);
    }
    chain.entries.push_back(CAttachmentChain::Terminator());
    platform::syncmgr::HandheldStore("unit").injectFailure("SyncWriteRecord", 3);
    uint32_t first = 77;
    EXPECT_EQ(WriteAttachmentChain(db_, chain, 0, &first, nullptr), SYNCERR_LOST_CONNECTION);
    EXPECT_EQ(first, 77u);
    EXPECT_EQ(RecordCount(), 0u);
}

TEST_F(Handheld, DamagedRecordIsRefusedNotRead) {
    const uint8_t junk[] = {0, 0, 0, 1, 'n', 'o', 'n', 'u', 'l'};
    SyncRecord rec{};
    rec.db = db_;
    rec.buffer = const_cast<uint8_t*>(junk);
    rec.bufferSize = rec.dataSize = sizeof junk;
    ASSERT_EQ(SyncWriteRecord(&rec), SYNC_OK);
    CAttachmentChain chain;
    EXPECT_EQ(ReadAttachmentChain(db_, rec.recordId, true, chain, nullptr), kRecordShort);
    EXPECT_TRUE(chain.entries.empty());
}

TEST_F(Handheld, PartInfoAndIdCacheRecordsKeepTheirIds) {
    CPartInfoRecord part;
    part.name = "p";
    part.values[3] = 5000;
    part.SetFirstId(CId("entry", 5));
    ASSERT_EQ(WritePartInfoRecord(db_, 1, part), SYNC_OK);
    ASSERT_NE(part.recordId, 0u);
    const uint32_t id = part.recordId;
    part.values[3] = 6000;
    ASSERT_EQ(WritePartInfoRecord(db_, 1, part), SYNC_OK);  // rewrites the same record
    EXPECT_EQ(part.recordId, id);
    CPartInfoRecord back;
    ASSERT_EQ(ReadPartInfoRecord(db_, id, back), kRecordOk);
    EXPECT_EQ(back.values[3], 6000u);
    EXPECT_TRUE(back.firstId.IsEqual(CId("entry", 5)));

    CIdCacheRecord cache;
    cache.category = 4;
    cache.texts[0] = "1234";
    ASSERT_EQ(WriteIdCacheRecord(db_, cache), SYNC_OK);
    EXPECT_GT(cache.recordId, 0);
    EXPECT_EQ(RecordCount(), 2u);
}

TEST_F(Handheld, ConduitInfoAndUsers) {
    platform::syncmgr::ConduitRegistration reg;
    reg.creator = SYNC_FOURCC('a', 's', 'c', '3');
    reg.name = "Tessaline";
    reg.library = "Gatehouse.dll";
    reg.directory = "Larkspur";
    reg.remoteDb = "Larkspur Messages";
    reg.title = "Tessaline";
    ASSERT_EQ(platform::syncmgr::registerConduit(reg), SYNC_OK);
    CConduitInfo info;
    ASSERT_TRUE(info.Load(reg.creator));
    EXPECT_EQ(info.directory, "Larkspur");
    EXPECT_EQ(info.library, "Gatehouse.dll");
    CConduitInfo none;
    EXPECT_FALSE(none.Load(SYNC_FOURCC('n', 'o', 'n', 'e')));

    int pat = 0, lee = 0;
    ASSERT_EQ(platform::syncmgr::addUser("Pat", &pat), SYNC_OK);
    ASSERT_EQ(platform::syncmgr::addUser("Lee", &lee), SYNC_OK);
    CUserList users;
    EXPECT_EQ(users.Load(), 2);
    ASSERT_NE(users.FindUser(lee), nullptr);
    EXPECT_EQ(users.FindUser(lee)->name, "Lee");
    EXPECT_EQ(fs::path(users.FindUser(lee)->directory), platform::syncmgr::userDirectory(lee) / "");
    EXPECT_EQ(users.FindUser(9999), nullptr);
}

}  // namespace tess::test
