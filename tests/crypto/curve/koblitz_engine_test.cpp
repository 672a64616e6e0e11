// The Koblitz engine on sect163k1 through the shipped record, against
// OpenSSL's elliptic-curve arithmetic on the same curve.
#include <openssl/rand.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "crypto/curve/koblitz_engine.h"
#include "tests/crypto/curve/sect163k1_fixture.h"

namespace tess::crypto::test {
namespace {

// Scalars that matter: 0, 1, small, n - 1, n, n + 1, 2n - 1, 2n, far above n.
std::vector<Bn> edgeScalars(const BIGNUM* n) {
    std::vector<Bn> v;
    for (unsigned long w : {0ul, 1ul, 2ul, 3ul, 7ul, 8ul, 9ul, 15ul, 16ul})
        v.push_back(newBn()), BN_set_word(v.back().get(), w);
    auto plus = [&](long d, int times) {
        Bn b(BN_dup(n));
        if (times == 2) BN_lshift1(b.get(), b.get());
        if (d >= 0)
            BN_add_word(b.get(), d);
        else
            BN_sub_word(b.get(), -d);
        v.push_back(std::move(b));
    };
    plus(-1, 1);
    plus(0, 1);
    plus(1, 1);
    plus(-1, 2);
    plus(0, 2);
    Bn big = newBn();
    BN_set_bit(big.get(), 287);  // the longest scalar a reduced record holds
    BN_add_word(big.get(), 12345);
    v.push_back(std::move(big));
    return v;
}

std::vector<Bn> randomScalars(int count, int bits) {
    std::vector<Bn> v;
    for (int i = 0; i < count; ++i) {
        v.push_back(newBn());
        BN_rand(v.back().get(), bits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
    }
    return v;
}

class KoblitzEngine : public Sect163k1 {
protected:
    // A random point of the order-n subgroup, and its OpenSSL twin.
    ksPoint randomPoint() {
        Bn r = newBn();
        BN_rand_range(r.get(), order.get());
        return fromEc(ecMul(r.get()).get());
    }
};

TEST_F(KoblitzEngine, MultiplyMatchesOpensslForEdgeAndRandomScalars) {
    const ksPoint p = randomPoint();
    const EcPoint pe = toEc(p);
    auto scalars = edgeScalars(order.get());
    for (auto& s : randomScalars(20, 163)) scalars.push_back(std::move(s));
    for (const Bn& k : scalars) {
        ksIntReduced kr;
        toInt(k.get(), &kr);
        const EcPoint want = ecMul(k.get(), pe.get());
        ksPoint r{};
        ASSERT_EQ(a1993(gd, asInt(&kr), &p, &r), 0u);
        EXPECT_TRUE(same(r, want.get())) << "k = " << BN_bn2hex(k.get());

        ksFieldElement x{};
        ASSERT_EQ(ecMultiplyX(gd, asInt(&kr), &p, &x), 0u);
        EXPECT_EQ(hexOf(x), hexOf(fromEc(want.get()).x)) << "x only, k = " << BN_bn2hex(k.get());

        // The base point goes through its table; plain flag 1 keeps k.
        if (BN_num_bits(k.get()) <= 16 * 18) {
            ksIntReduced kb = kr;
            ksPoint rb{};
            ASSERT_EQ(a1996(gd, 1, &kb, &rb), 0u);
            EXPECT_TRUE(same(rb, ecMul(k.get()).get())) << "base, k = " << BN_bn2hex(k.get());
            EXPECT_EQ(std::memcmp(&kb, &kr, sizeof kr), 0);
        }
    }
}

TEST_F(KoblitzEngine, TwinMultiplyMatchesOpenssl) {
    for (int i = 0; i < 8; ++i) {
        const ksPoint p = randomPoint(), q = randomPoint();
        auto uv = randomScalars(2, 163);
        if (i == 0) BN_zero(uv[0].get());
        ksIntReduced u, v;
        toInt(uv[0].get(), &u);
        toInt(uv[1].get(), &v);
        EcPoint want(EC_POINT_new(group.get()));
        EC_POINT_add(group.get(), want.get(), ecMul(uv[0].get(), toEc(p).get()).get(),
                     ecMul(uv[1].get(), toEc(q).get()).get(), ctx.get());
        ksFieldElement x{};
        ASSERT_EQ(ecTwinMultiplyX(gd, asInt(&u), &p, asInt(&v), &q, &x), 0u);
        EXPECT_EQ(hexOf(x), hexOf(fromEc(want.get()).x));
    }
}

// With the context's base point the first half goes through its comb and the
// second through a tau-adic expansion; equal and opposite halves meet in the
// doubling and infinity cases of the final addition.
TEST_F(KoblitzEngine, TwinMultiplyWithTheBasePointMatchesOpenssl) {
    const ksPoint& g = layout()->g;
    ASSERT_NE(g.table, nullptr);
    for (int i = 0; i < 8; ++i) {
        const ksPoint q = randomPoint();
        auto uv = randomScalars(2, 163);
        if (i == 0) BN_zero(uv[0].get());
        if (i == 1) BN_zero(uv[1].get());
        ksIntReduced u, v;
        toInt(uv[0].get(), &u);
        toInt(uv[1].get(), &v);
        EcPoint want(EC_POINT_new(group.get()));
        EC_POINT_add(group.get(), want.get(), ecMul(uv[0].get()).get(), ecMul(uv[1].get(), toEc(q).get()).get(),
                     ctx.get());
        ksFieldElement x{};
        ASSERT_EQ(ecTwinMultiplyX(gd, asInt(&u), &g, asInt(&v), &q, &x), 0u);
        EXPECT_EQ(hexOf(x), hexOf(fromEc(want.get()).x)) << "i = " << i;
    }
    ksPoint gq = g;
    gq.table = nullptr;
    Bn k = std::move(randomScalars(1, 160)[0]), twice = newBn(), minus = newBn();
    BN_lshift1(twice.get(), k.get());
    BN_sub(minus.get(), order.get(), k.get());
    ksIntReduced kr, mr;
    toInt(k.get(), &kr);
    toInt(minus.get(), &mr);
    ksFieldElement x{};
    ASSERT_EQ(ecTwinMultiplyX(gd, asInt(&kr), &g, asInt(&kr), &gq, &x), 0u);
    EXPECT_EQ(hexOf(x), hexOf(fromEc(ecMul(twice.get()).get()).x));
    ASSERT_EQ(ecTwinMultiplyX(gd, asInt(&kr), &g, asInt(&mr), &gq, &x), 0u);
    EXPECT_EQ(hexOf(x), hexOf(ksFieldElement{}));
}

// Points outside the order-n subgroup (cofactor 2): the x-only product acts
// modulo the curve order, not modulo n.
TEST_F(KoblitzEngine, MultiplyXOnPointsOutsideTheSubgroup) {
    // P + T with T = (0, 1), the point of order 2.
    const ksPoint p = randomPoint();
    EcPoint t(EC_POINT_new(group.get())), pt(EC_POINT_new(group.get()));
    Bn zero = newBn(), one = newBn();
    BN_one(one.get());
    ASSERT_EQ(EC_POINT_set_affine_coordinates(group.get(), t.get(), zero.get(), one.get(), ctx.get()), 1);
    EC_POINT_add(group.get(), pt.get(), toEc(p).get(), t.get(), ctx.get());
    const ksPoint q = fromEc(pt.get());
    for (const Bn& k : randomScalars(6, 170)) {
        ksIntReduced kr;
        toInt(k.get(), &kr);
        ksFieldElement x{};
        ASSERT_EQ(ecMultiplyX(gd, asInt(&kr), &q, &x), 0u);
        EXPECT_EQ(hexOf(x), hexOf(fromEc(ecMul(k.get(), pt.get()).get()).x));
    }
}

TEST_F(KoblitzEngine, RefusesScalarsLongerThanTheRecodingRecords) {
    ksIntGeneral k{};
    k.count = 19;
    k.digits[18] = 1;
    const ksPoint p = randomPoint();
    ksPoint r{};
    ksFieldElement x{};
    EXPECT_EQ(a1993(gd, asInt(&k), &p, &r), 1u);
    EXPECT_EQ(ecMultiplyX(gd, asInt(&k), &p, &x), 1u);
    EXPECT_EQ(ecTwinMultiplyX(gd, asInt(&k), &p, asInt(&k), &p, &x), 1u);
    // A base scalar record whose count claims more digits than it holds.
    ksIntReduced base{};
    base.count = 19;
    EXPECT_EQ(a1996(gd, 0, &base, &r), 1u);
    EXPECT_EQ(a1996(gd, 1, &base, &r), 1u);
}

TEST_F(KoblitzEngine, InfinityConventions) {
    ksPoint inf{};
    ksIntReduced k;
    Bn five = newBn();
    BN_set_word(five.get(), 5);
    toInt(five.get(), &k);
    ksFieldElement x;
    std::memset(&x, 0xAB, sizeof x);
    EXPECT_EQ(ecMultiplyX(gd, asInt(&k), &inf, &x), 0u);
    EXPECT_EQ(hexOf(x), "0") << "x of k times infinity";
    uint32_t flag = 7;
    EXPECT_EQ(ecIsInfinity(gd, &inf, &flag), 0u);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(ecIsInfinity(gd, &layout()->g, &flag), 0u);
    EXPECT_EQ(flag, 1u);

    // P + (-P) clears both coordinates; infinity + Q is Q with its table.
    const ksPoint p = randomPoint();
    ksPoint minus = p, r{};
    fieldAdd(gd, &p.x, &p.y, &minus.y);
    ASSERT_EQ(a1939(gd, &p, &minus, &r), 0u);
    EXPECT_EQ(hexOf(r.x), "0");
    EXPECT_EQ(hexOf(r.y), "0");
    ASSERT_EQ(a1939(gd, &inf, &layout()->g, &r), 0u);
    EXPECT_EQ(r.table, layout()->g.table);
    // P + P is the doubling.
    ksPoint twice{};
    ASSERT_EQ(a1939(gd, &p, &p, &r), 0u);
    Bn two = newBn();
    BN_set_word(two.get(), 2);
    EXPECT_TRUE(same(r, ecMul(two.get(), toEc(p).get()).get()));
    // Doubling a point with x = 0 sets x alone.
    ksPoint t{};
    t.y.words[0] = 1;
    twice.y.words[0] = 0x55;
    ASSERT_EQ(kKoblitzEngine.pointDouble(gd, &t, &twice), 0u);
    EXPECT_EQ(hexOf(twice.x), "0");
    EXPECT_EQ(twice.y.words[0], 0x55u);
}

// With plain flag 0 the scalar is a seed: the engine returns k and R with
// R = k G, k below n, drawing one random byte per comb column (19 here).
TEST_F(KoblitzEngine, FreshPairReturnsItsScalar) {
    ksRngContext shadow;
    ASSERT_EQ(ks_rngInit(&shadow, 1, 32, options.seed), 0u);
    uint8_t skip[32];
    ASSERT_EQ(ks_rngFIPS186Session(&shadow, 32, skip), 0u);  // the blinding scalar

    // The blinding pair: s from those 32 bytes modulo n, S = s G.
    Bn s(BN_bin2bn(skip, 32, nullptr));
    BN_mod(s.get(), s.get(), order.get(), ctx.get());
    EXPECT_EQ(BN_cmp(fromInt(asInt(&layout()->blindScalar)).get(), s.get()), 0);
    EXPECT_TRUE(same(layout()->blindPoint, ecMul(s.get()).get()));

    for (const Bn& seed : randomScalars(10, 163)) {
        ksIntReduced k;
        toInt(seed.get(), &k);
        ksPoint r{};
        ASSERT_EQ(a1996(gd, 0, &k, &r), 0u);
        Bn got = fromInt(asInt(&k));
        EXPECT_LT(BN_cmp(got.get(), order.get()), 0);
        EXPECT_NE(BN_cmp(got.get(), seed.get()), 0);
        EXPECT_TRUE(same(r, ecMul(got.get()).get()));

        uint8_t columns[19];
        ASSERT_EQ(ks_rngFIPS186Session(&shadow, 19, columns), 0u);
    }
    // The context's generator is where the shadow is: 19 bytes per pair.
    uint8_t next[20], want[20];
    ASSERT_EQ(a3391(gd, 20, next), 0u);
    ASSERT_EQ(ks_rngFIPS186Session(&shadow, 20, want), 0u);
    EXPECT_EQ(std::memcmp(next, want, 20), 0);
}

std::string hexOfBytes(const uint8_t* p, size_t n) {
    static const char* const kDigits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

std::string bnHex(const BIGNUM* b) {
    char* h = BN_bn2hex(b);
    std::string s(h);
    OPENSSL_free(h);
    return s;
}

// The returned scalar, bit for bit, against a model of the recoding written
// with Python integers (tests/crypto/model), fed the same random bytes.
TEST_F(KoblitzEngine, FreshPairScalarMatchesTheModel) {
    const char* source = std::getenv("TESS_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    ksRngContext shadow;
    ASSERT_EQ(ks_rngInit(&shadow, 1, 32, options.seed), 0u);
    uint8_t skip[32];
    ASSERT_EQ(ks_rngFIPS186Session(&shadow, 32, skip), 0u);

    std::string requests;
    std::vector<std::string> got;
    auto seeds = randomScalars(12, 163);
    BN_set_word(seeds[0].get(), 1);
    BN_copy(seeds[1].get(), order.get());
    BN_sub_word(seeds[1].get(), 1);
    for (const Bn& seed : seeds) {
        ksIntReduced k;
        toInt(seed.get(), &k);
        ksPoint r{};
        ASSERT_EQ(a1996(gd, 0, &k, &r), 0u);
        uint8_t columns[19];
        ASSERT_EQ(ks_rngFIPS186Session(&shadow, 19, columns), 0u);
        requests += bnHex(seed.get()) + " " + hexOfBytes(columns, 19) + "\n";
        Bn out = fromInt(asInt(&k));
        BN_set_negative(out.get(), 0);
        char* h = BN_bn2hex(out.get());
        std::string hex(h);
        OPENSSL_free(h);
        for (char& c : hex) c = char(std::tolower(static_cast<unsigned char>(c)));
        hex.erase(0, std::min(hex.find_first_not_of('0'), hex.size() - 1));
        got.push_back(hex);
    }
    const std::string command = "printf '" + requests + "' | /usr/bin/python3 " + source +
                                "/tests/crypto/model/koblitz_fresh_pair_model.py 163 1 " + bnHex(order.get()) + " " +
                                bnHex(fromInt(asInt(&koblitzConstants(gd)->lambda)).get()) + " " +
                                bnHex(fromInt(asInt(&layout()->blindScalar)).get());
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> want;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        want.push_back(s);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(got, want);
}

TEST_F(KoblitzEngine, TauAdicRecodingRoundTrips) {
    const kob::KoblitzConstants& kc = *koblitzConstants(gd);
    kob::Zint c0 = kob::fromInt(asInt(&kc.c0.magnitude)), c1 = kob::fromInt(asInt(&kc.c1.magnitude));
    c0.negative = kc.c0.sign;
    c1.negative = kc.c1.sign;
    auto scalars = randomScalars(30, 163);
    for (auto& e : edgeScalars(order.get()))
        if (BN_cmp(e.get(), order.get()) < 0) scalars.push_back(std::move(e));
    for (const Bn& k : scalars) {
        ksIntReduced kr, back;
        toInt(k.get(), &kr);
        kob::TauBits bits;
        ASSERT_EQ(kob::tauExpand(1, c0, c1, kob::fromInt(asInt(&kr)), &bits), 0u);
        // The comb keeps every digit of a reduced scalar.
        CombRecord comb;
        kob::combColumns(163 + 6, bits, &comb);
        kob::TauBits again;
        kob::columnsToBits(comb, &again);
        EXPECT_EQ(std::memcmp(&bits, &again, sizeof bits), 0);
        ASSERT_EQ(kob::tauValue(kc, asInt(&layout()->order), bits, &back), 0u);
        // The expansion is of k itself, its value is taken modulo n.
        Bn want = newBn();
        BN_nnmod(want.get(), k.get(), order.get(), ctx.get());
        EXPECT_EQ(BN_cmp(fromInt(asInt(&back)).get(), want.get()), 0) << BN_bn2hex(k.get());
    }
}

TEST_F(KoblitzEngine, ColumnPickerKeepsTheChosenCount) {
    CombRecord comb{};
    comb.count = 19;
    for (uint32_t c = 0; c < 19; ++c) comb.columns[c] = c + 1;
    uint8_t r[19];
    for (int i = 0; i < 19; ++i) r[i] = uint8_t(37 * i + 11);
    CombRecord kept = comb;
    ASSERT_EQ(ecPickTauColumns(6, r, &kept), 0u);
    int nonzero = 0;
    for (uint32_t c = 0; c < 19; ++c) {
        if (kept.columns[c] != 0) {
            ++nonzero;
            EXPECT_EQ(kept.columns[c], comb.columns[c]);
        }
    }
    EXPECT_EQ(nonzero, 6);
    kept = comb;
    ASSERT_EQ(ecPickTauColumns(19, r, &kept), 0u);
    EXPECT_EQ(std::memcmp(&kept, &comb, sizeof comb), 0) << "K >= d keeps every column";
    ASSERT_EQ(ecPickTauColumns(0, r, &kept), 0u);
    EXPECT_EQ(kept.count, 0u);
    kept = comb;
    kept.count = 31;
    EXPECT_EQ(ecPickTauColumns(6, r, &kept), 1u) << "more columns than marks";
}

TEST_F(KoblitzEngine, HeapAndEngineConstants) {
    EXPECT_EQ(heapSize, 24528u);
    // tau(G) = lambda G.
    ksPoint r{};
    ksIntReduced lambda = koblitzConstants(gd)->lambda;
    ASSERT_EQ(a1993(gd, asInt(&lambda), &layout()->g, &r), 0u);
    ksFieldElement gx2{}, gy2{};
    fieldSquare(gd, &layout()->g.x, &gx2);
    fieldSquare(gd, &layout()->g.y, &gy2);
    EXPECT_EQ(hexOf(r.x), hexOf(gx2));
    EXPECT_EQ(hexOf(r.y), hexOf(gy2));
}

// Entry j - 1 of the base point's table is the sum of tau^(i d) G over the
// bits i of j, and tau acts on G as lambda.
TEST_F(KoblitzEngine, TauCombTableEntries) {
    const uint32_t d = 19, w = 6;
    Bn lambda = fromInt(asInt(&koblitzConstants(gd)->lambda));
    std::vector<Bn> powers;  // lambda^(i d) mod n
    for (uint32_t i = 0; i < 9; ++i) {
        Bn e = newBn(), p = newBn();
        BN_set_word(e.get(), i * d);
        BN_mod_exp(p.get(), lambda.get(), e.get(), order.get(), ctx.get());
        powers.push_back(std::move(p));
    }
    const uint32_t* table = static_cast<const uint32_t*>(layout()->g.table);
    ASSERT_NE(table, nullptr);
    for (uint32_t j : {1u, 2u, 3u, 5u, 128u, 256u, 257u, 300u, 384u, 510u, 511u}) {
        Bn scalar = newBn();
        for (uint32_t i = 0; i < 9; ++i)
            if ((j >> i) & 1) BN_mod_add(scalar.get(), scalar.get(), powers[i].get(), order.get(), ctx.get());
        ksPoint e{};
        std::memcpy(e.x.words, table + size_t(j - 1) * 2 * w, 4 * w);
        std::memcpy(e.y.words, table + size_t(j - 1) * 2 * w + w, 4 * w);
        EXPECT_TRUE(same(e, ecMul(scalar.get()).get())) << "entry " << j;
    }
}

// Square roots modulo primes of each residue class the method branches on.
TEST(ModularSquareRoot, MatchesOpensslAndRejectsNonSquares) {
    BnCtx ctx{BN_CTX_new()};
    const char* primes[] = {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFFFFFFFFFF",                  // 3 mod 4
                            "7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFED",  // 5 mod 8
                            "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001",          // 1 mod 8
                            "04000000000000000000020108A2E0CC0D99F8A5EF"};
    for (const char* ph : primes) {
        Bn p = hexBn(ph);
        int squares = 0, others = 0;
        // Random values until both kinds have been seen a few times (about half of them
        // are squares, so a fixed count would now and then see only one kind).
        for (int i = 0; i < 400 && (squares < 6 || others < 6); ++i) {
            Bn a = newBn(), want = newBn();
            BN_rand_range(a.get(), p.get());
            ksIntReduced ai, pi, root;
            toInt(a.get(), &ai);
            toInt(p.get(), &pi);
            uint32_t flag = 9;
            ASSERT_EQ(mpModSqrt(asInt(&ai), asInt(&pi), &root, &flag), 0u);
            const bool isSquare = BN_kronecker(a.get(), p.get(), ctx.get()) == 1;
            EXPECT_EQ(flag, isSquare ? 1u : 0u) << ph;
            if (isSquare) {
                ++squares;
                Bn r = fromInt(asInt(&root)), sq = newBn();
                BN_mod_sqr(sq.get(), r.get(), p.get(), ctx.get());
                EXPECT_EQ(BN_cmp(sq.get(), a.get()), 0) << ph;
            } else {
                ++others;
            }
        }
        EXPECT_GT(squares, 0);
        EXPECT_GT(others, 0);
    }
}

}  // namespace
}  // namespace tess::crypto::test
