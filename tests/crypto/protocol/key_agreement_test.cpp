// EC Diffie-Hellman against OpenSSL's ECDH and the CAVP CDH primitive vectors,
// the SHA-1 derivation, MQV between two parties and against OpenSSL's point
// arithmetic, and the refusals of the key-agreement calls.
#include <openssl/ecdh.h>
#include <openssl/err.h>

#include <cstring>
#include <map>

#include "crypto/protocol/key_pairs.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

struct Party {
    ksPublicKey pub{};
    ksPrivateKey priv{};
};

Party newParty(ksGlobalData* gd) {
    Party p;
    EXPECT_EQ(ks_dhGenerateValues(gd, &p.pub, &p.priv), 0u);
    return p;
}

Bytes rawSecret(ksGlobalData* gd, const ksPublicKey& remote, const ksPrivateKey& local, ksErrorCode expected = 0) {
    uint8_t z[64];
    uint32_t length = sizeof z;
    EXPECT_EQ(ks_dhRawSharedSecret(gd, &remote, &local, &length, z), expected);
    return expected == 0 ? Bytes(z, z + length) : Bytes{};
}

class EcdhWithOpenssl : public ::testing::TestWithParam<int> {};

TEST_P(EcdhWithOpenssl, SecretsAndDerivedKeys) {
    Curve curve(GetParam());
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    const Party ours = newParty(gd);
    EXPECT_EQ(ours.priv.length, curve.L());

    EcKey theirs(EC_KEY_new_by_curve_name(GetParam()));
    ASSERT_EQ(EC_KEY_generate_key(theirs.get()), 1);
    ksErrorCode rc = 1;
    const ksPublicKey old = oldStyleKeyOf(curve, theirs.get());
    const ksPublicKey theirPub = keyFromCoordinates(gd, Bytes(old.key, old.key + curve.L()),
                                                    Bytes(old.key + curve.L(), old.key + old.length), &rc);
    ASSERT_EQ(rc, 0u);

    const Bytes z = rawSecret(gd, theirPub, ours.priv);
    ASSERT_EQ(z.size(), curve.L());
    EcKey ourKey = opensslKey(curve, ours.pub);
    Bytes expected(curve.L());
    ASSERT_EQ(
        ECDH_compute_key(expected.data(), expected.size(), EC_KEY_get0_public_key(ourKey.get()), theirs.get(), nullptr),
        int(curve.L()));
    EXPECT_EQ(z, expected);

    // Derived keys: SHA-1(Z) and SHA-1(Z || info), cut to the asked length.
    uint8_t key[20];
    ASSERT_EQ(ks_dhSharedSecret(gd, &theirPub, &ours.priv, 20, key), 0u);
    EXPECT_EQ(Bytes(key, key + 20), sha1(z));
    const Bytes info = {'i', 'n', 'f', 'o'};
    ASSERT_EQ(ks_dhSharedSecretWithAddInfo(gd, &theirPub, &ours.priv, 4, info.data(), 7, key), 0u);
    Bytes zInfo = z;
    zInfo.insert(zInfo.end(), info.begin(), info.end());
    const Bytes digest = sha1(zInfo);
    EXPECT_EQ(Bytes(key, key + 7), Bytes(digest.begin(), digest.begin() + 7));
}

INSTANTIATE_TEST_SUITE_P(Curves, EcdhWithOpenssl,
                         ::testing::Values(NID_sect163k1, NID_sect163r2, NID_sect233k1, NID_sect233r1,
                                           NID_X9_62_prime192v1, NID_secp224r1, NID_X9_62_prime256v1, NID_secp256k1),
                         [](const auto& info) { return std::string(OBJ_nid2sn(info.param)); });

TEST(EcdhVectors, CdhPrimitive) {
    std::map<std::string, std::unique_ptr<Curve>> curves;
    int checked = 0;
    for (const auto& v : protocolVectors("ecc_cdh_primitive.txt")) {
        SCOPED_TRACE(v.section + " " + v.at("COUNT"));
        auto& curve = curves[v.section];
        if (!curve) curve = std::make_unique<Curve>(nidOfCavpCurve(v.section));
        ASSERT_EQ(curve->status(), 0u);
        ksErrorCode rc = 1;
        const ksPublicKey remote = keyFromCoordinates(curve->gd(), paddedHex(v.at("QCAVSx"), curve->L()),
                                                      paddedHex(v.at("QCAVSy"), curve->L()), &rc);
        ASSERT_EQ(rc, 0u);
        ksPrivateKey local{};
        const Bytes d = paddedHex(v.at("dIUT"), curve->L());
        std::memcpy(local.key, d.data(), d.size());
        local.length = uint32_t(d.size());
        EXPECT_EQ(rawSecret(curve->gd(), remote, local), paddedHex(v.at("ZIUT"), curve->L()));
        ++checked;
    }
    EXPECT_EQ(checked, 15);
}

// OpenSSL's ECDH of a remote point with our private value.
Bytes opensslSecret(Curve& curve, const EC_POINT* remote, const ksPrivateKey& local, const ksPublicKey& localPub) {
    EcKey key = opensslKey(curve, localPub, &local);
    Bytes out(curve.L());
    EXPECT_EQ(ECDH_compute_key(out.data(), out.size(), remote, key.get(), nullptr), int(curve.L()));
    return out;
}

// On a prime curve x = 0 is an ordinary point: as a remote key (compressed,
// the context's form, or converted from the old style) and as the shared point (Z is then all zero octets), as OpenSSL
// computes.
TEST(EcdhZeroX, PrimeCurveAgreesWithOpenssl) {
    Curve curve(NID_X9_62_prime256v1);
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    const EC_GROUP* g = curve.group();
    const Party ours = newParty(gd);
    const ZeroXPoints points = zeroXPoints(curve, ours.priv);
    const EC_POINT* zeroX = points.zeroX.get();
    const EC_POINT* toZero = points.toZero.get();
    Bn y = newBn();
    ASSERT_EQ(EC_POINT_get_affine_coordinates(g, zeroX, nullptr, y.get(), nullptr), 1);
    Bytes yOctets(curve.L());
    BN_bn2binpad(y.get(), yOctets.data(), int(yOctets.size()));
    ASSERT_EQ(Bytes(yOctets.begin(), yOctets.begin() + 4), (Bytes{0x66, 0x48, 0x5c, 0x78}));

    ksErrorCode rc = 1;
    const ksPublicKey throughOldStyle = keyFromCoordinates(gd, Bytes(curve.L(), 0), yOctets, &rc);
    ASSERT_EQ(rc, 0u);
    struct Case {
        const char* what;
        ksPublicKey remote;
        const EC_POINT* point;
        bool zeroSecret;
    };
    const Case cases[] = {
        {"public x = 0, compressed", compressedKeyOf(curve, zeroX), zeroX, false},
        {"public x = 0, from the old-style key", throughOldStyle, zeroX, false},
        {"shared x = 0", compressedKeyOf(curve, toZero), toZero, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes expected = opensslSecret(curve, c.point, ours.priv, ours.pub);
        EXPECT_EQ(expected == Bytes(curve.L(), 0), c.zeroSecret);
        EXPECT_EQ(rawSecret(gd, c.remote, ours.priv), expected);
        uint8_t key[20];
        EXPECT_EQ(ks_dhSharedSecret(gd, &c.remote, &ours.priv, 20, key), 0u);
        EXPECT_EQ(Bytes(key, key + 20), sha1(expected));
    }
}

// A point's compressed octets with the given x, found by OpenSSL; empty when
// x has no point.
ksPublicKey compressedAt(const Curve& curve, const BIGNUM* x, PointPtr* out) {
    BnCtx ctx(BN_CTX_new());
    PointPtr p(EC_POINT_new(curve.group()));
    ksPublicKey key{};
    ERR_set_mark();
    if (EC_POINT_set_compressed_coordinates(curve.group(), p.get(), x, 0, ctx.get()) == 1)
        key = compressedKeyOf(curve, p.get());
    ERR_pop_to_mark();
    if (out) *out = std::move(p);
    return key;
}

// On binary curves with a cofactor a remote point outside the base point's
// subgroup would leak the local value modulo the cofactor: Q + T with T of
// order 2, and a random point of the whole group, are refused.
TEST(EcdhSmallSubgroup, BinaryCofactorPointsRefused) {
    for (const int nid : {NID_sect163k1, NID_sect163r2, NID_sect233k1, NID_sect233r1}) {
        Curve curve(nid);
        ASSERT_EQ(curve.status(), 0u);
        SCOPED_TRACE(OBJ_nid2sn(nid));
        ksGlobalData* gd = curve.gd();
        const EC_GROUP* g = curve.group();
        BnCtx ctx(BN_CTX_new());
        const Party ours = newParty(gd);
        const Party theirs = newParty(gd);
        Bn zero = newBn();
        BN_zero(zero.get());
        PointPtr t;
        compressedAt(curve, zero.get(), &t);
        PointPtr q(EC_POINT_new(g));
        ASSERT_EQ(EC_POINT_oct2point(g, q.get(), theirs.pub.key, theirs.pub.length, ctx.get()), 1);
        PointPtr qt(EC_POINT_new(g));
        ASSERT_EQ(EC_POINT_add(g, qt.get(), q.get(), t.get(), ctx.get()), 1);
        // A whole-group point: the first x from 2 up with a point not killed by n.
        Bn n = newBn();
        EC_GROUP_get_order(g, n.get(), ctx.get());
        ksPublicKey outside{};
        for (BN_ULONG x = 2; outside.length == 0; ++x) {
            Bn bx = newBn();
            BN_set_word(bx.get(), x);
            PointPtr p;
            const ksPublicKey candidate = compressedAt(curve, bx.get(), &p);
            PointPtr np(EC_POINT_new(g));
            if (candidate.length != 0 && EC_POINT_mul(g, np.get(), nullptr, p.get(), n.get(), ctx.get()) == 1 &&
                EC_POINT_is_at_infinity(g, np.get()) == 0)
                outside = candidate;
        }
        struct Case {
            const char* what;
            ksPublicKey remote;
        };
        const Case cases[] = {
            {"Q + T", compressedKeyOf(curve, qt.get())},
            {"random point of the whole group", outside},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            uint8_t key[20];
            EXPECT_EQ(ks_dhSharedSecret(gd, &c.remote, &ours.priv, 20, key), 3u);
            rawSecret(gd, c.remote, ours.priv, 3);
        }
        // The subgroup's own point still agrees.
        EXPECT_EQ(rawSecret(gd, theirs.pub, ours.priv), rawSecret(gd, ours.pub, theirs.priv));
    }
}

// A compressed x at or above the field's size names the same x as its
// reduction but is not a field element: refused by DH.
TEST(EcdhUnreducedX, Refused) {
    for (const int nid : {NID_X9_62_prime256v1, NID_sect163k1, NID_sect233r1}) {
        Curve curve(nid);
        ASSERT_EQ(curve.status(), 0u);
        SCOPED_TRACE(OBJ_nid2sn(nid));
        ksGlobalData* gd = curve.gd();
        const Party ours = newParty(gd);
        const Party theirs = newParty(gd);
        PointPtr q(EC_POINT_new(curve.group()));
        ASSERT_EQ(EC_POINT_oct2point(curve.group(), q.get(), theirs.pub.key, theirs.pub.length, nullptr), 1);
        const ksPublicKey compressed = compressedKeyOf(curve, q.get());
        ASSERT_EQ(rawSecret(gd, compressed, ours.priv), rawSecret(gd, ours.pub, theirs.priv));
        ksPublicKey unreduced = compressed;
        const int degree = EC_GROUP_get_degree(curve.group());
        if (EC_GROUP_get_field_type(curve.group()) == NID_X9_62_prime_field) {
            // x + p, when it still fits the L octets, else p itself (x = 0's other name).
            Bn p = newBn(), x = newBn();
            EC_GROUP_get_curve(curve.group(), p.get(), nullptr, nullptr, nullptr);
            BN_bin2bn(compressed.key + 1, int(curve.L()), x.get());
            BN_add(x.get(), x.get(), p.get());
            if (BN_num_bits(x.get()) > int(8 * curve.L())) BN_copy(x.get(), p.get());
            BN_bn2binpad(x.get(), unreduced.key + 1, int(curve.L()));
        } else {
            // The lowest bit above m - 1 set.
            unreduced.key[1] |= uint8_t(1u << (degree % 8));
        }
        rawSecret(gd, unreduced, ours.priv, 3);
    }
}

// MQV's values by OpenSSL's arithmetic: s = r + xbar(RA) d, u = s h,
// v = xbar(RB) u, Z = x(u RB + v QB), xbar = x mod 2^ceil(b/2).
struct OpensslMqvMath {
    const EC_GROUP* g;
    BnCtx ctx{BN_CTX_new()};
    Bn n = newBn(), h = newBn();
    int half = 0;

    explicit OpensslMqvMath(const Curve& curve) : g(curve.group()) {
        EC_GROUP_get_order(g, n.get(), ctx.get());
        EC_GROUP_get_cofactor(g, h.get(), ctx.get());
        half = (BN_num_bits(n.get()) + 1) / 2;
    }
    PointPtr point(const ksPublicKey& k) {
        PointPtr p(EC_POINT_new(g));
        EXPECT_EQ(EC_POINT_oct2point(g, p.get(), k.key, k.length, ctx.get()), 1);
        return p;
    }
    Bn xbar(const EC_POINT* p) {
        Bn x = newBn();
        EC_POINT_get_affine_coordinates(g, p, x.get(), nullptr, ctx.get());
        BN_mask_bits(x.get(), half);
        return x;
    }
    static Bn scalar(const ksPrivateKey& k) { return Bn(BN_bin2bn(k.key, int(k.length), nullptr)); }
    // u of the party with the static value staticA and ephemeral pair ephemeralA.
    Bn u(const Party& staticA, const Party& ephemeralA) {
        PointPtr ra = point(ephemeralA.pub);
        Bn s = newBn(), out = newBn();
        BN_mod_mul(s.get(), xbar(ra.get()).get(), scalar(staticA.priv).get(), n.get(), ctx.get());
        BN_mod_add(s.get(), s.get(), scalar(ephemeralA.priv).get(), n.get(), ctx.get());
        BN_mod_mul(out.get(), s.get(), h.get(), n.get(), ctx.get());
        return out;
    }
};

Bytes opensslMqv(Curve& curve, const Party& staticA, const Party& ephemeralA, const Party& staticB,
                 const Party& ephemeralB) {
    OpensslMqvMath m(curve);
    PointPtr rb = m.point(ephemeralB.pub), qb = m.point(staticB.pub);
    Bn u = m.u(staticA, ephemeralA), v = newBn();
    BN_mod_mul(v.get(), m.xbar(rb.get()).get(), u.get(), m.n.get(), m.ctx.get());
    PointPtr sum(EC_POINT_new(m.g));
    const EC_POINT* points[2] = {rb.get(), qb.get()};
    const BIGNUM* scalars[2] = {u.get(), v.get()};
    EC_POINTs_mul(m.g, sum.get(), nullptr, 2, points, scalars, m.ctx.get());
    Bn x = newBn();
    EC_POINT_get_affine_coordinates(m.g, sum.get(), x.get(), nullptr, m.ctx.get());
    Bytes out(curve.L());
    BN_bn2binpad(x.get(), out.data(), int(out.size()));
    return out;
}

Bytes mqvRaw(ksGlobalData* gd, const Party& staticA, const Party& ephemeralA, const Party& staticB,
             const Party& ephemeralB) {
    uint8_t z[64];
    uint32_t length = sizeof z;
    EXPECT_EQ(ks_mqvRawSharedSecret(gd, &ephemeralB.pub, &ephemeralA.priv, &staticB.pub, &staticA.priv, &ephemeralA.pub,
                                    &length, z),
              0u);
    return Bytes(z, z + length);
}

class Mqv : public ::testing::TestWithParam<int> {};

TEST_P(Mqv, BothPartiesAgreeAsOpensslComputes) {
    Curve curve(GetParam());
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    const Party staticA = newParty(gd), ephemeralA = newParty(gd), staticB = newParty(gd), ephemeralB = newParty(gd);
    const Bytes za = mqvRaw(gd, staticA, ephemeralA, staticB, ephemeralB);
    const Bytes zb = mqvRaw(gd, staticB, ephemeralB, staticA, ephemeralA);
    EXPECT_EQ(za, zb);
    EXPECT_EQ(za, opensslMqv(curve, staticA, ephemeralA, staticB, ephemeralB));
    // The two remote points swapped give another secret.
    EXPECT_NE(mqvRaw(gd, staticA, ephemeralA, ephemeralB, staticB), za);

    uint8_t key[20];
    ASSERT_EQ(ks_mqvSharedSecret(gd, &ephemeralB.pub, &ephemeralA.priv, &staticB.pub, &staticA.priv, &ephemeralA.pub,
                                 20, key),
              0u);
    EXPECT_EQ(Bytes(key, key + 20), sha1(za));
    // No information is allowed here, and 2048 octets are.
    ASSERT_EQ(ks_mqvSharedSecretWithAddInfo(gd, &ephemeralB.pub, &ephemeralA.priv, &staticB.pub, &staticA.priv,
                                            &ephemeralA.pub, 0, nullptr, 20, key),
              0u);
    EXPECT_EQ(Bytes(key, key + 20), sha1(za));
    const Bytes info(2048, 0x5A);
    ASSERT_EQ(ks_mqvSharedSecretWithAddInfo(gd, &ephemeralB.pub, &ephemeralA.priv, &staticB.pub, &staticA.priv,
                                            &ephemeralA.pub, 2048, info.data(), 20, key),
              0u);
    Bytes zInfo = za;
    zInfo.insert(zInfo.end(), info.begin(), info.end());
    EXPECT_EQ(Bytes(key, key + 20), sha1(zInfo));
}

INSTANTIATE_TEST_SUITE_P(Curves, Mqv, ::testing::Values(NID_sect163k1, NID_sect163r2, NID_X9_62_prime256v1),
                         [](const auto& info) { return std::string(OBJ_nid2sn(info.param)); });

// MQV on a prime curve whose shared point u (RB + xbar(RB) QB) has x = 0: a
// valid secret of L zero octets, as OpenSSL computes it; the remote static key
// that makes the sum infinity is refused. QB is built from A's values:
// QB = xbar(RB)^-1 (u^-1 P - RB) gives the shared point P.
TEST(MqvZeroX, PrimeCurveSharedPointWithXZero) {
    Curve curve(NID_X9_62_prime256v1);
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    const Party staticA = newParty(gd), ephemeralA = newParty(gd), ephemeralB = newParty(gd);
    OpensslMqvMath m(curve);
    const EC_GROUP* g = m.g;
    BN_CTX* ctx = m.ctx.get();
    PointPtr rb = m.point(ephemeralB.pub);
    Bn u = m.u(staticA, ephemeralA);  // the cofactor is 1
    Bn uInverse(BN_mod_inverse(nullptr, u.get(), m.n.get(), ctx));
    Bn xbInverse(BN_mod_inverse(nullptr, m.xbar(rb.get()).get(), m.n.get(), ctx));
    ASSERT_TRUE(uInverse && xbInverse);
    // The static key of B for which the shared point is p.
    auto staticFor = [&](const EC_POINT* p) {
        PointPtr q(EC_POINT_new(g)), minusRb(EC_POINT_dup(rb.get(), g));
        EC_POINT_invert(g, minusRb.get(), ctx);
        EC_POINT_mul(g, q.get(), nullptr, p, uInverse.get(), ctx);
        EC_POINT_add(g, q.get(), q.get(), minusRb.get(), ctx);
        EC_POINT_mul(g, q.get(), nullptr, q.get(), xbInverse.get(), ctx);
        Party b;
        b.pub = compressedKeyOf(curve, q.get());
        return b;
    };
    const ZeroXPoints points = zeroXPoints(curve, staticA.priv);
    PointPtr infinity(EC_POINT_new(g));
    EC_POINT_set_to_infinity(g, infinity.get());

    const Party zeroStatic = staticFor(points.zeroX.get());
    const Bytes expected = opensslMqv(curve, staticA, ephemeralA, zeroStatic, ephemeralB);
    EXPECT_EQ(expected, Bytes(curve.L(), 0));
    EXPECT_EQ(mqvRaw(gd, staticA, ephemeralA, zeroStatic, ephemeralB), expected);
    uint8_t key[20];
    ASSERT_EQ(ks_mqvSharedSecret(gd, &ephemeralB.pub, &ephemeralA.priv, &zeroStatic.pub, &staticA.priv, &ephemeralA.pub,
                                 20, key),
              0u);
    EXPECT_EQ(Bytes(key, key + 20), sha1(expected));

    const Party infinityStatic = staticFor(infinity.get());
    uint8_t z[64];
    uint32_t length = sizeof z;
    EXPECT_EQ(ks_mqvRawSharedSecret(gd, &ephemeralB.pub, &ephemeralA.priv, &infinityStatic.pub, &staticA.priv,
                                    &ephemeralA.pub, &length, z),
              3u);
}

class KeyAgreementCalls : public ::testing::Test {
protected:
    Curve curve{NID_sect163k1};
    ksGlobalData* gd = nullptr;
    Party a;
    Party b;

    void SetUp() override {
        ASSERT_EQ(curve.status(), 0u);
        gd = curve.gd();
        a = newParty(gd);
        b = newParty(gd);
    }
};

TEST_F(KeyAgreementCalls, PasswordKeysAgree) {
    const Bytes pw = {'s', 'e', 'c', 'r', 'e', 't'};
    ksProtectedKey protectedKey{};
    ksPublicKey pub{};
    ASSERT_EQ(ks_dhPwdGenerateValues(gd, 6, pw.data(), &protectedKey, &pub), 0u);
    uint8_t mine[20];
    uint8_t theirs[20];
    ASSERT_EQ(ks_dhPwdSharedSecret(gd, &b.pub, &protectedKey, 6, pw.data(), 20, mine), 0u);
    ASSERT_EQ(ks_dhSharedSecret(gd, &pub, &b.priv, 20, theirs), 0u);
    EXPECT_EQ(Bytes(mine, mine + 20), Bytes(theirs, theirs + 20));
    uint8_t z[21];
    uint32_t length = sizeof z;
    ASSERT_EQ(ks_dhPwdRawSharedSecret(gd, &b.pub, &protectedKey, 6, pw.data(), &length, z), 0u);
    EXPECT_EQ(sha1(Bytes(z, z + 21)), Bytes(mine, mine + 20));
    const Bytes wrong = {'w'};
    ksErrorCode rc = ks_dhPwdSharedSecret(gd, &b.pub, &protectedKey, 1, wrong.data(), 20, mine);
    if (rc == 0)
        EXPECT_NE(Bytes(mine, mine + 20), Bytes(theirs, theirs + 20));
    else
        EXPECT_EQ(rc, 3u);
}

TEST_F(KeyAgreementCalls, RefusedPointsAndArguments) {
    uint8_t key[21];
    // The point of order 2, (0, sqrt(b)), in compressed form: x = 0 is refused.
    ksPublicKey zeroX{};
    zeroX.length = 22;
    zeroX.key[0] = 0x02;
    EXPECT_EQ(ks_dhSharedSecret(gd, &zeroX, &a.priv, 20, key), 3u);
    // A private value of n (reduced: 0) gives the point at infinity, which is refused.
    ksPrivateKey order{};
    order.length = 21;
    BN_bn2binpad(curve.context().order(), order.key, 21);
    EXPECT_EQ(ks_dhSharedSecret(gd, &b.pub, &order, 20, key), 3u);
    // A record stating fewer octets still has its first L read.
    ksPrivateKey shortened = a.priv;
    shortened.length = 5;
    EXPECT_EQ(rawSecret(gd, b.pub, shortened), rawSecret(gd, b.pub, a.priv));

    ksPrivateKey stated41 = a.priv;
    stated41.length = 41;
    const Bytes info(2049, 1);
    uint8_t z[21];
    uint32_t shortLength = 20;
    uint32_t mqvLength = 20;
    const ksErrorCode dhRaw = ks_dhRawSharedSecret(gd, &b.pub, &a.priv, &shortLength, z);
    const ksErrorCode mqvRaw = ks_mqvRawSharedSecret(gd, &b.pub, &a.priv, &b.pub, &a.priv, &a.pub, &mqvLength, z);
    EXPECT_EQ(dhRaw, 7u);
    EXPECT_EQ(shortLength, 21u);
    EXPECT_EQ(mqvRaw, 4u);
    EXPECT_EQ(mqvLength, 21u);
    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    const Case cases[] = {
        {"key of 21", ks_dhSharedSecret(gd, &b.pub, &a.priv, 21, key), 6},
        {"key of 0", ks_dhSharedSecret(gd, &b.pub, &a.priv, 0, key), 6},
        {"key of 20", ks_dhSharedSecret(gd, &b.pub, &a.priv, 20, key), 0},
        {"local of 41", ks_dhSharedSecret(gd, &b.pub, &stated41, 20, key), 0x401},
        {"local of 41 with info", ks_dhSharedSecretWithAddInfo(gd, &b.pub, &stated41, 1, info.data(), 20, key), 0},
        {"no info", ks_dhSharedSecretWithAddInfo(gd, &b.pub, &a.priv, 0, nullptr, 20, key), 8},
        {"info of 2049", ks_dhSharedSecretWithAddInfo(gd, &b.pub, &a.priv, 2049, info.data(), 20, key), 4},
        {"info of 2048", ks_dhSharedSecretWithAddInfo(gd, &b.pub, &a.priv, 2048, info.data(), 20, key), 0},
        {"no remote", ks_dhSharedSecret(gd, nullptr, &a.priv, 20, key), 0x405},
        {"no local", ks_dhSharedSecret(gd, &b.pub, nullptr, 20, key), 0x404},
        {"no output", ks_dhSharedSecret(gd, &b.pub, &a.priv, 20, nullptr), 0x0D},
        {"raw without length", ks_dhRawSharedSecret(gd, &b.pub, &a.priv, nullptr, z), 0x0E},
        {"no private out", ks_dhGenerateValues(gd, &a.pub, nullptr), 0x404},
        {"MQV no remote static", ks_mqvSharedSecret(gd, &b.pub, &a.priv, nullptr, &a.priv, &a.pub, 20, key), 0x406},
        {"MQV no local static", ks_mqvSharedSecret(gd, &b.pub, &a.priv, &b.pub, nullptr, &a.pub, 20, key), 0x705},
        {"MQV remote static x = 0", ks_mqvSharedSecret(gd, &b.pub, &a.priv, &zeroX, &a.priv, &a.pub, 20, key), 0x403},
        {"MQV info of 2049",
         ks_mqvSharedSecretWithAddInfo(gd, &b.pub, &a.priv, &b.pub, &a.priv, &a.pub, 2049, info.data(), 20, key), 4},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

}  // namespace
}  // namespace tess::crypto::test
