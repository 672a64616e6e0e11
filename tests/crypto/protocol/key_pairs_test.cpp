// Key pairs, password-protected keys (read back with OpenSSL's DESX), the two
// public-key forms and the private-key range check.
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>

#include "crypto/protocol/key_pairs.h"
#include "crypto/mp/order_inverse.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

struct Providers {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    ~Providers() {
        if (legacy) OSSL_PROVIDER_unload(legacy);
        if (base) OSSL_PROVIDER_unload(base);
    }
};

// The protected key deciphered by OpenSSL: DESX-CBC under SHA-1 of the password
// over 128 octets of 0xAA (key, input whitening) and of 0x55 (output whitening, IV).
Bytes opensslUnprotect(const Bytes& password, const ksProtectedKey& key) {
    static Providers providers;
    auto digestOver = [&](uint8_t fill) {
        Bytes block(128, fill);
        std::memcpy(block.data(), password.data(), password.size());
        return sha1(block);
    };
    const Bytes d1 = digestOver(0xAA);
    const Bytes d2 = digestOver(0x55);
    Bytes desxKey(d1.begin() + 8, d1.begin() + 16);
    desxKey.insert(desxKey.end(), d1.begin(), d1.begin() + 8);
    desxKey.insert(desxKey.end(), d2.begin(), d2.begin() + 8);
    const Bytes iv(d2.begin() + 8, d2.begin() + 16);

    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(EVP_CIPHER_fetch(nullptr, "DESX-CBC", nullptr),
                                                                   EVP_CIPHER_free);
    if (!cipher) {
        ADD_FAILURE() << "OpenSSL has no DESX-CBC";
        return {};
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_DecryptInit_ex(ctx.get(), cipher.get(), nullptr, desxKey.data(), iv.data());
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    Bytes out(key.length + 8);
    int n = 0;
    int m = 0;
    EVP_DecryptUpdate(ctx.get(), out.data(), &n, key.key, int(key.length));
    EVP_DecryptFinal_ex(ctx.get(), out.data() + n, &m);
    out.resize(size_t(n + m));
    return out;
}

class KeyPairs : public ::testing::Test {
protected:
    Curve curve{NID_sect163k1};
    ksGlobalData* gd = nullptr;

    void SetUp() override {
        ASSERT_EQ(curve.status(), 0u);
        gd = curve.gd();
    }

    // 0 when the protected key signs for pub under the password.
    ksErrorCode signsFor(const Bytes& password, const ksProtectedKey& key, const ksPublicKey& pub) {
        const Bytes h = sha1(Bytes{1, 2, 3});
        ksSignature sig{};
        const ksErrorCode rc =
            ks_ecdsaNoHashPwdSign(gd, uint32_t(password.size()), password.data(), &key, 20, h.data(), &sig);
        if (rc != 0) return rc;
        uint32_t valid = 0;
        EXPECT_EQ(ks_ecdsaNoHashVerify(gd, &pub, &sig, 20, h.data(), &valid), 0u);
        return valid == 1 ? 0 : 0xFF;
    }
};

TEST_F(KeyPairs, GeneratedSizesAndValues) {
    for (int i = 0; i < 8; ++i) {
        ksPrivateKey priv{};
        ksPublicKey pub{};
        ASSERT_EQ(ks_genKeyPair(gd, &priv, &pub), 0u);
        EXPECT_EQ(priv.length, 21u);
        EXPECT_LE(priv.key[0], 0x03) << "private keys stay below 2^162";
        EXPECT_EQ(pub.length, 22u) << "the context writes compressed points";
        ksPublicKey old{};
        ASSERT_EQ(ks_new2oldPublicKey(gd, &pub, &old), 0u);
        EXPECT_EQ(old.length, 42u);
        ksPublicKey back{};
        ASSERT_EQ(ks_old2newPublicKey(gd, &old, &back), 0u);
        EXPECT_EQ(Bytes(back.key, back.key + back.length), Bytes(pub.key, pub.key + pub.length));
        EXPECT_EQ(EC_KEY_check_key(opensslKey(curve, pub, &priv).get()), 1);
    }
}

TEST_F(KeyPairs, ProtectedKeysAsOpensslReadsThem) {
    for (const Bytes& password : {Bytes{'p', 'w'}, Bytes(128, 'x'), Bytes(127, 0)}) {
        SCOPED_TRACE(password.size());
        ksProtectedKey protectedKey{};
        ksPublicKey pub{};
        ASSERT_EQ(ks_genPwdKeyPair(gd, uint32_t(password.size()), password.data(), &protectedKey, &pub), 0u);
        ASSERT_EQ(protectedKey.length, 24u);
        const Bytes plain = opensslUnprotect(password, protectedKey);
        ASSERT_EQ(plain.size(), 24u);
        EXPECT_EQ(plain[0], 21);
        EXPECT_EQ(Bytes(plain.begin() + 22, plain.end()), Bytes(2, 0));
        ksPrivateKey priv{};
        priv.length = 21;
        std::memcpy(priv.key, plain.data() + 1, 21);
        EXPECT_EQ(EC_KEY_check_key(opensslKey(curve, pub, &priv).get()), 1) << "the deciphered key is d";
        EXPECT_EQ(signsFor(password, protectedKey, pub), 0u);
    }
}

TEST_F(KeyPairs, ChangingThePassword) {
    const Bytes first = {'o', 'l', 'd'};
    const Bytes second = {'n', 'e', 'w', '!'};
    ksProtectedKey key{};
    ksPublicKey pub{};
    ASSERT_EQ(ks_genPwdKeyPair(gd, 3, first.data(), &key, &pub), 0u);
    const ksProtectedKey original = key;
    // The same password again gives the same ciphertext (the IV comes from the password).
    ASSERT_EQ(ks_changePwdKey(gd, 3, first.data(), 3, first.data(), &key), 0u);
    EXPECT_EQ(std::memcmp(&key, &original, sizeof key), 0);
    ASSERT_EQ(ks_changePwdKey(gd, 3, first.data(), 4, second.data(), &key), 0u);
    EXPECT_EQ(signsFor(second, key, pub), 0u);
    EXPECT_EQ(opensslUnprotect(second, key)[0], 21);

    // Wrong passwords fail through the length octet, or yield a wrong key; the
    // record is left as it was when the change fails.
    int refused = 0;
    for (uint8_t c = 'a'; c <= 'z'; ++c) {
        const Bytes wrong = {c};
        const ksProtectedKey before = key;
        const ksErrorCode rc = ks_changePwdKey(gd, 1, wrong.data(), 4, second.data(), &key);
        if (rc == 3) {
            ++refused;
            EXPECT_EQ(std::memcmp(&key, &before, sizeof key), 0);
        } else {
            EXPECT_EQ(rc, 0u);
            EXPECT_NE(signsFor(second, key, pub), 0u);
            key = before;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(KeyPairs, RefusalsAndTheirCodes) {
    const Bytes pw = {'p'};
    const Bytes longPw(129, 'p');
    ksProtectedKey key{};
    ksPublicKey pub{};
    ASSERT_EQ(ks_genPwdKeyPair(gd, 1, pw.data(), &key, &pub), 0u);
    ksProtectedKey shortKey = key;
    shortKey.length = 21;  // not whole blocks: refused, never partly deciphered
    ksProtectedKey tooLong = key;
    tooLong.length = 41;
    ksProtectedKey tiny = key;
    tiny.length = 4;
    ksPublicKey old{};
    ASSERT_EQ(ks_new2oldPublicKey(gd, &pub, &old), 0u);
    ksPublicKey oldShort = old;
    oldShort.length = 41;
    ksPublicKey oldLong = old;
    oldLong.length = 43;
    ksPublicKey oldEmpty{};
    ksPublicKey offCurve = old;
    offCurve.key[41] ^= 1;
    ksPublicKey out{};
    ksPrivateKey priv{};
    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    const Case cases[] = {
        {"no library", ks_genKeyPair(nullptr, &priv, &pub), 2},
        {"no private key", ks_genKeyPair(gd, nullptr, &pub), 0x705},
        {"no public key", ks_genKeyPair(gd, &priv, nullptr), 0x707},
        {"empty password", ks_genPwdKeyPair(gd, 0, pw.data(), &key, &pub), 0x701},
        {"129-octet password", ks_genPwdKeyPair(gd, 129, longPw.data(), &key, &pub), 0x701},
        {"no password", ks_genPwdKeyPair(gd, 1, nullptr, &key, &pub), 0x709},
        {"no protected key", ks_genPwdKeyPair(gd, 1, pw.data(), nullptr, &pub), 0x706},
        {"empty new password", ks_changePwdKey(gd, 1, pw.data(), 0, pw.data(), &key), 0x700},
        {"129-octet new password", ks_changePwdKey(gd, 1, pw.data(), 129, longPw.data(), &key), 0x700},
        {"no new password", ks_changePwdKey(gd, 1, pw.data(), 1, nullptr, &key), 0x708},
        {"protected key of 41", ks_changePwdKey(gd, 1, pw.data(), 1, pw.data(), &tooLong), 0x703},
        {"protected key of 21", ks_changePwdKey(gd, 1, pw.data(), 1, pw.data(), &shortKey), 3},
        {"protected key of 4", ks_changePwdKey(gd, 1, pw.data(), 1, pw.data(), &tiny), 3},
        {"old style of 2L - 1", ks_old2newPublicKey(gd, &oldShort, &out), 0x70C},
        {"old style of 2L + 1", ks_old2newPublicKey(gd, &oldLong, &out), 0x70C},
        {"old style empty", ks_old2newPublicKey(gd, &oldEmpty, &out), 0x70C},
        {"old style off the curve", ks_old2newPublicKey(gd, &offCurve, &out), 3},
        {"no old style", ks_old2newPublicKey(gd, nullptr, &out), 0x70A},
        {"no new style", ks_old2newPublicKey(gd, &old, nullptr), 0x70B},
        {"new style empty", ks_new2oldPublicKey(gd, &oldEmpty, &out), 0x70D},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;

    // Protecting refuses a key whose length octet and octets would not fit the record.
    ksPrivateKey wide{};
    wide.length = 40;
    ksProtectedKey sink{};
    EXPECT_EQ(protectPrivateKey(gd, 1, pw.data(), &wide, &sink), 1u);
}

TEST(KeyPairBits, LeftmostBits) {
    Bytes random(32);
    for (size_t i = 0; i < random.size(); ++i) random[i] = uint8_t(0x9D * (i + 3));
    Bn whole(BN_bin2bn(random.data(), 32, nullptr));
    struct Case {
        uint32_t bits;
        uint32_t length;
    };
    for (const Case c : {Case{162, 21}, Case{256, 32}, Case{160, 20}, Case{1, 1}, Case{300, 32}}) {
        SCOPED_TRACE(c.bits);
        Bytes octets = random;
        uint32_t length = 0;
        ASSERT_EQ(a2836(32, c.bits, &length, octets.data()), 0u);
        ASSERT_EQ(length, c.length);
        Bn expected = newBn();
        BN_rshift(expected.get(), whole.get(), c.bits >= 256 ? 0 : int(256 - c.bits));
        EXPECT_EQ(BN_cmp(Bn(BN_bin2bn(octets.data(), int(length), nullptr)).get(), expected.get()), 0);
        EXPECT_EQ(Bytes(octets.begin() + length, octets.end()), Bytes(32 - length, 0));
    }
}

TEST_F(KeyPairs, PrivateKeyRange) {
    Bn n = newBn();
    BN_copy(n.get(), curve.context().order());
    auto check = [&](int offsetFromN, bool fromZero) {
        Bn v = newBn();
        if (fromZero)
            BN_set_word(v.get(), static_cast<BN_ULONG>(offsetFromN));
        else {
            BN_copy(v.get(), n.get());
            BN_sub_word(v.get(), static_cast<BN_ULONG>(-offsetFromN));
        }
        ksIntReduced k{};
        toInt(v.get(), &k);
        return checkPrivateKey(gd, mp::asInt(&k));
    };
    EXPECT_EQ(check(2, true), 0u);
    EXPECT_EQ(check(-2, false), 0u);
    EXPECT_EQ(check(0, true), 0x702u);
    EXPECT_EQ(check(1, true), 0x702u);
    EXPECT_EQ(check(-1, false), 0x702u);
    EXPECT_EQ(check(0, false), 0x702u);
}

}  // namespace
}  // namespace tess::crypto::test

namespace tess::crypto::test {
namespace {

TEST(OrderInverse, AgreesWithOpensslOnEveryOrderSize) {
    std::mt19937_64 rng(7);
    BnCtx ctx(BN_CTX_new());
    for (int nid : {NID_sect163k1, NID_secp112r1, NID_X9_62_prime192v1, NID_X9_62_prime256v1, NID_secp256k1}) {
        GroupPtr group(EC_GROUP_new_by_curve_name(nid));
        Bn n = newBn();
        EC_GROUP_get_order(group.get(), n.get(), ctx.get());
        ksIntReduced nr{};
        toInt(n.get(), &nr);
        Bn nMinus1 = newBn();
        BN_sub(nMinus1.get(), n.get(), BN_value_one());
        std::vector<Bn> values;
        values.push_back(Bn(BN_dup(BN_value_one())));
        values.push_back(std::move(nMinus1));
        for (int i = 0; i < 20; ++i) values.push_back(randomBelow(rng, n.get()));
        for (const Bn& a : values) {
            if (BN_is_zero(a.get())) continue;
            ksIntReduced ar{}, out{};
            toInt(a.get(), &ar);
            ASSERT_EQ(orderInverse(mp::asInt(&ar), mp::asInt(&nr), &out), 0u);
            Bn expected(BN_mod_inverse(nullptr, a.get(), n.get(), ctx.get()));
            EXPECT_EQ(BN_cmp(fromInt(mp::asInt(&out)).get(), expected.get()), 0) << OBJ_nid2sn(nid);
        }
        // 0 and n have no inverse.
        ksIntReduced zero{}, out{};
        EXPECT_EQ(orderInverse(mp::asInt(&zero), mp::asInt(&nr), &out), 1u);
        EXPECT_EQ(orderInverse(mp::asInt(&nr), mp::asInt(&nr), &out), 1u);
    }
}

}  // namespace
}  // namespace tess::crypto::test
