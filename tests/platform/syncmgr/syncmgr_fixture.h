#pragma once
// Each test gets its own runtime root and a fresh sync manager session.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tests/support/test_home.h"

namespace platform::syncmgr::test {

using tess::test::TempHome;

class SyncmgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_.emplace();
        platform::syncmgr::resetSession();
    }
    void TearDown() override {
        platform::syncmgr::resetSession();
        home_.reset();
    }

    // Creates a database and returns its open handle.
    SyncDbHandle createDb(const char* name, uint32_t type = SYNC_FOURCC('D', 'a', 't', '5'), uint16_t version = 1056) {
        SyncCreateDbParams p{SYNC_FOURCC('a', 's', 'c', '3'), 0, type, 0, version, name};
        SyncDbHandle h = 0;
        EXPECT_EQ(SyncCreateDB(&p, &h), SYNC_OK) << name;
        return h;
    }

    // Writes a new record and returns its id.
    uint32_t writeNew(SyncDbHandle db, const std::vector<uint8_t>& bytes, uint8_t attributes = 0,
                      int32_t category = 0) {
        std::vector<uint8_t> copy = bytes;
        SyncRecord r{};
        r.db = db;
        r.attributes = attributes;
        r.category = category;
        r.buffer = copy.data();
        r.bufferSize = static_cast<uint32_t>(copy.size());
        r.dataSize = static_cast<uint32_t>(copy.size());
        EXPECT_EQ(SyncWriteRecord(&r), SYNC_OK);
        return r.recordId;
    }

    std::optional<TempHome> home_;
};

}  // namespace platform::syncmgr::test
