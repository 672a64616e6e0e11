// Engine E on Curve25519 in short Weierstrass form against OpenSSL's EC over
// the same parameters, and its x-only results against OpenSSL's X25519.
#include <openssl/evp.h>

#include "crypto/field/prime_field.h"
#include "tests/crypto/curve/engine_checks.h"

namespace tess::crypto::test {
namespace {

struct Curve25519 {
    BnCtx ctx{BN_CTX_new()};
    Bn p = hexBn("7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFED");
    Bn A = hexBn("076D06");
    Bn n = hexBn("1000000000000000000000000000000014DEF9DEA2F79CD65812631A5CF5D3ED");
    Bn shift = newBn();  // A / 3
    GroupPtr group;

    Curve25519() {
        Bn three = newBn(), inv3 = newBn(), a = newBn(), b = newBn(), t = newBn(), one = newBn();
        BN_set_word(three.get(), 3);
        BN_set_word(one.get(), 1);
        BN_mod_inverse(inv3.get(), three.get(), p.get(), ctx.get());
        BN_mod_mul(shift.get(), A.get(), inv3.get(), p.get(), ctx.get());
        // a = 1 - A^2/3, b = 2 (A/3)^3 - A/3
        BN_mod_mul(t.get(), A.get(), shift.get(), p.get(), ctx.get());
        BN_mod_sub(a.get(), one.get(), t.get(), p.get(), ctx.get());
        BN_mod_sqr(t.get(), shift.get(), p.get(), ctx.get());
        BN_mod_mul(t.get(), t.get(), shift.get(), p.get(), ctx.get());
        BN_mod_add(t.get(), t.get(), t.get(), p.get(), ctx.get());
        BN_mod_sub(b.get(), t.get(), shift.get(), p.get(), ctx.get());
        group.reset(EC_GROUP_new_curve_GFp(p.get(), a.get(), b.get(), ctx.get()));
        Bn gx = newBn(), gy = hexBn("20AE19A1B8A086B4E01EDD2C7748D14C923D4D7E6D7C61B229E9C5A27ECED3D9");
        Bn nine = newBn();
        BN_set_word(nine.get(), 9);
        BN_mod_add(gx.get(), nine.get(), shift.get(), p.get(), ctx.get());
        PointPtr g(EC_POINT_new(group.get()));
        EC_POINT_set_affine_coordinates(group.get(), g.get(), gx.get(), gy.get(), ctx.get());
        Bn h = newBn();
        BN_set_word(h.get(), 8);
        EC_GROUP_set_generator(group.get(), g.get(), n.get(), h.get());
    }
    ksCurveParams record(const BIGNUM* montgomeryA) {
        ksCurveParams r = recordFor(group.get(), {0x06, 0x03, 0x2B, 0x65, 0x6E}, montgomeryA);
        EXPECT_TRUE(setEntries(&r, kPrimeGenericId, kMontgomeryEngineId));
        return r;
    }
};

// X25519(scalar, u) by OpenSSL, as a number.
Bn x25519(const uint8_t scalar[32], const BIGNUM* u) {
    uint8_t ule[32];
    BN_bn2lebinpad(u, ule, 32);
    EVP_PKEY* priv = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar, 32);
    EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, ule, 32);
    EVP_PKEY_CTX* pctx = EVP_PKEY_CTX_new(priv, nullptr);
    uint8_t out[32] = {};
    size_t len = sizeof out;
    EVP_PKEY_derive_init(pctx);
    EVP_PKEY_derive_set_peer(pctx, peer);
    EVP_PKEY_derive(pctx, out, &len);
    EVP_PKEY_CTX_free(pctx);
    EVP_PKEY_free(peer);
    EVP_PKEY_free(priv);
    return Bn(BN_lebin2bn(out, 32, nullptr));
}

TEST(MontgomeryEngine, AgreesWithOpenSslOnCurve25519) {
    Curve25519 curve;
    ASSERT_TRUE(curve.group);
    CurveContext c(curve.record(curve.A.get()), curve.group.get());
    checkEngine(c, {false}, 4, 25519);
}

TEST(MontgomeryEngine, FreshPairCombRunsOverTheFieldBits) {
    Curve25519 curve;
    CurveContext c(curve.record(curve.A.get()), curve.group.get());
    checkFreshPairScalar(c, 255, 255);
}

TEST(MontgomeryEngine, XOnlyResultsMatchX25519) {
    Curve25519 curve;
    CurveContext c(curve.record(curve.A.get()), curve.group.get());
    ASSERT_EQ(c.status(), 0u);
    std::mt19937_64 rng{7};
    Bn r = randomBelow(rng, curve.n.get());
    const ksPoint q = c.fromEc(c.mul(r.get()).get());
    const ksPoint g = c.layout()->g;
    for (int i = 0; i < 6; ++i) {
        uint8_t s[32];
        for (auto& b : s) b = uint8_t(rng());
        s[0] &= 248;
        s[31] = uint8_t((s[31] & 127) | 64);
        uint8_t be[32];
        for (int j = 0; j < 32; ++j) be[j] = s[31 - j];
        ksIntReduced k;
        Bn kb(BN_bin2bn(be, 32, nullptr));
        toInt(kb.get(), &k);
        for (const ksPoint* point : {&q, &g}) {
            ksFieldElement x{};
            ASSERT_EQ(c.engine()->multiplyX(c.gd(), mp::asInt(&k), point, &x), 0u);
            Bn u = newBn(), ours = newBn();
            BN_mod_sub(u.get(), c.coordinate(point->x).get(), curve.shift.get(), curve.p.get(), c.ctx());
            BN_mod_sub(ours.get(), c.coordinate(x).get(), curve.shift.get(), curve.p.get(), c.ctx());
            EXPECT_EQ(BN_cmp(ours.get(), x25519(s, u.get()).get()), 0) << "scalar " << i;
        }
    }
}

TEST(MontgomeryEngine, EdgePointsAndScalars) {
    Curve25519 curve;
    CurveContext c(curve.record(curve.A.get()), curve.group.get());
    ASSERT_EQ(c.status(), 0u);
    const ksCurveEngine* e = c.engine();
    // The point of order 2, (A/3, 0), comes back unchanged whatever k.
    ksPoint two{};
    two.x = fromBn(curve.shift.get());
    ksIntReduced k;
    Bn five = newBn();
    BN_set_word(five.get(), 5);
    toInt(five.get(), &k);
    ksPoint out{};
    ASSERT_EQ(e->multiply(c.gd(), mp::asInt(&k), &two, &out), 0u);
    EXPECT_EQ(BN_cmp(c.coordinate(out.x).get(), curve.shift.get()), 0);
    EXPECT_TRUE(BN_is_zero(c.coordinate(out.y).get()));
    // k = n - 1 takes the ladder's (k + 1) P = infinity branch: -P.
    std::mt19937_64 rng{3};
    PointPtr pe = c.mul(randomBelow(rng, curve.n.get()).get());
    const ksPoint p = c.fromEc(pe.get());
    Bn nm1(BN_dup(curve.n.get()));
    BN_sub_word(nm1.get(), 1);
    toInt(nm1.get(), &k);
    ASSERT_EQ(e->multiply(c.gd(), mp::asInt(&k), &p, &out), 0u);
    EXPECT_TRUE(c.same(out, c.negate(pe.get()).get()));
    // Twin with v = 0 (mod n) and no table on Q: no inverse, refused.
    ksIntReduced v;
    toInt(curve.n.get(), &v);
    ksFieldElement x{};
    EXPECT_EQ(e->twinMultiplyX(c.gd(), mp::asInt(&k), &p, mp::asInt(&v), &p, &x), 1u);
}

TEST(MontgomeryEngine, RefusesAMontgomeryCoefficientOfAnotherCurve) {
    Curve25519 curve;
    Bn wrong(BN_dup(curve.A.get()));
    BN_add_word(wrong.get(), 4);
    CurveContext c(curve.record(wrong.get()), curve.group.get());
    EXPECT_EQ(c.status(), 3u);
    CurveContext noHeap(curve.record(wrong.get()), curve.group.get(), false);
    EXPECT_EQ(noHeap.status(), 3u);
}

}  // namespace
}  // namespace tess::crypto::test
