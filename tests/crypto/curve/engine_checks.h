// The checks every curve engine must pass against OpenSSL: multiplication
// of a plain point and of the tabled base point over a table of edge and
// random scalars, the x-only forms, the twin multiplication, both forms of
// base multiplication, and the affine addition's special cases.
#pragma once

#include "tests/crypto/curve/curve_fixture.h"

namespace tess::crypto::test {

struct EngineTraits {
    bool reducesBaseScalar;   // k replaced by k mod n with the plain flag (C, D, F)
    bool longScalars = true;  // multiplies take scalars above 256 bits
};

inline std::vector<Bn> edgeAndRandomScalars(const BIGNUM* n, std::mt19937_64& rng, int randomCount) {
    std::vector<Bn> k;
    for (unsigned long w : {0ul, 1ul, 2ul, 3ul, 7ul}) {
        Bn v = newBn();
        BN_set_word(v.get(), w);
        k.push_back(std::move(v));
    }
    for (int d : {-1, 0, 1, 5}) {  // n - 1, n, n + 1, and 2n + 5 below
        Bn v(BN_dup(n));
        if (d < 0)
            BN_sub_word(v.get(), 1);
        else if (d == 5)
            BN_lshift1(v.get(), v.get()), BN_add_word(v.get(), 5);
        else
            BN_add_word(v.get(), unsigned(d));
        k.push_back(std::move(v));
    }
    Bn allOnes = newBn();
    BN_set_bit(allOnes.get(), BN_num_bits(n));
    BN_sub_word(allOnes.get(), 1);
    k.push_back(std::move(allOnes));
    k.push_back(randomBits(rng, 300));  // longer than any NAF record: reduced first
    for (int i = 0; i < randomCount; ++i) k.push_back(randomBelow(rng, n));
    return k;
}

inline void checkEngine(CurveContext& c, const EngineTraits& traits, int randomCount, uint64_t seed) {
    ASSERT_EQ(c.status(), 0u);
    const ksCurveEngine* e = c.engine();
    ASSERT_NE(e, nullptr);
    ksGlobalData* gd = c.gd();
    std::mt19937_64 rng(seed);
    const BIGNUM* n = c.order();
    BnCtx ctx(BN_CTX_new());

    // The base point lies on the curve; so does infinity.
    uint32_t on = 0;
    ASSERT_EQ(a1687(gd, &c.layout()->g, &c.layout()->a, &c.layout()->b, &on), 0u);
    EXPECT_EQ(on, 1u);
    ksPoint inf{};
    on = 0;
    ASSERT_EQ(a1687(gd, &inf, &c.layout()->a, &c.layout()->b, &on), 0u);
    EXPECT_EQ(on, 1u);

    Bn r = randomBelow(rng, n);
    PointPtr pe = c.mul(r.get());
    const ksPoint p = c.fromEc(pe.get());
    const ksPoint g = c.layout()->g;  // carries the comb table
    ASSERT_NE(g.table, nullptr);
    PointPtr ge = c.toEc(ksPoint{g.x, g.y, nullptr});

    for (const Bn& k : edgeAndRandomScalars(n, rng, randomCount)) {
        char* hex = BN_bn2hex(k.get());
        SCOPED_TRACE(std::string("k = ") + hex);
        OPENSSL_free(hex);
        if (!traits.longScalars && BN_num_bits(k.get()) > 256) continue;
        ksIntGeneral ki;
        toInt(k.get(), &ki);
        for (bool tabled : {false, true}) {
            const ksPoint& base = tabled ? g : p;
            PointPtr want = c.mulPoint(tabled ? ge.get() : pe.get(), k.get());
            ksPoint out{};
            ASSERT_EQ(e->multiply(gd, mp::asInt(&ki), &base, &out), 0u);
            EXPECT_TRUE(c.same(out, want.get())) << (tabled ? "tabled base point" : "plain point");
            ksFieldElement x{};
            EXPECT_EQ(e->multiplyX(gd, mp::asInt(&ki), &base, &x), 0u);
            EXPECT_EQ(BN_cmp(c.coordinate(x).get(), c.xOf(want.get()).get()), 0);
        }
        if (BN_num_bits(k.get()) > 256) continue;
        // Base multiplication with a caller-fixed scalar.
        ksIntReduced kr;
        toInt(k.get(), &kr);
        ksPoint out{};
        ASSERT_EQ(e->baseMultiply(gd, 1, &kr, &out), 0u);
        EXPECT_TRUE(c.same(out, c.mul(k.get()).get()));
        Bn expectK(BN_dup(k.get()));
        if (traits.reducesBaseScalar && !BN_is_zero(k.get())) BN_nnmod(expectK.get(), k.get(), n, ctx.get());
        EXPECT_EQ(BN_cmp(fromInt(mp::asInt(&kr)).get(), expectK.get()), 0) << "scalar written back";
    }

    // Fresh pairs: the returned scalar is the one of the returned point.
    for (int i = 0; i < 3; ++i) {
        Bn seedK = randomBelow(rng, n);
        ksIntReduced k;
        toInt(seedK.get(), &k);
        ksPoint out{};
        ASSERT_EQ(e->baseMultiply(gd, 0, &k, &out), 0u);
        Bn got = fromInt(mp::asInt(&k));
        EXPECT_LT(BN_cmp(got.get(), n), 0);
        EXPECT_NE(BN_cmp(got.get(), seedK.get()), 0);
        EXPECT_TRUE(c.same(out, c.mul(got.get()).get()));
    }

    // Twin products, with and without a table on the first point; u = 0 once.
    for (int i = 0; i < 4; ++i) {
        Bn u = randomBelow(rng, n), v = randomBelow(rng, n), s = randomBelow(rng, n);
        if (i == 3) BN_zero(u.get());
        PointPtr qe = c.mul(s.get());
        const ksPoint q = c.fromEc(qe.get());
        ksIntReduced ui, vi;
        toInt(u.get(), &ui);
        toInt(v.get(), &vi);
        for (bool tabled : {false, true}) {
            ksFieldElement x{};
            ASSERT_EQ(e->twinMultiplyX(gd, mp::asInt(&ui), tabled ? &g : &p, mp::asInt(&vi), &q, &x), 0u);
            PointPtr want =
                c.add(c.mulPoint(tabled ? ge.get() : pe.get(), u.get()).get(), c.mulPoint(qe.get(), v.get()).get());
            EXPECT_EQ(BN_cmp(c.coordinate(x).get(), c.xOf(want.get()).get()), 0) << "twin, tabled " << tabled;
        }
    }
    // With G's table, u G equal to v Q (the sum is a doubling) and opposite
    // to it (the sum is at infinity, x = 0).
    {
        Bn s = randomBelow(rng, n), v = randomBelow(rng, n), same = newBn(), opposite = newBn();
        BN_mod_mul(same.get(), s.get(), v.get(), n, ctx.get());
        BN_sub(opposite.get(), n, same.get());
        PointPtr qe = c.mul(s.get());
        const ksPoint q = c.fromEc(qe.get());
        ksIntReduced vi;
        toInt(v.get(), &vi);
        for (const Bn* u : {&same, &opposite}) {
            ksIntReduced ui;
            toInt(u->get(), &ui);
            ksFieldElement x{};
            x.words[0] = 1;
            ASSERT_EQ(e->twinMultiplyX(gd, mp::asInt(&ui), &g, mp::asInt(&vi), &q, &x), 0u);
            PointPtr want = c.add(c.mul(u->get()).get(), c.mulPoint(qe.get(), v.get()).get());
            EXPECT_EQ(BN_cmp(c.coordinate(x).get(), c.xOf(want.get()).get()), 0)
                << (u == &same ? "u G = v Q" : "u G = -v Q");
        }
    }
    // u P + v Q at infinity gives x = 0.
    {
        Bn u = randomBelow(rng, n);
        Bn v = newBn();
        BN_sub(v.get(), n, u.get());
        ksIntReduced ui, vi;
        toInt(u.get(), &ui);
        toInt(v.get(), &vi);
        ksFieldElement x{};
        x.words[0] = 1;
        e->twinMultiplyX(gd, mp::asInt(&ui), &p, mp::asInt(&vi), &p, &x);
        EXPECT_TRUE(BN_is_zero(c.coordinate(x).get()));
    }

    // Affine addition: ordinary sum, P + P, P + (-P), infinity + P.
    PointPtr two = c.add(pe.get(), pe.get());
    PointPtr minusE = c.negate(pe.get());
    const ksPoint minus = c.fromEc(minusE.get());
    PointPtr sumE = c.add(pe.get(), ge.get());
    const ksPoint gPlain{g.x, g.y, nullptr};
    struct AddCase {
        const ksPoint* a;
        const ksPoint* b;
        const EC_POINT* want;
    } cases[] = {{&p, &gPlain, sumE.get()}, {&p, &p, two.get()}, {&p, &minus, nullptr}, {&inf, &p, pe.get()}};
    for (const AddCase& ac : cases) {
        ksPoint out{};
        ASSERT_EQ(e->pointAdd(gd, ac.a, ac.b, &out), 0u);
        if (ac.want)
            EXPECT_TRUE(c.same(out, ac.want));
        else
            EXPECT_TRUE(c.isInfinity(out));
    }
    ksPoint dbl{};
    ASSERT_EQ(e->pointDouble(gd, &p, &dbl), 0u);
    EXPECT_TRUE(c.same(dbl, two.get()));
    uint32_t flag = 0;
    ASSERT_EQ(e->isInfinity(gd, &inf, &flag), 0u);
    EXPECT_EQ(flag, 0u);
    ASSERT_EQ(e->isInfinity(gd, &p, &flag), 0u);
    EXPECT_EQ(flag, 1u);
}

}  // namespace tess::crypto::test

namespace tess::crypto::test {

// The fresh-pair scalar bit for bit: the comb columns of k mod n over
// combBits, 43 random bytes (drawn 32 then 11, here from a copy of the
// context's generator), the kept columns chosen by the marks, their integer
// plus the blinding scalar.
inline void checkFreshPairScalar(CurveContext& c, uint32_t combBits, uint64_t seed) {
    ASSERT_EQ(c.status(), 0u);
    BN_CTX* ctx = c.ctx();
    const BIGNUM* n = c.order();
    std::mt19937_64 rng{seed};
    const uint32_t m = c.layout()->fieldBits;
    for (int round = 0; round < 3; ++round) {
        Bn k = randomBelow(rng, n);
        // The generator state the engine will draw from.
        std::vector<uint64_t> copy(KS_GLOBAL_DATA_SIZE / 8 + 1);
        std::memcpy(copy.data(), c.gd(), KS_GLOBAL_DATA_SIZE);
        ksGlobalData* twin = reinterpret_cast<ksGlobalData*>(copy.data());
        uint8_t r[43];
        ASSERT_EQ(a3391(twin, 32, r), 0u);
        ASSERT_EQ(a3391(twin, 11, r + 32), 0u);

        const uint32_t d = (combBits - 1) / 6 + 1, keep = m / 17 + 1;
        uint32_t columns[43] = {};
        const int length = BN_num_bits(k.get());
        for (uint32_t i = 0; i < 6; ++i)
            for (uint32_t j = 0; j < d; ++j)
                if (int(i * d + j) < length && BN_is_bit_set(k.get(), int(i * d + j))) columns[j] |= 1u << i;
        uint8_t marks[43] = {};
        for (uint32_t i = keep; i < d; ++i) marks[i] = 1;
        for (uint32_t i = d; i-- > keep;) std::swap(marks[i], marks[r[i] % i]);
        Bn expect = newBn();
        for (uint32_t i = 0; i < 6; ++i)
            for (uint32_t j = 0; j < d; ++j)
                if (!marks[j] && (columns[j] >> i) & 1 && i * d + j < 256) BN_set_bit(expect.get(), int(i * d + j));
        BN_mod_add(expect.get(), expect.get(), fromInt(mp::asInt(&c.layout()->blindScalar)).get(), n, ctx);

        ksIntReduced ki;
        toInt(k.get(), &ki);
        ksPoint out{};
        ASSERT_EQ(c.engine()->baseMultiply(c.gd(), 0, &ki, &out), 0u);
        EXPECT_EQ(BN_cmp(fromInt(mp::asInt(&ki)).get(), expect.get()), 0) << "round " << round;
        EXPECT_TRUE(c.same(out, c.mul(expect.get()).get()));
    }
}

}  // namespace tess::crypto::test
