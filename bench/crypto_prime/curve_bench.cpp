// k P and u G + v Q on the prime curves and sect233k1 against OpenSSL's EC
// in the same run; prints OpenSSL's time over ours for each pair at the end
// (above 1.00: faster than OpenSSL).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/field/prime_field.h"
#include "tests/crypto/curve/curve_records.h"

namespace {

using namespace tess::crypto;
using namespace tess::crypto::test;

struct BenchCurve {
    const char* name;
    int nid;
    uint32_t install;
    uint32_t engine;
};

const BenchCurve kCurves[] = {
    {"secp160r1", NID_secp160r1, kPrime160Id, kPrimeMinus3EngineId},
    {"P-192", NID_X9_62_prime192v1, kPrimeP192Id, kPrimeMinus3EngineId},
    {"P-224", NID_secp224r1, kPrimeP224Id, kPrimeMinus3EngineId},
    {"P-256", NID_X9_62_prime256v1, kPrimeP256Id, kPrimeMinus3EngineId},
    {"secp256k1", NID_secp256k1, kPrimeGenericId, kEndomorphismEngineId},
    {"sect233k1", NID_sect233k1, 3103, 1924},
};

template <typename Record>
void toRecord(const BIGNUM* b, Record* out) {
    const int capacity = int(sizeof(out->digits) / 2);
    std::vector<unsigned char> le(size_t(2 * capacity));
    BN_bn2lebinpad(b, le.data(), int(le.size()));
    out->count = 0;
    for (int i = 0; i < capacity; ++i) {
        out->digits[i] = uint16_t(le[size_t(2 * i)] | (le[size_t(2 * i + 1)] << 8));
        if (out->digits[i]) out->count = uint32_t(i + 1);
    }
}

// One curve on both sides: our context with its work area, OpenSSL's group
// with its generator precomputation, two scalars and a second point.
struct Setup {
    GroupPtr group;
    BnCtx ctx{BN_CTX_new()};
    std::vector<uint64_t> storage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heap;
    Bn u = newBn(), v = newBn(), n = newBn();
    PointPtr qe;
    ksPoint q{};
    ksIntReduced ui{}, vi{};
    bool ok = false;

    explicit Setup(const BenchCurve& c) : group(EC_GROUP_new_by_curve_name(c.nid)) {
        ksCurveParams record = recordFor(group.get(), oidOf(c.nid));
        if (!setEntries(&record, c.install, c.engine)) return;
        uint32_t heapSize = 0;
        if (ks_heapSize(&record, &heapSize) != 0) return;
        heap.resize(heapSize / 8 + 1);
        ksOptionsList options{};
        options.pointCompression = 1;
        options.ecesCompression = 1;
        options.rngType = 1;
        options.seedLength = 32;
        for (int i = 0; i < 32; ++i) options.seed[i] = uint8_t(i * 7 + 1);
        if (ks_initialize(&record, &options, KS_GLOBAL_DATA_SIZE, heapSize, gd(),
                          reinterpret_cast<ksHeap*>(heap.data())) != 0)
            return;
        EC_GROUP_get_order(group.get(), n.get(), ctx.get());
        BN_rand_range(u.get(), n.get());
        BN_rand_range(v.get(), n.get());
        Bn s = newBn(), x = newBn(), y = newBn();
        BN_rand_range(s.get(), n.get());
        qe.reset(EC_POINT_new(group.get()));
        EC_POINT_mul(group.get(), qe.get(), s.get(), nullptr, nullptr, ctx.get());
        EC_POINT_get_affine_coordinates(group.get(), qe.get(), x.get(), y.get(), ctx.get());
        q.x = fromBn(x.get());
        q.y = fromBn(y.get());
        toRecord(u.get(), &ui);
        toRecord(v.get(), &vi);
        ok = true;
    }
    ~Setup() {
        if (ok) ks_end(gd());
    }
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(storage.data()); }
};

void kestrelMultiply(benchmark::State& state, const BenchCurve& c) {
    Setup s(c);
    if (!s.ok) {
        state.SkipWithError("curve did not initialise");
        return;
    }
    const ksCurveEngine* e = curveEngineOf(s.gd());
    ksPoint r{};
    for (auto _ : state) {
        e->multiply(s.gd(), mp::asInt(&s.ui), &s.q, &r);
        benchmark::DoNotOptimize(r);
    }
}

void opensslMultiply(benchmark::State& state, const BenchCurve& c) {
    Setup s(c);
    PointPtr r(EC_POINT_new(s.group.get()));
    for (auto _ : state) {
        EC_POINT_mul(s.group.get(), r.get(), nullptr, s.qe.get(), s.u.get(), s.ctx.get());
        benchmark::DoNotOptimize(r.get());
    }
}

void kestrelTwin(benchmark::State& state, const BenchCurve& c) {
    Setup s(c);
    if (!s.ok) {
        state.SkipWithError("curve did not initialise");
        return;
    }
    const ksCurveEngine* e = curveEngineOf(s.gd());
    const ksPoint g = layoutOf(s.gd())->g;
    ksFieldElement x{};
    for (auto _ : state) {
        e->twinMultiplyX(s.gd(), mp::asInt(&s.ui), &g, mp::asInt(&s.vi), &s.q, &x);
        benchmark::DoNotOptimize(x);
    }
}

void opensslTwin(benchmark::State& state, const BenchCurve& c) {
    Setup s(c);
    PointPtr r(EC_POINT_new(s.group.get()));
    Bn x = newBn();
    for (auto _ : state) {
        EC_POINT_mul(s.group.get(), r.get(), s.u.get(), s.qe.get(), s.v.get(), s.ctx.get());
        EC_POINT_get_affine_coordinates(s.group.get(), r.get(), x.get(), nullptr, s.ctx.get());
        benchmark::DoNotOptimize(x.get());
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Iteration || median) times_[r.run_name.str()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        std::printf("\nOpenSSL time / Kestrel time (above 1.00: Kestrel faster):\n");
        std::printf("%-12s %8s %8s\n", "", "k P", "uG + vQ");
        for (const BenchCurve& c : kCurves) {
            std::printf("%-12s", c.name);
            for (const char* op : {"multiply", "twin"}) {
                const auto k = times_.find(std::string("Kestrel/") + op + "/" + c.name);
                const auto o = times_.find(std::string("OpenSSL/") + op + "/" + c.name);
                if (k == times_.end() || o == times_.end() || k->second <= 0)
                    std::printf(" %8s", "-");
                else
                    std::printf(" %8.2f", o->second / k->second);
            }
            std::printf("\n");
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const BenchCurve& c : kCurves) {
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("Kestrel/multiply/" + name).c_str(),
                                     [&c](benchmark::State& s) { kestrelMultiply(s, c); });
        benchmark::RegisterBenchmark(("OpenSSL/multiply/" + name).c_str(),
                                     [&c](benchmark::State& s) { opensslMultiply(s, c); });
        benchmark::RegisterBenchmark(("Kestrel/twin/" + name).c_str(),
                                     [&c](benchmark::State& s) { kestrelTwin(s, c); });
        benchmark::RegisterBenchmark(("OpenSSL/twin/" + name).c_str(),
                                     [&c](benchmark::State& s) { opensslTwin(s, c); });
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
