// Two processes and this one writing into one handheld file at the same time.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <thread>
#include <set>
#include <string>

#include "platform/syncmgr/handheld_store.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

extern char** environ;

namespace platform::syncmgr::test {

using tess::test::binaryDir;

namespace {

using TwoProcesses = SyncmgrTest;

pid_t spawnWriter(int count, const std::string& tag, int group = 0) {
    std::string program = (binaryDir() / "bin" / "syncmgr_handheld_writer").string();
    std::string n = std::to_string(count), g = std::to_string(group);
    char* argv[] = {program.data(), n.data(), const_cast<char*>(tag.c_str()), group ? g.data() : nullptr, nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0) << program;
    return pid;
}

TEST_F(TwoProcesses, ConcurrentWritersLoseNothing) {
    constexpr int kEach = 300;
    SyncDbHandle db = createDb("Shared");
    pid_t a = spawnWriter(kEach, "a");
    pid_t b = spawnWriter(kEach, "b");
    for (int i = 0; i < kEach; ++i) {
        std::string data = "p-" + std::to_string(i);
        writeNew(db, std::vector<uint8_t>(data.begin(), data.end()));
    }
    for (pid_t pid : {a, b}) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer failed: " << status;
    }

    platform::syncmgr::HandheldStore store("default");
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(store.findDatabase("Shared", 0, &entry), SYNC_OK);
    std::vector<platform::syncmgr::RecordEntry> records = store.records(entry.id);
    ASSERT_EQ(records.size(), size_t{3 * kEach});
    std::set<uint32_t> ids;
    std::map<char, int> next;  // each writer's records appear in the order written
    for (const platform::syncmgr::RecordEntry& r : records) {
        EXPECT_TRUE(ids.insert(r.id).second) << "id " << r.id << " given twice";
        std::string data(r.data.begin(), r.data.end());
        char tag = data[0];
        EXPECT_EQ(data, std::string(1, tag) + "-" + std::to_string(next[tag]++));
    }
    EXPECT_EQ(next['a'], kEach);
    EXPECT_EQ(next['b'], kEach);
    EXPECT_EQ(next['p'], kEach);
    EXPECT_EQ(store.card().usedBytes, [&] {
        uint64_t sum = 0;
        for (const auto& r : records) sum += r.data.size();
        return sum;
    }()) << "the card's count of bytes stays right under concurrent writes";
}

// Records as this process's store reads them one by one, by index and then by id: the
// order it keeps must follow what other processes committed.
std::vector<platform::syncmgr::RecordEntry> readOneByOne(platform::syncmgr::HandheldStore& store, int64_t db) {
    std::vector<platform::syncmgr::RecordEntry> list;
    for (uint32_t i = 0;; ++i) {
        platform::syncmgr::RecordEntry e;
        if (store.readRecordByIndex(db, i, &e) != SYNC_OK) break;
        platform::syncmgr::RecordEntry byId;
        EXPECT_EQ(store.readRecordById(db, e.id, &byId), SYNC_OK);
        EXPECT_EQ(byId.index, i);
        EXPECT_EQ(byId.data, e.data);
        list.push_back(std::move(e));
    }
    return list;
}

TEST_F(TwoProcesses, WriterKilledMidwayLeavesWholeRecordsOnly) {
    SyncDbHandle db = createDb("Shared");
    writeNew(db, {'p', '-', '0'});
    platform::syncmgr::HandheldStore watcher("default");
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(watcher.findDatabase("Shared", 0, &entry), SYNC_OK);
    // The watcher keeps the order of one record, and the card, before the writer starts.
    ASSERT_EQ(readOneByOne(watcher, entry.id).size(), 1u);
    const uint64_t usedBefore = watcher.card().usedBytes;

    pid_t writer = spawnWriter(1000000, "k");
    for (int i = 0; i < 2000 && watcher.recordCount(entry.id) < 200; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(kill(writer, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended before it was killed";

    std::vector<platform::syncmgr::RecordEntry> seen = readOneByOne(watcher, entry.id);
    platform::syncmgr::HandheldStore fresh("default");
    std::vector<platform::syncmgr::RecordEntry> all = fresh.records(entry.id);
    ASSERT_GT(all.size(), 200u);
    ASSERT_EQ(seen.size(), all.size());
    uint64_t sum = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string data(all[i].data.begin(), all[i].data.end());
        // Whole records in the order written, none missing before the last one.
        EXPECT_EQ(data, i == 0 ? "p-0" : "k-" + std::to_string(i - 1));
        EXPECT_EQ(seen[i].id, all[i].id);
        EXPECT_EQ(seen[i].data, all[i].data);
        sum += all[i].data.size();
    }
    EXPECT_EQ(fresh.card().usedBytes, usedBefore - 3 + sum);
    EXPECT_EQ(watcher.card().usedBytes, fresh.card().usedBytes);
    EXPECT_EQ(watcher.recordCount(entry.id), all.size());

    // The store goes on: a write after the kill lands behind the last whole record.
    uint32_t id = 0;
    ASSERT_EQ(watcher.writeRecord(entry.id, &id, 0, 0, reinterpret_cast<const uint8_t*>("after"), 5), SYNC_OK);
    platform::syncmgr::RecordEntry last;
    ASSERT_EQ(fresh.readRecordByIndex(entry.id, static_cast<uint32_t>(all.size()), &last), SYNC_OK);
    EXPECT_EQ(last.id, id);
    ASSERT_EQ(watcher.deleteRecord(entry.id, all[1].id), SYNC_OK);
    ASSERT_EQ(fresh.readRecordByIndex(entry.id, 1, &last), SYNC_OK);
    EXPECT_EQ(last.id, all[2].id) << "a delete by another connection moves the later records up";
}

// Grouped writes: a writer that commits every 10 records dies (or has one write fail) at
// an exact write; what other connections see, and what stays in the file, is whole groups.
TEST_F(TwoProcesses, GroupedWritesKeepWholeGroupsAcrossAFailure) {
    struct Case {
        const char* what;
        int code;      // of the failure injected at write 25
        int expected;  // records the file holds afterwards
        bool killed;
    };
    const Case cases[] = {
        // Writes 21 to 24 wait uncommitted when the process dies: they go, the two
        // committed groups stay.
        {"a kill mid-group", platform::syncmgr::HandheldStore::kKillProcess, 20, true},
        // One failed write leaves the rest of its group, which is committed.
        {"a failed write mid-group", SYNCERR_NO_SPACE, 39, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::syncmgr::resetSession();
        home_.emplace();
        SyncDbHandle db = createDb("Shared");
        platform::syncmgr::HandheldStore watcher("default");
        platform::syncmgr::DatabaseEntry entry;
        ASSERT_EQ(watcher.findDatabase("Shared", 0, &entry), SYNC_OK);
        const uint64_t usedBefore = watcher.card().usedBytes;
        ASSERT_EQ(SyncCloseDB(db), SYNC_OK);
        // The session's own connection would count the injection's call before the writer.
        platform::syncmgr::resetSession();
        watcher.injectFailure("SyncWriteRecord", 25, c.code);

        pid_t writer = spawnWriter(40, "g", 10);
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        if (c.killed) {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        } else {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        watcher.clearInjectedFailures();

        platform::syncmgr::HandheldStore fresh("default");
        const std::vector<platform::syncmgr::RecordEntry> all = fresh.records(entry.id);
        ASSERT_EQ(all.size(), size_t(c.expected));
        EXPECT_EQ(readOneByOne(watcher, entry.id).size(), all.size());
        uint64_t sum = 0;
        int written = 0;
        for (const platform::syncmgr::RecordEntry& r : all) {
            if (written == 24 && !c.killed) ++written;  // the failed write
            EXPECT_EQ(std::string(r.data.begin(), r.data.end()), "g-" + std::to_string(written++));
            sum += r.data.size();
        }
        EXPECT_EQ(fresh.card().usedBytes, usedBefore + sum) << "the card counts the records kept, no more";
        EXPECT_EQ(watcher.card().usedBytes, usedBefore + sum);

        // The store goes on after the failure: the next write lands behind the last record.
        uint32_t id = 0;
        ASSERT_EQ(watcher.writeRecord(entry.id, &id, 0, 0, reinterpret_cast<const uint8_t*>("after"), 5), SYNC_OK);
        EXPECT_EQ(fresh.recordCount(entry.id), all.size() + 1);
    }
}

// While a group is open another connection sees the file as it was at the last commit;
// closing the store commits what the group holds.
TEST_F(TwoProcesses, GroupedWritesShowAtCommit) {
    SyncDbHandle db = createDb("Shared");
    writeNew(db, {'a'});
    platform::syncmgr::HandheldStore other("default");
    platform::syncmgr::DatabaseEntry entry;
    ASSERT_EQ(other.findDatabase("Shared", 0, &entry), SYNC_OK);
    ASSERT_EQ(SyncGroupWrites(1), SYNC_OK);
    writeNew(db, {'b'});
    writeNew(db, {'c'});
    uint32_t count = 0;
    ASSERT_EQ(SyncGetDBRecordCount(db, &count), SYNC_OK);
    EXPECT_EQ(count, 3u) << "the writing connection reads its own group";
    EXPECT_EQ(other.records(entry.id).size(), 1u);
    ASSERT_EQ(SyncFlushWrites(), SYNC_OK);
    EXPECT_EQ(other.records(entry.id).size(), 3u);
    writeNew(db, {'d'});
    EXPECT_EQ(other.records(entry.id).size(), 3u);
    platform::syncmgr::resetSession();  // closes the handheld
    EXPECT_EQ(other.records(entry.id).size(), 4u);
    EXPECT_EQ(other.card().usedBytes, 4u) << "the card counts each committed record once";
}

}  // namespace
}  // namespace platform::syncmgr::test
