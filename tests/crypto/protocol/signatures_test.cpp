// ECDSA against OpenSSL in both directions on every curve both know, the CAVP
// SigGen (with the published nonce), SigVer and PKV vectors, EC-NR round trips,
// and the signature calls' refusals.
#include <cctype>
#include <cstring>
#include <map>
#include <random>

#include "crypto/protocol/key_pairs.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

struct EcdsaSigFree {
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};
using EcdsaSig = std::unique_ptr<ECDSA_SIG, EcdsaSigFree>;

ksSignature toOurs(const ECDSA_SIG* sig, uint32_t nB) {
    ksSignature out{};
    BN_bn2binpad(ECDSA_SIG_get0_r(sig), out.signature, int(nB));
    BN_bn2binpad(ECDSA_SIG_get0_s(sig), out.signature + nB, int(nB));
    out.length = 2 * nB;
    return out;
}

EcdsaSig toOpenssl(const ksSignature& sig) {
    const int nB = int(sig.length / 2);
    EcdsaSig out(ECDSA_SIG_new());
    ECDSA_SIG_set0(out.get(), BN_bin2bn(sig.signature, nB, nullptr), BN_bin2bn(sig.signature + nB, nB, nullptr));
    return out;
}

ksSignature streamSign(ksGlobalData* gd, const ksPrivateKey& key, const Bytes& message) {
    ksEcdsaContext ctx{};
    ksSignature sig{};
    EXPECT_EQ(ks_ecdsaSignBegin(gd, &ctx), 0u);
    // Two updates, to exercise the stream.
    const uint32_t half = uint32_t(message.size() / 2);
    EXPECT_EQ(ks_ecdsaSign(gd, half, message.data(), &ctx), 0u);
    EXPECT_EQ(ks_ecdsaSign(gd, uint32_t(message.size()) - half, message.data() + half, &ctx), 0u);
    EXPECT_EQ(ks_ecdsaSignEnd(gd, &key, &sig, &ctx), 0u);
    return sig;
}

uint32_t streamVerify(ksGlobalData* gd, const ksPublicKey& key, const ksSignature& sig, const Bytes& message) {
    ksEcdsaContext ctx{};
    uint32_t valid = 7;
    EXPECT_EQ(ks_ecdsaVerifyBegin(gd, &ctx), 0u);
    EXPECT_EQ(ks_ecdsaVerify(gd, uint32_t(message.size()), message.data(), &ctx), 0u);
    EXPECT_EQ(ks_ecdsaVerifyEnd(gd, &key, &sig, &ctx, &valid), 0u);
    return valid;
}

std::vector<int> openSslCurves() {
    std::vector<EC_builtin_curve> all(EC_get_builtin_curves(nullptr, 0));
    EC_get_builtin_curves(all.data(), all.size());
    std::vector<int> nids;
    for (const auto& c : all) {
        GroupPtr g(EC_GROUP_new_by_curve_name(c.nid));
        if (g && EC_GROUP_get_degree(g.get()) <= 256) nids.push_back(c.nid);
    }
    return nids;
}

class EcdsaWithOpenssl : public ::testing::TestWithParam<int> {};

TEST_P(EcdsaWithOpenssl, SignaturesCrossInBothDirections) {
    Curve curve(GetParam());
    if (curve.status() != 0)
        GTEST_SKIP() << OBJ_nid2sn(GetParam()) << " is not a curve the library takes (" << curve.status() << ")";
    if (BN_check_prime(curve.context().order(), curve.context().ctx(), nullptr) != 1)
        GTEST_SKIP() << OBJ_nid2sn(GetParam()) << " has no prime order: no ECDSA there";
    ksGlobalData* gd = curve.gd();
    ksPrivateKey priv{};
    ksPublicKey pub{};
    ASSERT_EQ(ks_genKeyPair(gd, &priv, &pub), 0u);
    EXPECT_EQ(priv.length, curve.L());
    EcKey key = opensslKey(curve, pub, &priv);
    ASSERT_EQ(EC_KEY_check_key(key.get()), 1) << "d G is not the public key";

    const int b = curve.orderBits();
    for (const char* text : {"abc", "a longer message that crosses no block boundary at all"}) {
        SCOPED_TRACE(text);
        const Bytes message(text, text + std::strlen(text));
        const Bytes h = sha1(message);
        const Bytes forOpenssl = opensslDigest(h, b);

        const ksSignature ours = streamSign(gd, priv, message);
        ASSERT_EQ(ours.length, 2 * curve.nB());
        EXPECT_EQ(ECDSA_do_verify(forOpenssl.data(), int(forOpenssl.size()), toOpenssl(ours).get(), key.get()), 1);

        EcdsaSig theirs(ECDSA_do_sign(forOpenssl.data(), int(forOpenssl.size()), key.get()));
        ASSERT_TRUE(theirs);
        const ksSignature converted = toOurs(theirs.get(), curve.nB());
        uint32_t valid = 7;
        ASSERT_EQ(ks_ecdsaNoHashVerify(gd, &pub, &converted, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 1u);
        EXPECT_EQ(streamVerify(gd, pub, converted, message), 1u);
        Bytes other = message;
        other[0] ^= 1;
        EXPECT_EQ(streamVerify(gd, pub, converted, other), 0u);

        // OpenSSL's x || y of the key converts to the key we generated.
        const ksPublicKey old = oldStyleKeyOf(curve, key.get());
        ksPublicKey converted2{};
        ASSERT_EQ(ks_old2newPublicKey(gd, &old, &converted2), 0u);
        EXPECT_EQ(Bytes(converted2.key, converted2.key + converted2.length), Bytes(pub.key, pub.key + pub.length));
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, EcdsaWithOpenssl, ::testing::ValuesIn(openSslCurves()), [](const auto& info) {
    std::string name = OBJ_nid2sn(info.param);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

TEST(EcdsaCurves, TheStandardCurvesAreTaken) {
    for (int nid :
         {NID_sect163k1, NID_sect163r2, NID_sect233k1, NID_sect233r1, NID_sect113r1, NID_sect131r1,
          NID_X9_62_prime192v1, NID_secp224r1, NID_X9_62_prime256v1, NID_secp256k1, NID_secp160r1, NID_secp112r1}) {
        Curve curve(nid);
        EXPECT_EQ(curve.status(), 0u) << OBJ_nid2sn(nid);
    }
}

// The nonce of a published vector, through the fresh-pair seam.
class FixedNonce {
public:
    explicit FixedNonce(const Bytes& k) {
        a1720(uint32_t(k.size()), k.data(), mp::asInt(&k_));
        setFreshScalarSource(&FixedNonce::source, this);
    }
    ~FixedNonce() { setFreshScalarSource(nullptr, nullptr); }

private:
    static uint32_t source(void* arg, ksIntReduced* k) {
        *k = static_cast<FixedNonce*>(arg)->k_;
        return 0;
    }
    ksIntReduced k_{};
};

// One context per curve section of a vector file.
class CurveCache {
public:
    Curve& operator[](const std::string& section) {
        auto& c = curves_[section];
        if (!c) c = std::make_unique<Curve>(nidOfCavpCurve(section));
        return *c;
    }

private:
    std::map<std::string, std::unique_ptr<Curve>> curves_;
};

// A vector's key: 0 and the key, or the conversion's refusal.
ksPublicKey vectorKey(Curve& curve, const std::string& qx, const std::string& qy, ksErrorCode* rc) {
    return keyFromCoordinates(curve.gd(), paddedHex(qx, curve.L()), paddedHex(qy, curve.L()), rc);
}

TEST(EcdsaVectors, SigGenWithThePublishedNonce) {
    CurveCache curves;
    int checked = 0;
    for (const auto& v : protocolVectors("ecdsa_siggen.txt")) {
        SCOPED_TRACE(v.section + " " + v.at("d"));
        Curve& curve = curves[v.section];
        ASSERT_EQ(curve.status(), 0u);
        ksPrivateKey priv{};
        const Bytes d = paddedHex(v.at("d"), curve.L());
        std::memcpy(priv.key, d.data(), d.size());
        priv.length = uint32_t(d.size());
        const Bytes h = sha1(fromHex(v.at("Msg")));

        ksSignature sig{};
        {
            FixedNonce nonce(paddedHex(v.at("k"), curve.nB()));
            ASSERT_EQ(ks_ecdsaNoHashSign(curve.gd(), &priv, 20, h.data(), &sig), 0u);
        }
        Bytes expected = paddedHex(v.at("R"), curve.nB());
        const Bytes s = paddedHex(v.at("S"), curve.nB());
        expected.insert(expected.end(), s.begin(), s.end());
        EXPECT_EQ(Bytes(sig.signature, sig.signature + sig.length), expected);

        ksErrorCode keyRc = 1;
        const ksPublicKey pub = vectorKey(curve, v.at("Qx"), v.at("Qy"), &keyRc);
        ASSERT_EQ(keyRc, 0u);
        uint32_t valid = 7;
        ASSERT_EQ(ks_ecdsaNoHashVerify(curve.gd(), &pub, &sig, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 1u);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(EcdsaVectors, SigVerPassesAndFailures) {
    CurveCache curves;
    for (const auto& v : protocolVectors("ecdsa_sigver.rsp")) {
        SCOPED_TRACE(v.section + " " + v.at("R") + " " + v.at("Result"));
        Curve& curve = curves[v.section];
        ASSERT_EQ(curve.status(), 0u);
        ksErrorCode keyRc = 1;
        const ksPublicKey pub = vectorKey(curve, v.at("Qx"), v.at("Qy"), &keyRc);
        ksSignature sig{};
        const Bytes r = paddedHex(v.at("R"), curve.nB());
        const Bytes s = paddedHex(v.at("S"), curve.nB());
        ASSERT_EQ(r.size() + s.size(), 2 * curve.nB());
        std::memcpy(sig.signature, r.data(), r.size());
        std::memcpy(sig.signature + r.size(), s.data(), s.size());
        sig.length = 2 * curve.nB();
        const Bytes h = sha1(fromHex(v.at("Msg")));
        uint32_t valid = 7;
        const ksErrorCode rc = keyRc != 0 ? keyRc : ks_ecdsaNoHashVerify(curve.gd(), &pub, &sig, 20, h.data(), &valid);
        if (v.at("Result")[0] == 'P') {
            EXPECT_EQ(rc, 0u);
            EXPECT_EQ(valid, 1u);
        } else {
            // A changed key may leave the curve: then the key itself is refused.
            EXPECT_TRUE((rc == 0 && valid == 0) || rc == 3) << rc << " " << valid;
        }
    }
}

TEST(EcdsaVectors, PublicKeyValidation) {
    CurveCache curves;
    for (const auto& v : protocolVectors("ecdsa_pkv.rsp")) {
        SCOPED_TRACE(v.section + " " + v.at("Qx") + " " + v.at("Result"));
        Curve& curve = curves[v.section];
        ASSERT_EQ(curve.status(), 0u);
        // Coordinates out of range may not fit L octets at all: those are refused by length.
        Bytes x = paddedHex(v.at("Qx"), curve.L());
        Bytes y = paddedHex(v.at("Qy"), curve.L());
        ksPublicKey old{};
        ksPublicKey fresh{};
        ksErrorCode rc = 0x70C;
        if (x.size() == curve.L() && y.size() == curve.L()) {
            std::memcpy(old.key, x.data(), x.size());
            std::memcpy(old.key + x.size(), y.data(), y.size());
            old.length = 2 * curve.L();
            rc = ks_old2newPublicKey(curve.gd(), &old, &fresh);
        }
        if (v.at("Result")[0] == 'P') {
            ASSERT_EQ(rc, 0u);
            ksPublicKey back{};
            ASSERT_EQ(ks_new2oldPublicKey(curve.gd(), &fresh, &back), 0u);
            EXPECT_EQ(Bytes(back.key, back.key + back.length), Bytes(old.key, old.key + old.length));
        } else {
            EXPECT_NE(rc, 0u);
        }
    }
}

class Sect163k1Signatures : public ::testing::Test {
protected:
    Curve curve{NID_sect163k1};
    ksGlobalData* gd = nullptr;
    ksPrivateKey priv{};
    ksPublicKey pub{};
    Bytes message = {'m', 'e', 's', 's', 'a', 'g', 'e'};

    void SetUp() override {
        ASSERT_EQ(curve.status(), 0u);
        gd = curve.gd();
        ASSERT_EQ(ks_genKeyPair(gd, &priv, &pub), 0u);
    }
};

TEST_F(Sect163k1Signatures, EcnrRoundTripsAndRefusesTampering) {
    ksEcnrContext ctx{};
    ksSignature sig{};
    ASSERT_EQ(ks_ecnrSignBegin(gd, &ctx), 0u);
    ASSERT_EQ(ks_ecnrSign(gd, uint32_t(message.size()), message.data(), &ctx), 0u);
    ASSERT_EQ(ks_ecnrSignEnd(gd, &priv, &ctx, &sig), 0u);
    EXPECT_EQ(sig.length, 42u);
    auto verify = [&](const Bytes& m, const ksSignature& s) {
        ksEcnrContext v{};
        uint32_t valid = 7;
        EXPECT_EQ(ks_ecnrVerifyBegin(gd, &v), 0u);
        EXPECT_EQ(ks_ecnrVerify(gd, uint32_t(m.size()), m.data(), &v), 0u);
        EXPECT_EQ(ks_ecnrVerifyEnd(gd, &pub, &s, &v, &valid), 0u);
        return valid;
    };
    EXPECT_EQ(verify(message, sig), 1u);
    Bytes other = message;
    other[2] ^= 4;
    EXPECT_EQ(verify(other, sig), 0u);
    for (size_t i : {size_t(0), size_t(20), size_t(41)}) {
        ksSignature bad = sig;
        bad.signature[i] ^= 0x10;
        EXPECT_EQ(verify(message, bad), 0u) << i;
    }
    // The caller-digest form agrees with the stream.
    const Bytes h = sha1(message);
    uint32_t valid = 7;
    ASSERT_EQ(ks_ecnrNoHashVerify(gd, &pub, &sig, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);
    ksSignature direct{};
    ASSERT_EQ(ks_ecnrNoHashSign(gd, &priv, 20, h.data(), &direct), 0u);
    EXPECT_EQ(verify(message, direct), 1u);
}

TEST_F(Sect163k1Signatures, RangeChecksOfRAndS) {
    const Bytes h = sha1(message);
    Bn n = newBn();
    BN_copy(n.get(), curve.context().order());
    auto withValues = [&](const BIGNUM* r, const BIGNUM* s) {
        ksSignature sig{};
        BN_bn2binpad(r, sig.signature, 21);
        BN_bn2binpad(s, sig.signature + 21, 21);
        sig.length = 42;
        return sig;
    };
    Bn zero = newBn(), one = newBn();
    BN_zero(zero.get());
    BN_one(one.get());
    struct Case {
        const BIGNUM* r;
        const BIGNUM* s;
    };
    for (const Case c : {Case{zero.get(), one.get()}, Case{n.get(), one.get()}, Case{one.get(), zero.get()},
                         Case{one.get(), n.get()}}) {
        const ksSignature sig = withValues(c.r, c.s);
        uint32_t valid = 7;
        ASSERT_EQ(ks_ecdsaNoHashVerify(gd, &pub, &sig, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 0u);
    }
    // EC-NR takes s = 0 as a possible value but refuses r = 0 and values of n.
    for (const Case c : {Case{zero.get(), one.get()}, Case{n.get(), one.get()}, Case{one.get(), n.get()}}) {
        const ksSignature sig = withValues(c.r, c.s);
        uint32_t valid = 7;
        ASSERT_EQ(ks_ecnrNoHashVerify(gd, &pub, &sig, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 0u);
    }
}

TEST_F(Sect163k1Signatures, PasswordKeysSign) {
    const uint8_t password[] = "correct horse";
    ksProtectedKey protectedKey{};
    ksPublicKey protectedPub{};
    ASSERT_EQ(ks_genPwdKeyPair(gd, sizeof password - 1, password, &protectedKey, &protectedPub), 0u);
    const Bytes h = sha1(message);
    ksSignature sig{};
    ASSERT_EQ(ks_ecdsaNoHashPwdSign(gd, sizeof password - 1, password, &protectedKey, 20, h.data(), &sig), 0u);
    uint32_t valid = 7;
    ASSERT_EQ(ks_ecdsaNoHashVerify(gd, &protectedPub, &sig, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);

    ksEcdsaContext ctx{};
    ASSERT_EQ(ks_ecdsaSignBegin(gd, &ctx), 0u);
    ASSERT_EQ(ks_ecdsaSign(gd, uint32_t(message.size()), message.data(), &ctx), 0u);
    ASSERT_EQ(ks_ecdsaPwdSignEnd(gd, sizeof password - 1, password, &protectedKey, &sig, &ctx), 0u);
    ASSERT_EQ(ks_ecdsaNoHashVerify(gd, &protectedPub, &sig, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);

    ksEcnrContext nr{};
    ASSERT_EQ(ks_ecnrSignBegin(gd, &nr), 0u);
    ASSERT_EQ(ks_ecnrSign(gd, uint32_t(message.size()), message.data(), &nr), 0u);
    ASSERT_EQ(ks_ecnrPwdSignEnd(gd, sizeof password - 1, password, &protectedKey, &nr, &sig), 0u);
    ASSERT_EQ(ks_ecnrNoHashVerify(gd, &protectedPub, &sig, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);
}

TEST_F(Sect163k1Signatures, PrivateKeysAboveTheOrderAreReduced) {
    // d + n in 40 octets signs as d does: OpenSSL verifies with d's public key.
    Bn d(BN_bin2bn(priv.key, int(priv.length), nullptr));
    BN_add(d.get(), d.get(), curve.context().order());
    ksPrivateKey wide{};
    wide.length = 40;
    BN_bn2binpad(d.get(), wide.key, 40);
    const Bytes h = sha1(message);
    ksSignature sig{};
    ASSERT_EQ(ks_ecdsaNoHashSign(gd, &wide, 20, h.data(), &sig), 0u);
    EcKey key = opensslKey(curve, pub);
    EXPECT_EQ(ECDSA_do_verify(h.data(), 20, toOpenssl(sig).get(), key.get()), 1);
}

// A compressed key whose x has a bit set at or above m names the same x as
// its reduction, but is not a field element: both verifications refuse it.
TEST_F(Sect163k1Signatures, UnreducedKeyXRefused) {
    const Bytes h = sha1(message);
    ksSignature ecdsa{};
    ksSignature ecnr{};
    ASSERT_EQ(ks_ecdsaNoHashSign(gd, &priv, 20, h.data(), &ecdsa), 0u);
    ASSERT_EQ(ks_ecnrNoHashSign(gd, &priv, 20, h.data(), &ecnr), 0u);
    ASSERT_EQ(pub.length, 22u);
    for (const uint8_t bit : {0x08, 0x80}) {
        SCOPED_TRACE(int(bit));
        ksPublicKey unreduced = pub;
        unreduced.key[1] |= bit;
        uint32_t valid = 1;
        EXPECT_EQ(ks_ecdsaNoHashVerify(gd, &unreduced, &ecdsa, 20, h.data(), &valid), 3u);
        EXPECT_EQ(ks_ecnrNoHashVerify(gd, &unreduced, &ecnr, 20, h.data(), &valid), 0x704u);
    }
    uint32_t valid = 0;
    EXPECT_EQ(ks_ecdsaNoHashVerify(gd, &pub, &ecdsa, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);
}

TEST_F(Sect163k1Signatures, StreamContextsAndArgumentsAreChecked) {
    ksEcdsaContext ctx{};
    ksSignature sig{};
    uint32_t valid = 0;
    const Bytes h = sha1(message);
    // A stream is used once: after End the context needs a new Begin.
    ASSERT_EQ(ks_ecdsaSignBegin(gd, &ctx), 0u);
    ASSERT_EQ(ks_ecdsaSign(gd, 3, message.data(), &ctx), 0u);
    ASSERT_EQ(ks_ecdsaSignEnd(gd, &priv, &sig, &ctx), 0u);
    EXPECT_EQ(ks_ecdsaSign(gd, 3, message.data(), &ctx), 10u);
    EXPECT_EQ(ks_ecdsaSignEnd(gd, &priv, &sig, &ctx), 10u);
    // Hashing nothing is refused and ends the stream.
    ASSERT_EQ(ks_ecdsaSignBegin(gd, &ctx), 0u);
    EXPECT_EQ(ks_ecdsaSign(gd, 0, message.data(), &ctx), 4u);
    EXPECT_EQ(ks_ecdsaSign(gd, 3, message.data(), &ctx), 10u);
    // A signature one octet short is refused and the context wiped.
    ASSERT_EQ(ks_ecdsaNoHashSign(gd, &priv, 20, h.data(), &sig), 0u);
    ksSignature shortSig = sig;
    shortSig.length = 41;
    ASSERT_EQ(ks_ecdsaVerifyBegin(gd, &ctx), 0u);
    EXPECT_EQ(ks_ecdsaVerifyEnd(gd, &pub, &shortSig, &ctx, &valid), 0xA00u);
    EXPECT_EQ(ks_ecdsaVerifyEnd(gd, &pub, &sig, &ctx, &valid), 10u);
    EXPECT_EQ(ks_ecdsaNoHashVerify(gd, &pub, &shortSig, 20, h.data(), &valid), 0xA00u);
    EXPECT_EQ(ks_ecnrNoHashVerify(gd, &pub, &shortSig, 20, h.data(), &valid), 0xB00u);

    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    ksPrivateKey emptyKey{};
    ksPublicKey badLength = pub;
    badLength.length = 20;
    // Keys of 0 and n reduce to 0: the signature would hold for any key.
    ksPrivateKey zeroKey{};
    zeroKey.length = 21;
    ksPrivateKey orderKey{};
    orderKey.length = 21;
    BN_bn2binpad(curve.context().order(), orderKey.key, 21);
    const Case cases[] = {
        {"no context", ks_ecdsaSignBegin(gd, nullptr), 5},
        {"no library", ks_ecdsaNoHashSign(nullptr, &priv, 20, h.data(), &sig), 2},
        {"no key", ks_ecdsaNoHashSign(gd, nullptr, 20, h.data(), &sig), 0x705},
        {"empty key", ks_ecdsaNoHashSign(gd, &emptyKey, 20, h.data(), &sig), 0x702},
        {"no signature", ks_ecdsaNoHashSign(gd, &priv, 20, h.data(), nullptr), 0xA01},
        {"no digest", ks_ecdsaNoHashSign(gd, &priv, 20, nullptr, &sig), 8},
        {"long digest", ks_ecdsaNoHashSign(gd, &priv, 21, h.data(), &sig), 4},
        {"no flag", ks_ecdsaNoHashVerify(gd, &pub, &sig, 20, h.data(), nullptr), 15},
        {"key length", ks_ecdsaNoHashVerify(gd, &badLength, &sig, 20, h.data(), &valid), 0x704},
        {"EC-NR empty key", ks_ecnrNoHashSign(gd, &emptyKey, 20, h.data(), &sig), 0x702},
        {"EC-NR no signature", ks_ecnrNoHashSign(gd, &priv, 20, h.data(), nullptr), 0xB01},
        {"key of 0", ks_ecdsaNoHashSign(gd, &zeroKey, 20, h.data(), &sig), 0x702},
        {"key of n", ks_ecdsaNoHashSign(gd, &orderKey, 20, h.data(), &sig), 0x702},
        {"EC-NR key of 0", ks_ecnrNoHashSign(gd, &zeroKey, 20, h.data(), &sig), 0x702},
        {"EC-NR key of n", ks_ecnrNoHashSign(gd, &orderKey, 20, h.data(), &sig), 0x702},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;

    // A compressed key whose x has no point on the curve is refused before any verification.
    ksPublicKey noPoint = pub;
    bool refused = false;
    for (int i = 0; i < 16 && !refused; ++i) {
        noPoint.key[20] = uint8_t(pub.key[20] + i + 1);
        refused = ks_ecdsaNoHashVerify(gd, &noPoint, &sig, 20, h.data(), &valid) == 3;
    }
    EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace tess::crypto::test
