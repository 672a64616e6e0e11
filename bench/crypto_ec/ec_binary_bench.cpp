// GF(2^163) arithmetic and sect163k1 scalar multiplication, against OpenSSL
// in the same run; prints each pair's ratio at the end.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/field/binary_field_modules.h"
#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_record.h"
#include "crypto/kestrel.h"

namespace {

using tess::crypto::mp::asInt;

const int kPoly163[] = {163, 7, 6, 3, 0, -1};

ksFieldElement randomElement(std::mt19937& rng) {
    ksFieldElement e{};
    for (int i = 0; i < 6; ++i) e.words[i] = uint32_t(rng());
    e.words[5] &= 7;
    return e;
}

BIGNUM* toBn(const ksFieldElement& e) {
    return BN_lebin2bn(reinterpret_cast<const unsigned char*>(e.words), 24, nullptr);
}

enum class Op { Multiply, Square, Invert, HalfTrace };

void oursField(benchmark::State& state, Op op, bool portable) {
    const ksFieldMethods* f = tess::crypto::binaryModuleTable(tess::crypto::BinaryModule::F163, portable);
    std::mt19937 rng(1);
    ksFieldElement a = randomElement(rng), b = randomElement(rng), out{};
    if (op == Op::HalfTrace && f->solveQuadratic(nullptr, &a, &out) == 0) a.words[0] ^= 1;  // trace 0
    for (auto _ : state) {
        switch (op) {
        case Op::Multiply: f->multiply(nullptr, &a, &b, &a); break;
        case Op::Square: f->square(nullptr, &a, &a); break;
        case Op::Invert: f->invert(nullptr, &a, &a); break;
        case Op::HalfTrace: f->solveQuadratic(nullptr, &a, &out); break;
        }
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(out);
    }
}

void opensslField(benchmark::State& state, Op op) {
    std::mt19937 rng(1);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM *a = toBn(randomElement(rng)), *b = toBn(randomElement(rng)), *r = BN_new(), *p = BN_new();
    BN_GF2m_arr2poly(kPoly163, p);
    if (op == Op::HalfTrace && !BN_GF2m_mod_solve_quad_arr(r, a, kPoly163, ctx)) BN_GF2m_add(a, a, BN_value_one());
    for (auto _ : state) {
        switch (op) {
        case Op::Multiply: BN_GF2m_mod_mul_arr(a, a, b, kPoly163, ctx); break;
        case Op::Square: BN_GF2m_mod_sqr_arr(a, a, kPoly163, ctx); break;
        case Op::Invert: BN_GF2m_mod_inv(a, a, p, ctx); break;
        case Op::HalfTrace: BN_GF2m_mod_solve_quad_arr(r, a, kPoly163, ctx); break;
        }
        benchmark::DoNotOptimize(a);
    }
    BN_free(a), BN_free(b), BN_free(r), BN_free(p);
    BN_CTX_free(ctx);
}

// A sect163k1 context with its work area, and random points and scalars.
struct Curve {
    std::vector<uint64_t> gdStorage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heapStorage = std::vector<uint64_t>(24528 / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
    EC_GROUP* group = EC_GROUP_new_by_curve_name(NID_sect163k1);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* u = BN_new();
    BIGNUM* v = BN_new();
    EC_POINT* p = EC_POINT_new(group);
    EC_POINT* q = EC_POINT_new(group);
    ksPoint ourP{}, ourQ{};
    ksIntReduced ourU{}, ourV{};

    Curve() {
        ksOptionsList o{};
        o.pointCompression = 1;
        o.ecesCompression = 1;
        o.rngType = 1;
        o.seedLength = 32;
        std::memset(o.seed, 0x5C, 32);
        ks_initialize(&tess::crypto::kSect163k1Record, &o, KS_GLOBAL_DATA_SIZE, 24528, gd,
                      reinterpret_cast<ksHeap*>(heapStorage.data()));
        const BIGNUM* n = EC_GROUP_get0_order(group);
        BIGNUM* t = BN_new();
        for (auto [pt, our] : {std::pair{p, &ourP}, std::pair{q, &ourQ}}) {
            BN_rand_range(t, n);
            EC_POINT_mul(group, pt, t, nullptr, nullptr, ctx);
            BIGNUM *x = BN_new(), *y = BN_new();
            EC_POINT_get_affine_coordinates(group, pt, x, y, ctx);
            BN_bn2lebinpad(x, reinterpret_cast<unsigned char*>(our->x.words), 24);
            BN_bn2lebinpad(y, reinterpret_cast<unsigned char*>(our->y.words), 24);
            BN_free(x), BN_free(y);
        }
        BN_free(t);
        for (auto [s, our] : {std::pair{u, &ourU}, std::pair{v, &ourV}}) {
            BN_rand_range(s, n);
            unsigned char le[36] = {};
            BN_bn2lebinpad(s, le, 36);
            our->count = 0;
            for (int i = 0; i < 18; ++i) {
                our->digits[i] = uint16_t(le[2 * i] | (le[2 * i + 1] << 8));
                if (our->digits[i]) our->count = i + 1;
            }
        }
    }
    ~Curve() {
        ks_end(gd);
        EC_POINT_free(p), EC_POINT_free(q);
        BN_free(u), BN_free(v);
        BN_CTX_free(ctx);
        EC_GROUP_free(group);
    }
};

Curve& curve() {
    static Curve c;
    return c;
}

void Ours_MultiplyX(benchmark::State& state) {
    Curve& c = curve();
    ksFieldElement x{};
    for (auto _ : state) benchmark::DoNotOptimize(tess::crypto::ecMultiplyX(c.gd, asInt(&c.ourU), &c.ourP, &x));
}

void Ours_Multiply(benchmark::State& state) {
    Curve& c = curve();
    ksPoint r{};
    for (auto _ : state) benchmark::DoNotOptimize(a1993(c.gd, asInt(&c.ourU), &c.ourP, &r));
}

void Openssl_Multiply(benchmark::State& state) {
    Curve& c = curve();
    EC_POINT* r = EC_POINT_new(c.group);
    for (auto _ : state) benchmark::DoNotOptimize(EC_POINT_mul(c.group, r, nullptr, c.p, c.u, c.ctx));
    EC_POINT_free(r);
}

// OpenSSL's ECDH: derive from a private key and a peer's public key.
void Openssl_Ecdh(benchmark::State& state) {
    EVP_PKEY* mine = EVP_EC_gen("sect163k1");
    EVP_PKEY* peer = EVP_EC_gen("sect163k1");
    EVP_PKEY_CTX* dctx = EVP_PKEY_CTX_new(mine, nullptr);
    EVP_PKEY_derive_init(dctx);
    EVP_PKEY_derive_set_peer(dctx, peer);
    unsigned char secret[32];
    for (auto _ : state) {
        size_t len = sizeof secret;
        benchmark::DoNotOptimize(EVP_PKEY_derive(dctx, secret, &len));
    }
    EVP_PKEY_CTX_free(dctx);
    EVP_PKEY_free(mine), EVP_PKEY_free(peer);
}

void Ours_BaseMultiply(benchmark::State& state) {
    Curve& c = curve();
    ksPoint r{};
    for (auto _ : state) {
        ksIntReduced k = c.ourU;
        benchmark::DoNotOptimize(a1996(c.gd, 1, &k, &r));
    }
}

void Ours_BaseMultiplyFreshPair(benchmark::State& state) {
    Curve& c = curve();
    ksPoint r{};
    for (auto _ : state) {
        ksIntReduced k = c.ourU;
        benchmark::DoNotOptimize(a1996(c.gd, 0, &k, &r));
    }
}

void Openssl_BaseMultiply(benchmark::State& state) {
    Curve& c = curve();
    EC_POINT* r = EC_POINT_new(c.group);
    for (auto _ : state) benchmark::DoNotOptimize(EC_POINT_mul(c.group, r, c.u, nullptr, nullptr, c.ctx));
    EC_POINT_free(r);
}

void Ours_TwinMultiplyX(benchmark::State& state) {
    Curve& c = curve();
    ksFieldElement x{};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            tess::crypto::ecTwinMultiplyX(c.gd, asInt(&c.ourU), &c.ourP, asInt(&c.ourV), &c.ourQ, &x));
}

void Openssl_TwinMultiply(benchmark::State& state) {
    Curve& c = curve();
    EC_POINT* r = EC_POINT_new(c.group);
    EC_POINT* s = EC_POINT_new(c.group);
    for (auto _ : state) {
        EC_POINT_mul(c.group, r, nullptr, c.p, c.u, c.ctx);
        EC_POINT_mul(c.group, s, nullptr, c.q, c.v, c.ctx);
        benchmark::DoNotOptimize(EC_POINT_add(c.group, r, r, s, c.ctx));
    }
    EC_POINT_free(r), EC_POINT_free(s);
}

// Prints each pair's speed-up over OpenSSL (time of OpenSSL / time of ours),
// from the median when the run has repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Iteration || median) times_[r.run_name.str()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios(const std::vector<std::pair<std::string, std::string>>& pairs) const {
        std::printf("\nSpeed of Kestrel relative to OpenSSL (OpenSSL = 1.00):\n");
        for (const auto& [ours, theirs] : pairs) {
            const auto o = times_.find("Kestrel/" + ours), t = times_.find("OpenSSL/" + theirs);
            if (o == times_.end() || t == times_.end() || o->second <= 0)
                std::printf("%-28s %8s\n", ours.c_str(), "-");
            else
                std::printf("%-28s %8.2f  (vs %s)\n", ours.c_str(), t->second / o->second, theirs.c_str());
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    std::printf("GF(2^m) multiplication: %s\n",
                tess::crypto::cpuHasCarrylessMultiply() ? "carry-less multiply instruction" : "portable");
    using benchmark::RegisterBenchmark;
    const std::pair<const char*, Op> ops[] = {{"Gf163Multiply", Op::Multiply},
                                              {"Gf163Square", Op::Square},
                                              {"Gf163Invert", Op::Invert},
                                              {"Gf163HalfTrace", Op::HalfTrace}};
    for (const auto& [name, op] : ops) {
        const std::string n = name;
        RegisterBenchmark(("Kestrel/" + n).c_str(), [op = op](benchmark::State& s) { oursField(s, op, false); });
        RegisterBenchmark(("Kestrel/" + n + "-portable").c_str(),
                          [op = op](benchmark::State& s) { oursField(s, op, true); });
        RegisterBenchmark(("OpenSSL/" + n).c_str(), [op = op](benchmark::State& s) { opensslField(s, op); });
    }
    RegisterBenchmark("Kestrel/MultiplyX", Ours_MultiplyX);
    RegisterBenchmark("OpenSSL/ECDH", Openssl_Ecdh);
    RegisterBenchmark("Kestrel/Multiply", Ours_Multiply);
    RegisterBenchmark("OpenSSL/Multiply", Openssl_Multiply);
    RegisterBenchmark("Kestrel/BaseMultiply", Ours_BaseMultiply);
    RegisterBenchmark("Kestrel/BaseMultiplyFreshPair", Ours_BaseMultiplyFreshPair);
    RegisterBenchmark("OpenSSL/BaseMultiply", Openssl_BaseMultiply);
    RegisterBenchmark("Kestrel/TwinMultiplyX", Ours_TwinMultiplyX);
    RegisterBenchmark("OpenSSL/TwinMultiply", Openssl_TwinMultiply);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"Gf163Multiply", "Gf163Multiply"},
                          {"Gf163Multiply-portable", "Gf163Multiply"},
                          {"Gf163Square", "Gf163Square"},
                          {"Gf163Invert", "Gf163Invert"},
                          {"Gf163HalfTrace", "Gf163HalfTrace"},
                          {"MultiplyX", "ECDH"},
                          {"Multiply", "Multiply"},
                          {"BaseMultiply", "BaseMultiply"},
                          {"BaseMultiplyFreshPair", "BaseMultiply"},
                          {"TwinMultiplyX", "TwinMultiply"}});
    benchmark::Shutdown();
    return 0;
}
