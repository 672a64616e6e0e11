// Helper of the two-process test: writes <count> records "<tag>-<i>" into the handheld
// database "Shared" of the runtime root in TESSALINE_HOME, then exits 0 (1 on a failure).
// With a third argument <group>, the writes are grouped and committed every <group>
// records; a write that fails is passed over.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/syncmgr/syncmgr.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    int count = std::atoi(argv[1]);
    std::string tag = argv[2];
    const int group = argc == 4 ? std::atoi(argv[3]) : 0;
    if (group > 0 && SyncGroupWrites(1) != SYNC_OK) return 1;
    SyncDbHandle db = 0;
    if (int rc = SyncOpenDB("Shared", 0, &db, SYNC_MODE_READ | SYNC_MODE_WRITE)) {
        std::fprintf(stderr, "open: %d\n", rc);
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        std::string data = tag + "-" + std::to_string(i);
        SyncRecord r{};
        r.db = db;
        r.buffer = reinterpret_cast<uint8_t*>(data.data());
        r.dataSize = static_cast<uint32_t>(data.size());
        if (int rc = SyncWriteRecord(&r); rc && group == 0) {
            std::fprintf(stderr, "write %d: %d\n", i, rc);
            return 1;
        }
        if (group > 0 && (i + 1) % group == 0 && SyncFlushWrites() != SYNC_OK) return 1;
        SyncYieldCycles(0);
    }
    return SyncCloseDB(db) == SYNC_OK ? 0 : 1;
}
