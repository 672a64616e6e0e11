// The index of the handheld's messages kept between syncs: read in place of the records
// only while it stands for the database as it is, followed through the sync's own
// changes, and never used after a change it did not see.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "common/handheld_database.h"
#include "common/message_record_codec.h"
#include "engine/device_database.h"
#include "engine/message_index.h"
#include "tests/engine/emulated_handheld.h"
#include "tests/support/test_home.h"

namespace tess::engine {
namespace {

class MessageIndex : public ::testing::Test {
protected:
    void SetUp() override {
        tess::test::StartEmulatedHandheld();
        file = home.path() / "index.idx";
    }

    // A sync's view of the database: the engine's object, following the messages.
    struct Sync {
        CDeviceDb db;
        explicit Sync(const std::filesystem::path& file) {
            db.haveProperties = true;
            db.dbVersion = 2000;
            EXPECT_EQ(db.Open(kDbMessages), 0);
            db.FollowMessages(file);
        }
        // Every record as the load reads it.
        std::vector<HandheldRecord> ReadAll(bool& fromIndex) {
            std::vector<HandheldRecord> all;
            fromIndex = false;
            for (uint32_t i = 0;; ++i) {
                HandheldRecord r;
                bool whole = true;
                if (db.ReadMessageHeaders(i, r, whole) != 0) break;
                fromIndex = fromIndex || !whole;
                all.push_back(r);
            }
            return all;
        }
    };

    static HandheldRecord Message(const std::string& subject, const std::string& body, int account = 1) {
        CMsg m;
        m.Subject = subject;
        m.Body = body;
        m.To = "to@example.org";
        const uint8_t uid[4] = {uint8_t(subject.size()), 0, 0, 0};
        m.hostId.SetData(uid, 4);
        HandheldRecord r;
        EXPECT_EQ(PackMessageRecord(2000, r, m, 63000, account, false), 0);
        r.id = 0;
        return r;
    }

    // What the handheld holds, read whole, headers only: what the index must match.
    std::vector<HandheldRecord> Expected() {
        CDeviceDb raw;
        raw.haveProperties = true;
        raw.dbVersion = 2000;
        EXPECT_EQ(raw.Open(kDbMessages), 0);
        std::vector<HandheldRecord> all;
        HandheldRecord r;
        for (uint32_t i = 0; raw.ReadByIndex(i, r) == 0; ++i) {
            HandheldRecord headers;
            HeadersOnlyRecord(r, headers);
            all.push_back(headers);
        }
        return all;
    }

    static void ExpectSame(const std::vector<HandheldRecord>& got, const std::vector<HandheldRecord>& want,
                           const std::string& what) {
        ASSERT_EQ(got.size(), want.size()) << what;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, want[i].id) << what << " #" << i;
            EXPECT_EQ(got[i].attributes, want[i].attributes) << what << " #" << i;
            EXPECT_EQ(got[i].category, want[i].category) << what << " #" << i;
            HandheldRecord headers;
            HeadersOnlyRecord(got[i], headers);
            EXPECT_EQ(headers.data, want[i].data) << what << " #" << i;
        }
    }

    tess::test::TempHome home;
    std::filesystem::path file;
};

// The first sync reads the records whole and keeps the index; the next reads the index,
// which follows that sync's writes, rewrites and deletions (positions moving up) and
// stands for the database afterwards.
TEST_F(MessageIndex, KeptFollowedAndReadInPlaceOfTheRecords) {
    {
        Sync s(file);
        bool fromIndex = true;
        EXPECT_TRUE(s.ReadAll(fromIndex).empty());
        for (int i = 0; i < 5; ++i) {
            HandheldRecord r = Message("subject " + std::string(i, 'x'), std::string(500 + i, 'b'));
            ASSERT_EQ(s.db.Write(r), 0);
        }
        s.db.KeepMessageIndex();
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    const auto written = std::filesystem::last_write_time(file);
    std::vector<uint32_t> ids;
    {
        Sync s(file);
        bool fromIndex = false;
        const auto all = s.ReadAll(fromIndex);
        EXPECT_TRUE(fromIndex);
        ExpectSame(all, Expected(), "loaded");
        for (const auto& r : all) ids.push_back(r.id);
        // The body is not kept: far less than the records.
        EXPECT_LT(std::filesystem::file_size(file), 5u * 500u);
        s.db.KeepMessageIndex();  // nothing changed: not written again
    }
    EXPECT_EQ(std::filesystem::last_write_time(file), written);
    {
        Sync s(file);
        bool fromIndex = false;
        s.ReadAll(fromIndex);
        ASSERT_TRUE(fromIndex);
        HandheldRecord changed = Message("rewritten", "");
        changed.id = ids[1];
        changed.attributes = 0x40;
        ASSERT_EQ(s.db.Write(changed), 0);
        ASSERT_EQ(s.db.Delete(ids[0]), 0);
        HandheldRecord added = Message("added", "body");
        ASSERT_EQ(s.db.Write(added), 0);
        ASSERT_EQ(s.db.Delete(ids[3]), 0);
        HandheldRecord empty;
        ASSERT_EQ(s.db.Write(empty), 0);  // kept as one byte
        // Another database's changes are not the index's.
        ASSERT_EQ(s.db.Open(kDbSecurity), 0);
        HandheldRecord key;
        key.data = {'k', 0};
        ASSERT_EQ(s.db.Write(key), 0);
        s.db.KeepMessageIndex();
    }
    Sync s(file);
    bool fromIndex = false;
    const auto all = s.ReadAll(fromIndex);
    EXPECT_TRUE(fromIndex);
    ExpectSame(all, Expected(), "after the changes");
    EXPECT_EQ(all.size(), 5u);
}

// Whatever changed the database other than through the sync's own object, and whatever
// became of the file, the records are read whole, and the index is built anew from them.
TEST_F(MessageIndex, NotUsedAfterAChangeItDidNotSee) {
    auto seed = [&] {
        std::filesystem::remove(file);
        Sync s(file);
        bool fromIndex = true;
        s.ReadAll(fromIndex);  // the records left by the case before, learnt
        HandheldRecord r = Message("one", "body one");
        EXPECT_EQ(s.db.Write(r), 0);
        HandheldRecord r2 = Message("two", "body two");
        EXPECT_EQ(s.db.Write(r2), 0);
        s.db.KeepMessageIndex();
        EXPECT_TRUE(std::filesystem::exists(file));
        return r.id;
    };
    auto raw = [](auto change) {
        CHandheldDb other;
        ASSERT_EQ(other.OpenKind(kDbMessages), 0);
        change(other);
        other.Close();
    };
    auto readBytes = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    auto writeBytes = [&](const std::string& text) { std::ofstream(file, std::ios::binary | std::ios::trunc) << text; };
    const struct {
        const char* what;
        std::function<void(uint32_t)> change;
    } cases[] = {
        {"a record rewritten by another",
         [&](uint32_t id) {
             raw([&](CHandheldDb& db) {
                 HandheldRecord r = Message("changed elsewhere", "x");
                 r.id = id;
                 ASSERT_EQ(db.Write(r), 0);
             });
         }},
        {"a record deleted by another",
         [&](uint32_t id) { raw([&](CHandheldDb& db) { ASSERT_EQ(db.Delete(id), 0); }); }},
        {"a record added by another then deleted",
         [&](uint32_t) {
             raw([&](CHandheldDb& db) {
                 HandheldRecord r = Message("passing", "x");
                 ASSERT_EQ(db.Write(r), 0);
                 ASSERT_EQ(db.Delete(r.id), 0);
             });
         }},
        {"a sync's change not followed, then a followed one",
         [&](uint32_t id) {
             Sync s(file);
             bool fromIndex = false;
             s.ReadAll(fromIndex);
             EXPECT_TRUE(fromIndex);
             // Written past the engine's object, as a helper with the handle would.
             HandheldRecord r = Message("past the object", "x");
             r.id = id;
             SyncRecord rec{};
             rec.db = s.db.handle();
             rec.recordId = id;
             rec.buffer = r.data.data();
             rec.bufferSize = rec.dataSize = uint32_t(r.data.size());
             ASSERT_EQ(SyncWriteRecord(&rec), SYNC_OK);
             HandheldRecord more = Message("followed", "y");
             ASSERT_EQ(s.db.Write(more), 0);
             s.db.KeepMessageIndex();
         }},
        {"the file cut short", [&](uint32_t) { writeBytes(readBytes().substr(0, readBytes().size() - 3)); }},
        {"a byte of the file changed",
         [&](uint32_t) {
             std::string text = readBytes();
             text[text.size() / 2] ^= 0x20;
             writeBytes(text);
         }},
        {"the file empty", [&](uint32_t) { writeBytes(""); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.change(seed());
        {
            Sync s(file);
            bool fromIndex = true;
            ExpectSame(s.ReadAll(fromIndex), Expected(), c.what);
            EXPECT_FALSE(fromIndex);
            s.db.KeepMessageIndex();  // built anew from the records read whole
        }
        Sync s(file);
        bool fromIndex = false;
        ExpectSame(s.ReadAll(fromIndex), Expected(), std::string(c.what) + ", built anew");
        EXPECT_TRUE(fromIndex);
    }
}

// While the index is built from the records read whole, the sync's changes before and
// after each record is read are followed: deleting the record just read (the next moves
// into its place) and rewriting one not read yet.
TEST_F(MessageIndex, BuiltWhileTheLoadChangesRecords) {
    std::vector<uint32_t> ids;
    {
        CHandheldDb seed;
        ASSERT_EQ(seed.OpenKind(kDbMessages), 0);
        for (int i = 0; i < 6; ++i) {
            HandheldRecord r = Message("m" + std::string(i, 'x'), "body");
            ASSERT_EQ(seed.Write(r), 0);
            ids.push_back(r.id);
        }
    }
    {
        Sync s(file);
        HandheldRecord r;
        bool whole = true;
        uint32_t index = 0;
        while (s.db.ReadMessageHeaders(index, r, whole) == 0) {
            EXPECT_TRUE(whole);
            if (r.id == ids[1] || r.id == ids[2]) {
                ASSERT_EQ(s.db.Delete(r.id), 0);  // the same index is read again
                continue;
            }
            if (r.id == ids[3]) {
                HandheldRecord later = Message("rewritten before it is read", "b");
                later.id = ids[5];
                ASSERT_EQ(s.db.Write(later), 0);
            }
            ++index;
        }
        EXPECT_EQ(index, 4u);
        s.db.KeepMessageIndex();
    }
    {
        Sync s(file);
        bool fromIndex = false;
        ExpectSame(s.ReadAll(fromIndex), Expected(), "built");
        EXPECT_TRUE(fromIndex);
    }
    // A record added before the others were all read goes after them, not where the
    // reading stands: such an index is not kept.
    std::filesystem::remove(file);
    {
        Sync s(file);
        HandheldRecord r;
        bool whole = true;
        ASSERT_EQ(s.db.ReadMessageHeaders(0, r, whole), 0);
        HandheldRecord added = Message("added half-way", "b");
        ASSERT_EQ(s.db.Write(added), 0);
        for (uint32_t i = 1; s.db.ReadMessageHeaders(i, r, whole) == 0;) ++i;
        s.db.KeepMessageIndex();
    }
    EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace tess::engine
