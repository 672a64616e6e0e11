// Integer Diffie-Hellman and X9.42: secrets against OpenSSL's DH both ways
// (and on moduli OpenSSL refuses), parameter generation and validation, key
// ranges, derivation and the hybrid secrets.
#include <openssl/dh.h>

#include <cstring>

#include "crypto/protocol/integer_groups.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

class Library {
public:
    Library() {
        const ksOptionsList options = seededOptions(21);
        EXPECT_EQ(ks_initialize(nullptr, &options, KS_GLOBAL_DATA_SIZE, 0, gd(), nullptr), 0u);
    }
    ~Library() { ks_end(gd()); }
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(storage_.data()); }

private:
    std::vector<uint64_t> storage_ = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
};

Bn bnOf(const uint8_t* area, uint32_t length) { return Bn(BN_bin2bn(area, int(length), nullptr)); }
Bn bnOf(const ksDhKey& k) { return bnOf(k.value, k.length); }

ksDhKey keyOf(const BIGNUM* v) {
    ksDhKey k{};
    k.length = uint32_t(BN_bn2bin(v, k.value));
    if (k.length == 0) k.length = 1;  // the value 0 in one octet
    return k;
}

struct DhFree {
    void operator()(DH* d) const { DH_free(d); }
};
using DhPtr = std::unique_ptr<DH, DhFree>;

DhPtr opensslDh(const ksDlParameters& params) {
    DhPtr dh(DH_new());
    DH_set0_pqg(dh.get(), bnOf(params.p, params.pLength).release(), bnOf(params.q, params.qLength).release(),
                bnOf(params.g, params.gLength).release());
    return dh;
}

Bytes rawSecret(ksGlobalData* gd, const ksDlParameters& params, const ksDhKey& x, const ksDhKey& y,
                ksErrorCode expected = 0) {
    ksDhSecret s{};
    EXPECT_EQ(ks_dhRawSecret(gd, &params, &x, &y, &s), expected);
    return Bytes(s.value, s.value + s.length);
}

class X942 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        lib = new Library;
        seedLength = 0;
        ASSERT_EQ(ks_dhX942GenerateParameters(lib->gd(), 512, 160, &seedLength, seed, &counter, &params), 0u);
    }
    static void TearDownTestSuite() { delete lib; }
    static Library* lib;
    static ksDlParameters params;
    static uint8_t seed[64];
    static uint32_t seedLength;
    static uint32_t counter;
};
Library* X942::lib = nullptr;
ksDlParameters X942::params{};
uint8_t X942::seed[64];
uint32_t X942::seedLength = 0;
uint32_t X942::counter = 0;

TEST_F(X942, ParametersRegenerateFromTheirSeed) {
    EXPECT_EQ(params.present, 7u);
    EXPECT_LE(seedLength, 20u);
    EXPECT_LT(counter, 4096u);
    BnCtx ctx(BN_CTX_new());
    Bn p = bnOf(params.p, params.pLength), q = bnOf(params.q, params.qLength);
    EXPECT_EQ(BN_num_bits(p.get()), 512);
    EXPECT_EQ(BN_num_bits(q.get()), 160);
    EXPECT_EQ(BN_check_prime(p.get(), ctx.get(), nullptr), 1);
    EXPECT_EQ(BN_check_prime(q.get(), ctx.get(), nullptr), 1);

    uint32_t valid = 7;
    ASSERT_EQ(ks_dhX942ValidateParameters(lib->gd(), seedLength, seed, counter, &params, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    uint8_t changed[64];
    std::memcpy(changed, seed, seedLength);
    changed[seedLength - 1] ^= 1;
    ASSERT_EQ(ks_dhX942ValidateParameters(lib->gd(), seedLength, changed, counter, &params, &valid), 0u);
    EXPECT_EQ(valid, 0u);
    ASSERT_EQ(ks_dhValidateParameters(lib->gd(), &params, &valid), 0u);
    EXPECT_EQ(valid, 1u);
}

TEST_F(X942, SecretsAgreeWithOpenssl) {
    ksDhKey x{}, y{};
    ASSERT_EQ(ks_dhGenerateKeyPair(lib->gd(), &params, &x, &y), 0u);
    // OpenSSL's key drawn by the test (its own generation wants q of 224 bits or more).
    DhPtr theirs = opensslDh(params);
    BnCtx ctx(BN_CTX_new());
    Bn theirX = newBn(), theirY = newBn();
    BN_rand_range(theirX.get(), bnOf(params.q, params.qLength).get());
    BN_mod_exp(theirY.get(), bnOf(params.g, params.gLength).get(), theirX.get(), bnOf(params.p, params.pLength).get(),
               ctx.get());
    const ksDhKey theirPub = keyOf(theirY.get());
    DH_set0_key(theirs.get(), theirY.release(), theirX.release());

    const Bytes ours = rawSecret(lib->gd(), params, x, theirPub);
    Bytes expected(64);
    const int n = DH_compute_key(expected.data(), bnOf(y).get(), theirs.get());
    ASSERT_GT(n, 0);
    expected.resize(size_t(n));
    EXPECT_EQ(ours, expected);

    ksDhSecret secret{};
    ASSERT_EQ(ks_dhRawSecret(lib->gd(), &params, &x, &theirPub, &secret), 0u);
    uint8_t key[20];
    const Bytes info = {1, 2, 3};
    ASSERT_EQ(ks_dhDeriveKey(lib->gd(), &secret, 3, info.data(), 16, key), 0u);
    Bytes zInfo = ours;
    zInfo.insert(zInfo.end(), info.begin(), info.end());
    const Bytes digest = sha1(zInfo);
    EXPECT_EQ(Bytes(key, key + 16), Bytes(digest.begin(), digest.begin() + 16));
    EXPECT_EQ(ks_dhDeriveKey(lib->gd(), &secret, 0, info.data(), 16, key), 4u);
    EXPECT_EQ(ks_dhDeriveKey(lib->gd(), &secret, 3, nullptr, 16, key), 8u);
    EXPECT_EQ(ks_dhDeriveKey(lib->gd(), &secret, 0, nullptr, 21, key), 7u);

    // Remote values outside 1 < y < p - 1 are refused.
    Bn p = bnOf(params.p, params.pLength);
    Bn pMinus1 = newBn();
    BN_sub(pMinus1.get(), p.get(), BN_value_one());
    Bn one = newBn();
    BN_one(one.get());
    for (const BIGNUM* bad : {one.get(), pMinus1.get(), p.get()}) rawSecret(lib->gd(), params, x, keyOf(bad), 3);
}

TEST_F(X942, KeysAndTheirValidation) {
    Bn q = bnOf(params.q, params.qLength);
    ksDhKey x{}, y{};
    uint32_t valid = 7;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(ks_dhX942GenerateKeyPair(lib->gd(), 64, &params, &x, &y), 0u);
        Bn xv = bnOf(x);
        EXPECT_GT(BN_num_bits(xv.get()), 64) << "x >= 2^64 + 1";
        Bn qMinus2 = newBn();
        BN_sub_word(BN_copy(qMinus2.get(), q.get()), 2);
        EXPECT_LE(BN_cmp(xv.get(), qMinus2.get()), 0);
        ASSERT_EQ(ks_dhX942ValidatePublicKey(lib->gd(), &params, &y, &valid), 0u);
        EXPECT_EQ(valid, 1u);
    }
    EXPECT_EQ(ks_dhX942GenerateKeyPair(lib->gd(), 160, &params, &x, &y), 0xE00u) << "no room above 2^b + 1";
    EXPECT_EQ(ks_dhX942GenerateKeyPair(lib->gd(), 0, &params, &x, &y), 0xE00u);

    // g itself is in the subgroup but is no X9.42 public key.
    ksDhKey g{};
    std::memcpy(g.value, params.g, params.gLength);
    g.length = params.gLength;
    ASSERT_EQ(ks_dhValidatePublicKey(lib->gd(), &params, &g, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    ASSERT_EQ(ks_dhX942ValidatePublicKey(lib->gd(), &params, &g, &valid), 0u);
    EXPECT_EQ(valid, 0u);

    Bn zero = newBn();
    BN_zero(zero.get());
    Bn qMinus1 = newBn();
    BN_sub(qMinus1.get(), q.get(), BN_value_one());
    struct Case {
        const BIGNUM* x;
        uint32_t valid;
    };
    for (const Case c : {Case{zero.get(), 0}, Case{qMinus1.get(), 1}, Case{q.get(), 0}}) {
        const ksDhKey k = keyOf(c.x);
        ASSERT_EQ(ks_dhValidatePrivateKey(lib->gd(), &params, &k, &valid), 0u);
        EXPECT_EQ(valid, c.valid);
    }
}

TEST_F(X942, HybridSecrets) {
    ksDhKey ls{}, lsPub{}, rs{}, rsPriv{}, le{}, lePub{}, re{}, rePriv{};
    ASSERT_EQ(ks_dhGenerateKeyPair(lib->gd(), &params, &ls, &lsPub), 0u);
    ASSERT_EQ(ks_dhGenerateKeyPair(lib->gd(), &params, &rsPriv, &rs), 0u);
    ASSERT_EQ(ks_dhGenerateKeyPair(lib->gd(), &params, &le, &lePub), 0u);
    ASSERT_EQ(ks_dhGenerateKeyPair(lib->gd(), &params, &rePriv, &re), 0u);
    Bytes expected = rawSecret(lib->gd(), params, le, re);
    const Bytes zs = rawSecret(lib->gd(), params, ls, rs);
    expected.insert(expected.end(), zs.begin(), zs.end());

    ksDhSecret mine{}, theirs{};
    ASSERT_EQ(ks_dhX942Hybrid1(lib->gd(), &params, &ls, &rs, &le, &re, &mine), 0u);
    EXPECT_EQ(Bytes(mine.value, mine.value + mine.length), expected);
    ASSERT_EQ(ks_dhX942Hybrid1(lib->gd(), &params, &rsPriv, &lsPub, &rePriv, &lePub, &theirs), 0u);
    EXPECT_EQ(Bytes(theirs.value, theirs.value + theirs.length), expected);
    // The remote's static and ephemeral keys equal: the static secret alone.
    ASSERT_EQ(ks_dhX942Hybrid1(lib->gd(), &params, &ls, &rs, &le, &rs, &mine), 0u);
    EXPECT_EQ(Bytes(mine.value, mine.value + mine.length), zs);
    // Hybrid 2 with one record twice is Hybrid 1.
    ASSERT_EQ(ks_dhX942Hybrid2(lib->gd(), &params, &ls, &rs, &params, &le, &re, &mine), 0u);
    EXPECT_EQ(Bytes(mine.value, mine.value + mine.length), expected);
    EXPECT_EQ(ks_dhX942Hybrid1(lib->gd(), &params, &ls, &rs, &le, &re, nullptr), 8u);
    EXPECT_EQ(ks_dhX942Hybrid2(lib->gd(), nullptr, &ls, &rs, &params, &le, &re, &mine), 0xE01u);
}

TEST(SafePrimeDh, SmallModuliTheBnWay) {
    Library lib;
    ksDlParameters params{};
    EXPECT_EQ(ks_dhGenerateParameters(lib.gd(), 15, &params), 0xE00u);
    EXPECT_EQ(ks_dhGenerateParameters(lib.gd(), 2049, &params), 0xE00u);
    ASSERT_EQ(ks_dhGenerateParameters(lib.gd(), 16, &params), 0u);
    Bn g = bnOf(params.g, params.gLength);
    EXPECT_TRUE(BN_is_word(g.get(), 2) || BN_is_word(g.get(), 3) || BN_is_word(g.get(), 4));
    uint32_t valid = 7;
    ASSERT_EQ(ks_dhValidateParameters(lib.gd(), &params, &valid), 0u);
    EXPECT_EQ(valid, 1u);

    // 256 bits: below what OpenSSL's DH takes, so the secret comes from BN arithmetic.
    ASSERT_EQ(ks_dhGenerateParameters(lib.gd(), 256, &params), 0u);
    BnCtx ctx(BN_CTX_new());
    Bn p = bnOf(params.p, params.pLength), q = bnOf(params.q, params.qLength);
    EXPECT_EQ(BN_num_bits(p.get()), 256);
    Bn twoQPlus1 = newBn();
    BN_lshift1(twoQPlus1.get(), q.get());
    BN_add_word(twoQPlus1.get(), 1);
    EXPECT_EQ(BN_cmp(twoQPlus1.get(), p.get()), 0);
    EXPECT_EQ(BN_check_prime(q.get(), ctx.get(), nullptr), 1);
    ksDhKey a{}, aPub{}, b{}, bPub{};
    ASSERT_EQ(ks_dhGenerateKeyPair(lib.gd(), &params, &a, &aPub), 0u);
    ASSERT_EQ(ks_dhGenerateKeyPair(lib.gd(), &params, &b, &bPub), 0u);
    const Bytes z = rawSecret(lib.gd(), params, a, bPub);
    EXPECT_EQ(z, rawSecret(lib.gd(), params, b, aPub));
    Bn expected = newBn();
    BN_mod_exp(expected.get(), bnOf(bPub).get(), bnOf(a).get(), p.get(), ctx.get());
    EXPECT_EQ(BN_cmp(bnOf(z.data(), uint32_t(z.size())).get(), expected.get()), 0);

    ksDlParameters noQ = params;
    noQ.present = 3;
    EXPECT_EQ(ks_dhValidatePublicKey(lib.gd(), &noQ, &aPub, &valid), 3u);
    EXPECT_EQ(ks_dhX942GenerateParameters(lib.gd(), 1000, 160, nullptr, nullptr, nullptr, &params), 0xE00u);
}

TEST(IntegerConversions, NumberedEntries) {
    const uint8_t octets[3] = {0x00, 0x12, 0x34};
    BIGNUM* v = nullptr;
    ASSERT_EQ(a2815(octets, 3, &v), 0u);
    Bn owned(v);
    EXPECT_TRUE(BN_is_word(v, 0x1234));
    uint8_t out[8];
    uint32_t length = 0;
    ASSERT_EQ(a1198(v, out, &length), 0u);
    EXPECT_EQ(Bytes(out, out + length), (Bytes{0x12, 0x34}));  // minimal form
    // Read into an existing integer.
    ASSERT_EQ(a2815(octets + 2, 1, &v), 0u);
    EXPECT_TRUE(BN_is_word(v, 0x34));
    Bn zero = newBn();
    BN_zero(zero.get());
    EXPECT_EQ(a1198(zero.get(), out, &length), 100u);
    EXPECT_EQ(a1198(nullptr, out, &length), 100u);
    EXPECT_EQ(a2815(octets, 0, &v), 200u);
    EXPECT_EQ(a2815(nullptr, 3, &v), 200u);
}

}  // namespace
}  // namespace tess::crypto::test
