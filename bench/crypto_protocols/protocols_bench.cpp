// ECDSA sign and verify and the ECDH raw secret against OpenSSL's EC_KEY
// calls in the same run; prints OpenSSL's time over ours for each (above 1.00:
// faster than OpenSSL).
#include <benchmark/benchmark.h>
#include <openssl/ecdh.h>
#include <openssl/ecdsa.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crypto/curve/curve_extensions.h"
#include "crypto/field/prime_field.h"
#include "crypto/kestrel_protocols.h"
#include "tests/crypto/curve/curve_records.h"

namespace {

using namespace tess::crypto;
using namespace tess::crypto::test;

// The field module and engine a caller names for each curve (the shipped
// record for sect163k1).
struct BenchCurve {
    const char* name;
    int nid;
    uint32_t install;
    uint32_t engine;
};

const BenchCurve kCurves[] = {
    {"sect163k1", NID_sect163k1, 0, 0},
    {"sect233k1", NID_sect233k1, 3103, 1924},
    {"P-192", NID_X9_62_prime192v1, kPrimeP192Id, kPrimeMinus3EngineId},
    {"P-256", NID_X9_62_prime256v1, kPrimeP256Id, kPrimeMinus3EngineId},
};

struct EcKeyFree {
    void operator()(EC_KEY* k) const { EC_KEY_free(k); }
};

// Our context (with its work area) and OpenSSL's key on one curve.
struct Setup {
    std::vector<uint64_t> storage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heap;
    ksCurveParams record{};
    ksPrivateKey priv{};
    ksPublicKey pub{};
    ksPrivateKey peerPriv{};
    ksPublicKey peerPub{};
    std::unique_ptr<EC_KEY, EcKeyFree> key;
    std::unique_ptr<EC_KEY, EcKeyFree> peer;
    uint8_t digest[20];
    bool ok = false;

    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(storage.data()); }

    explicit Setup(const BenchCurve& c) {
        GroupPtr group(EC_GROUP_new_by_curve_name(c.nid));
        record = kSect163k1Record;
        if (c.nid != NID_sect163k1) {
            record = recordFor(group.get(), oidOf(c.nid));
            if (!setEntries(&record, c.install, c.engine)) return;
        }
        uint32_t heapSize = 0;
        if (ks_heapSize(&record, &heapSize) != 0) return;
        heap.resize(heapSize / 8 + 1);
        const ksOptionsList options = seededOptions(3);
        if (ks_initialize(&record, &options, KS_GLOBAL_DATA_SIZE, heapSize, gd(),
                          reinterpret_cast<ksHeap*>(heap.data())) != 0)
            return;
        if (ks_genKeyPair(gd(), &priv, &pub) != 0 || ks_genKeyPair(gd(), &peerPriv, &peerPub) != 0) return;
        key.reset(EC_KEY_new_by_curve_name(c.nid));
        peer.reset(EC_KEY_new_by_curve_name(c.nid));
        EC_KEY_generate_key(key.get());
        EC_KEY_generate_key(peer.get());
        for (int i = 0; i < 20; ++i) digest[i] = uint8_t(i * 13 + 5);
        ok = true;
    }
    ~Setup() {
        if (ok) ks_end(gd());
    }
};

void kestrelSign(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    if (!u.ok) return s.SkipWithError("setup");
    ksSignature sig{};
    for (auto _ : s) benchmark::DoNotOptimize(ks_ecdsaNoHashSign(u.gd(), &u.priv, 20, u.digest, &sig));
}

void kestrelVerify(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    ksSignature sig{};
    if (!u.ok || ks_ecdsaNoHashSign(u.gd(), &u.priv, 20, u.digest, &sig) != 0) return s.SkipWithError("setup");
    uint32_t valid = 0;
    for (auto _ : s) benchmark::DoNotOptimize(ks_ecdsaNoHashVerify(u.gd(), &u.pub, &sig, 20, u.digest, &valid));
    if (valid != 1) s.SkipWithError("did not verify");
}

void kestrelEcdh(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    if (!u.ok) return s.SkipWithError("setup");
    uint8_t z[40];
    for (auto _ : s) {
        uint32_t length = sizeof z;
        benchmark::DoNotOptimize(ks_dhRawSharedSecret(u.gd(), &u.peerPub, &u.priv, &length, z));
    }
}

void opensslSign(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    if (!u.ok) return s.SkipWithError("setup");
    for (auto _ : s) ECDSA_SIG_free(ECDSA_do_sign(u.digest, 20, u.key.get()));
}

void opensslVerify(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    if (!u.ok) return s.SkipWithError("setup");
    ECDSA_SIG* sig = ECDSA_do_sign(u.digest, 20, u.key.get());
    int verdict = 0;
    for (auto _ : s) benchmark::DoNotOptimize(verdict = ECDSA_do_verify(u.digest, 20, sig, u.key.get()));
    ECDSA_SIG_free(sig);
    if (verdict != 1) s.SkipWithError("did not verify");
}

void opensslEcdh(benchmark::State& s, const BenchCurve& c) {
    Setup u(c);
    if (!u.ok) return s.SkipWithError("setup");
    uint8_t z[40];
    for (auto _ : s)
        benchmark::DoNotOptimize(
            ECDH_compute_key(z, sizeof z, EC_KEY_get0_public_key(u.peer.get()), u.key.get(), nullptr));
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
        std::printf("%-12s %8s %8s %8s\n", "", "sign", "verify", "ECDH");
        for (const BenchCurve& c : kCurves) {
            std::printf("%-12s", c.name);
            for (const char* op : {"sign", "verify", "ecdh"}) {
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
    using Fn = void (*)(benchmark::State&, const BenchCurve&);
    const std::pair<const char*, Fn> ours[] = {{"sign", kestrelSign}, {"verify", kestrelVerify}, {"ecdh", kestrelEcdh}};
    const std::pair<const char*, Fn> theirs[] = {
        {"sign", opensslSign}, {"verify", opensslVerify}, {"ecdh", opensslEcdh}};
    for (const BenchCurve& c : kCurves) {
        for (int i = 0; i < 3; ++i) {
            const Fn k = ours[i].second;
            const Fn o = theirs[i].second;
            benchmark::RegisterBenchmark((std::string("Kestrel/") + ours[i].first + "/" + c.name).c_str(),
                                         [&c, k](benchmark::State& s) { k(s, c); });
            benchmark::RegisterBenchmark((std::string("OpenSSL/") + theirs[i].first + "/" + c.name).c_str(),
                                         [&c, o](benchmark::State& s) { o(s, c); });
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
