// Two processes and this one writing into one handheld file at the same time.
#include <spawn.h>
#include <sys/wait.h>

#include <map>
#include <set>
#include <string>

#include "platform/syncmgr/handheld_store.h"
#include "tests/platform/syncmgr/syncmgr_fixture.h"

extern char** environ;

namespace tess::test {
namespace {

using TwoProcesses = SyncmgrTest;

pid_t spawnWriter(int count, const std::string& tag) {
    std::string program = (binaryDir() / "bin" / "syncmgr_handheld_writer").string();
    std::string n = std::to_string(count);
    char* argv[] = {program.data(), n.data(), const_cast<char*>(tag.c_str()), nullptr};
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

    syncmgr::HandheldStore store("default");
    syncmgr::DatabaseEntry entry;
    ASSERT_EQ(store.findDatabase("Shared", 0, &entry), SYNC_OK);
    std::vector<syncmgr::RecordEntry> records = store.records(entry.id);
    ASSERT_EQ(records.size(), size_t{3 * kEach});
    std::set<uint32_t> ids;
    std::map<char, int> next;  // each writer's records appear in the order written
    for (const syncmgr::RecordEntry& r : records) {
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
        for (const auto& r : records)
            sum += r.data.size();
        return sum;
    }()) << "the card's count of bytes stays right under concurrent writes";
}

}  // namespace
}  // namespace tess::test
