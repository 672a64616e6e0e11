// One sync session writing 10,000 records through the sync manager's calls, against the
// same rows inserted into a bare SQLite table in one transaction (the floor); and one
// reading them back by index, as the engine loads the handheld's messages.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"

namespace {

constexpr int kRecords = 10000;

// A fresh runtime root per run.
struct Root {
    Root() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tess-bench-XXXXXX").string();
        path = mkdtemp(tmpl.data());
        setenv("TESSALINE_HOME", path.c_str(), 1);
        platform::syncmgr::resetSession();
    }
    ~Root() {
        platform::syncmgr::resetSession();
        std::filesystem::remove_all(path);
    }
    std::filesystem::path path;
};

void BM_SessionWrites10000Records(benchmark::State& state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        state.PauseTiming();
        Root root;
        SyncCreateDbParams p{
            SYNC_FOURCC('a', 's', 'c', '3'), 0, SYNC_FOURCC('D', 'a', 't', '5'), 0, 2384, "Larkspur Messages"};
        SyncDbHandle db = 0;
        SyncCreateDB(&p, &db);
        platform::syncmgr::HandheldStore("default").setCard(1u << 20, 1u << 30, "Internal", "Bench");
        SyncCloseDB(db);
        state.ResumeTiming();

        SyncConduitHandle conduit = 0;
        SyncRegisterConduit(&conduit);
        SyncOpenDB("Larkspur Messages", 0, &db, 0xE0);
        for (int i = 0; i < kRecords; ++i) {
            SyncRecord r{};
            r.db = db;
            r.category = i % 8;
            r.buffer = data.data();
            r.dataSize = static_cast<uint32_t>(data.size());
            if (SyncWriteRecord(&r) != SYNC_OK) {
                state.SkipWithError("write failed");
                break;
            }
        }
        SyncCloseDB(db);
        SyncUnregisterConduit(conduit);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SessionWrites10000Records)->Arg(200)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_SessionReads10000RecordsByIndex(benchmark::State& state) {
    Root root;
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)), 0x5A);
    SyncCreateDbParams p{
        SYNC_FOURCC('a', 's', 'c', '3'), 0, SYNC_FOURCC('D', 'a', 't', '5'), 0, 2384, "Larkspur Messages"};
    SyncDbHandle db = 0;
    SyncCreateDB(&p, &db);
    {
        platform::syncmgr::HandheldStore store("default");
        store.setCard(1u << 20, 1u << 30, "Internal", "Bench");
        platform::syncmgr::DatabaseEntry entry;
        store.findDatabase("Larkspur Messages", 0, &entry);
        store.groupWrites(true);
        for (int i = 0; i < kRecords; ++i) {
            uint32_t id = 0;
            store.writeRecord(entry.id, &id, 0, i % 8, data.data(), data.size());
        }
        store.groupWrites(false);
    }
    std::vector<uint8_t> buffer(63000);
    for (auto _ : state) {
        for (uint32_t i = 0;; ++i) {
            SyncRecord r{};
            r.db = db;
            r.index = i;
            r.buffer = buffer.data();
            r.bufferSize = static_cast<uint32_t>(buffer.size());
            if (SyncReadRecordByIndex(&r) != SYNC_OK) {
                if (i != kRecords) state.SkipWithError("a record could not be read");
                break;
            }
            benchmark::DoNotOptimize(r.dataSize);
        }
    }
    SyncCloseDB(db);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SessionReads10000RecordsByIndex)->Arg(200)->Arg(8000)->Unit(benchmark::kMillisecond);

void BM_BareSqliteOneTransaction(benchmark::State& state) {
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        state.PauseTiming();
        Root root;
        sqlite3* db = nullptr;
        sqlite3_open((root.path / "bare.db").c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE r(db INTEGER, uid INTEGER, data BLOB)", nullptr,
                     nullptr, nullptr);
        state.ResumeTiming();

        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO r VALUES(1, ?, ?)", -1, &insert, nullptr);
        for (int i = 0; i < kRecords; ++i) {
            sqlite3_bind_int(insert, 1, i + 1);
            sqlite3_bind_blob(insert, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BareSqliteOneTransaction)->Arg(200)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
