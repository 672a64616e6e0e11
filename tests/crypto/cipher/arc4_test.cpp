// ARC4 against RFC 6229's keystream vectors and OpenSSL's RC4, with the
// check order and codes.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <random>

#include "crypto/kestrel.h"
#include "tests/crypto/crypto_test_util.h"

using namespace tess::crypto::test;

namespace {

ksArc4ContextRequest request(const Bytes& key) {
    ksArc4ContextRequest r{};
    r.keyLength = uint32_t(key.size());
    std::memcpy(r.key, key.data(), key.size());
    return r;
}

TEST(Arc4, Rfc6229Keystream) {
    int checked = 0;
    for (const auto& v : readVectorFile("rfc-6229-80.txt")) {
        if (!v.has("KEY")) continue;
        const auto r = request(fromHex(v.at("KEY")));
        ksArc4Context ctx;
        ASSERT_EQ(ks_arc4Begin(nullptr, &r, &ctx), 0u);
        const size_t offset = std::stoul(v.at("OFFSET"));
        Bytes skip(offset);
        if (offset > 0) {
            ASSERT_EQ(ks_arc4Encrypt(nullptr, &ctx, skip.data(), uint32_t(offset), skip.data()), 0u);
        }
        const Bytes plain = fromHex(v.at("PLAINTEXT"));
        Bytes out(plain.size());
        ASSERT_EQ(ks_arc4Encrypt(nullptr, &ctx, plain.data(), uint32_t(plain.size()), out.data()), 0u);
        EXPECT_EQ(toHex(out), v.at("CIPHERTEXT")) << "offset " << offset;
        ++checked;
    }
    EXPECT_EQ(checked, 36);
}

TEST(Arc4, AgainstOpenSslForEveryKeyLengthEdge) {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    ASSERT_NE(legacy, nullptr);
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> rc4(EVP_CIPHER_fetch(nullptr, "RC4", nullptr),
                                                                EVP_CIPHER_free);
    ASSERT_TRUE(rc4);
    std::mt19937 rng(4);
    for (uint32_t keyLength : {1u, 2u, 5u, 16u, 255u, 256u}) {
        Bytes key(keyLength), data(1000);
        for (auto& b : key) b = uint8_t(rng());
        for (auto& b : data) b = uint8_t(rng());
        std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> e(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
        EVP_EncryptInit_ex(e.get(), rc4.get(), nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_key_length(e.get(), int(keyLength));
        EVP_EncryptInit_ex(e.get(), nullptr, nullptr, key.data(), nullptr);
        Bytes expected(data.size());
        int n = 0;
        EVP_EncryptUpdate(e.get(), expected.data(), &n, data.data(), int(data.size()));

        const auto r = request(key);
        ksArc4Context ctx;
        ASSERT_EQ(ks_arc4Begin(nullptr, &r, &ctx), 0u);
        Bytes buf = data;  // in place, in two calls
        ASSERT_EQ(ks_arc4Encrypt(nullptr, &ctx, buf.data(), 10, buf.data()), 0u);
        ASSERT_EQ(ks_arc4Encrypt(nullptr, &ctx, buf.data() + 10, 990, buf.data() + 10), 0u);
        EXPECT_EQ(buf, expected) << "key length " << keyLength;
        ASSERT_EQ(ks_arc4Begin(nullptr, &r, &ctx), 0u);
        ASSERT_EQ(ks_arc4Decrypt(nullptr, &ctx, buf.data(), 1000, buf.data()), 0u);
        EXPECT_EQ(buf, data);
    }
    OSSL_PROVIDER_unload(legacy);
}

TEST(Arc4, OneByteKeyEqualsItsRepetition) {
    ksArc4Context a, b;
    const auto r1 = request(Bytes(1, 0x5C));
    const auto r256 = request(Bytes(256, 0x5C));
    ks_arc4Begin(nullptr, &r1, &a);
    ks_arc4Begin(nullptr, &r256, &b);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

bool allZero(const ksArc4Context& c) {
    for (uint32_t w : c.words) {
        if (w != 0) return false;
    }
    return true;
}

TEST(Arc4, CheckOrderAndCodes) {
    auto r = request(Bytes(5, 1));
    ksArc4Context ctx;
    EXPECT_EQ(ks_arc4Begin(nullptr, nullptr, nullptr), 0x900u);
    for (uint32_t bad : {0u, 257u}) {
        r.keyLength = bad;
        EXPECT_EQ(ks_arc4Begin(nullptr, &r, nullptr), 0x901u);
    }
    r.keyLength = 5;
    EXPECT_EQ(ks_arc4Begin(nullptr, &r, nullptr), 5u);

    uint8_t buf[4] = {};
    struct Case {
        const char* name;
        bool encrypt;
        const uint8_t* in;
        uint32_t length;
        uint8_t* out;
        uint32_t code;
    } cases[] = {
        {"length 0, no buffers", true, nullptr, 0, nullptr, 0},
        {"encrypt, no plaintext", true, nullptr, 4, buf, 0x206},
        {"encrypt, no ciphertext", true, buf, 4, nullptr, 0x207},
        {"decrypt, no ciphertext", false, nullptr, 4, buf, 0x207},
        {"decrypt, no plaintext", false, buf, 4, nullptr, 0x206},
    };
    for (const auto& c : cases) {
        ks_arc4Begin(nullptr, &r, &ctx);
        auto call = c.encrypt ? ks_arc4Encrypt : ks_arc4Decrypt;
        EXPECT_EQ(call(nullptr, &ctx, c.in, c.length, c.out), c.code) << c.name;
        EXPECT_EQ(allZero(ctx), c.code != 0) << c.name;
    }
    std::memset(&ctx, 0x31, sizeof ctx);
    EXPECT_EQ(ks_arc4Encrypt(nullptr, &ctx, buf, 4, buf), 10u);
    EXPECT_TRUE(allZero(ctx));
    EXPECT_EQ(ks_arc4Encrypt(nullptr, nullptr, buf, 4, buf), 5u);
    ks_arc4Begin(nullptr, &r, &ctx);
    EXPECT_EQ(ks_arc4End(nullptr, &ctx), 0u);
    EXPECT_TRUE(allZero(ctx));
    EXPECT_EQ(ks_arc4End(nullptr, &ctx), 10u);
    EXPECT_EQ(ks_arc4End(nullptr, nullptr), 5u);
}

TEST(Arc4, GenerateKey) {
    std::vector<uint8_t> block(KS_GLOBAL_DATA_SIZE), twin(KS_GLOBAL_DATA_SIZE);
    auto* gd = reinterpret_cast<ksGlobalData*>(block.data());
    auto* gd2 = reinterpret_cast<ksGlobalData*>(twin.data());
    ksOptionsList o{};
    o.seedLength = 32;
    std::memset(o.seed, 0x21, 32);
    ASSERT_EQ(ks_initialize(nullptr, &o, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr), 0u);
    ASSERT_EQ(ks_initialize(nullptr, &o, KS_GLOBAL_DATA_SIZE, 0, gd2, nullptr), 0u);
    ksArc4ContextRequest r{};
    EXPECT_EQ(ks_arc4GenerateKey(nullptr, &r), 2u);
    EXPECT_EQ(ks_arc4GenerateKey(gd, nullptr), 0x900u);
    EXPECT_EQ(ks_arc4GenerateKey(gd, &r), 0x901u);
    r.keyLength = 257;
    EXPECT_EQ(ks_arc4GenerateKey(gd, &r), 0x901u);
    for (uint32_t length : {1u, 256u, 37u}) {
        r.keyLength = length;
        ASSERT_EQ(ks_arc4GenerateKey(gd, &r), 0u);
        Bytes expected(length);
        a3391(gd2, length, expected.data());  // one request of key-length bytes
        EXPECT_EQ(toHex(r.key, length), toHex(expected));
    }
    ks_end(gd);
    ks_end(gd2);
}

}  // namespace
