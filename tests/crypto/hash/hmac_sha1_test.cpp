// HMAC-SHA1 against the NIST CAVP [L=20] vectors, key-length edges, the
// one-shot call, and the check order and codes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "crypto/kestrel.h"
#include "tests/crypto/crypto_test_util.h"

using namespace tess::crypto::test;

namespace {

Bytes streamed(const Bytes& key, const Bytes& msg, size_t split) {
    ksHmacSha1Context ctx;
    EXPECT_EQ(ks_hmacSha1Begin(nullptr, int32_t(key.size()), key.data(), &ctx), 0u);
    split = std::min(split, msg.size());
    if (split > 0) {
        EXPECT_EQ(ks_hmacSha1(nullptr, uint32_t(split), msg.data(), &ctx), 0u);
    }
    if (split < msg.size()) {
        EXPECT_EQ(ks_hmacSha1(nullptr, uint32_t(msg.size() - split), msg.data() + split, &ctx), 0u);
    }
    ksDigest d{};
    EXPECT_EQ(ks_hmacSha1End(nullptr, &ctx, &d), 0u);
    EXPECT_EQ(d.length, 20u);
    return Bytes(d.digest, d.digest + 20);
}

Bytes oneShot(const Bytes& key, const Bytes& msg) {
    ksDigest d{};
    EXPECT_EQ(ks_hmacSha1Message(nullptr, int32_t(key.size()), key.data(), uint32_t(msg.size()), msg.data(), &d), 0u);
    EXPECT_EQ(d.length, 20u);
    return Bytes(d.digest, d.digest + 20);
}

TEST(HmacSha1, CavpVectors) {
    int checked = 0;
    for (const auto& v : readVectorFile("HMAC_L20_every5th.rsp")) {
        if (!v.has("Mac")) continue;
        const Bytes key = fromHex(v.at("Key")), msg = fromHex(v.at("Msg"));
        const size_t tlen = std::stoul(v.at("Tlen"));
        const std::string mac = v.at("Mac");
        EXPECT_EQ(toHex(oneShot(key, msg)).substr(0, 2 * tlen), mac) << "Count " << v.at("Count");
        EXPECT_EQ(toHex(streamed(key, msg, size_t(checked) % 130)).substr(0, 2 * tlen), mac)
            << "Count " << v.at("Count");
        ++checked;
    }
    EXPECT_EQ(checked, 60);
}

TEST(HmacSha1, KeyLengthEdges) {
    const Bytes msg = {'d', 'a', 't', 'a'};
    Bytes key64(64), key65(65);
    for (size_t i = 0; i < 65; ++i) key65[i] = uint8_t(i + 1);
    std::copy(key65.begin(), key65.begin() + 64, key64.begin());
    ksDigest keyDigest;
    ksSha1Context sha;
    ks_sha1Begin(nullptr, &sha);
    ks_sha1Hash(nullptr, 65, key65.data(), &sha);
    ks_sha1End(nullptr, &sha, &keyDigest);
    const Bytes reduced(keyDigest.digest, keyDigest.digest + 20);
    EXPECT_EQ(oneShot(key65, msg), oneShot(reduced, msg));
    EXPECT_NE(oneShot(key64, msg), oneShot(Bytes(key64.begin(), key64.begin() + 63), msg));
    // An empty key (non-null) is a block of zeros.
    const uint8_t one = 0;
    ksDigest d;
    ASSERT_EQ(ks_hmacSha1Message(nullptr, 0, &one, 4, msg.data(), &d), 0u);
    EXPECT_EQ(Bytes(d.digest, d.digest + 20), oneShot(Bytes(64, 0), msg));
}

bool allZero(const ksHmacSha1Context& c) {
    for (uint32_t w : c.words) {
        if (w != 0) return false;
    }
    return true;
}

TEST(HmacSha1, CheckOrderAndCodes) {
    const uint8_t key[4] = {1, 2, 3, 4}, data[4] = {5, 6, 7, 8};
    ksDigest d;
    ksHmacSha1Context ctx;
    EXPECT_EQ(ks_hmacSha1Begin(nullptr, 4, key, nullptr), 5u);
    ctx.words[0] = KS_MAGIC;
    EXPECT_EQ(ks_hmacSha1Begin(nullptr, 0, nullptr, &ctx), 0x1101u);
    EXPECT_NE(ctx.words[0], KS_MAGIC);
    EXPECT_EQ(ks_hmacSha1Begin(nullptr, -1, key, &ctx), 0x1100u);

    // Without the magic word the context is refused and left as it is.
    std::memset(&ctx, 0x42, sizeof ctx);
    EXPECT_EQ(ks_hmacSha1(nullptr, 4, data, &ctx), 10u);
    EXPECT_EQ(ks_hmacSha1End(nullptr, &ctx, &d), 10u);
    EXPECT_EQ(ctx.words[10], 0x42424242u);
    EXPECT_EQ(ks_hmacSha1(nullptr, 4, data, nullptr), 5u);
    EXPECT_EQ(ks_hmacSha1End(nullptr, nullptr, &d), 5u);

    struct Case {
        const char* name;
        const uint8_t* data;
        uint32_t length;
        bool end;
        bool digest;
        uint32_t code;
    } cases[] = {
        {"no data", nullptr, 4, false, true, 11},
        {"length 0", data, 0, false, true, 6},
        {"no digest record", nullptr, 0, true, false, 13},
        {"end", nullptr, 0, true, true, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(ks_hmacSha1Begin(nullptr, 4, key, &ctx), 0u);
        const uint32_t code = c.end ? ks_hmacSha1End(nullptr, &ctx, c.digest ? &d : nullptr)
                                    : ks_hmacSha1(nullptr, c.length, c.data, &ctx);
        EXPECT_EQ(code, c.code) << c.name;
        // Every way out leaves nothing of the keyed states behind.
        EXPECT_TRUE(allZero(ctx)) << c.name;
        EXPECT_EQ(ks_hmacSha1End(nullptr, &ctx, &d), 10u) << c.name;
    }

    struct OneShot {
        const uint8_t* key;
        int32_t keyLength;
        const uint8_t* data;
        uint32_t length;
        ksDigest* digest;
        uint32_t code;
    } shots[] = {
        {nullptr, -1, nullptr, 0, nullptr, 0x1101},
        {key, -1, nullptr, 0, nullptr, 0x1100},
        {key, 4, nullptr, 0, nullptr, 11},
        {key, 4, data, 0, nullptr, 6},
        {key, 4, data, 4, nullptr, 13},
        {key, 4, data, 4, &d, 0},
    };
    for (const auto& s : shots) {
        EXPECT_EQ(ks_hmacSha1Message(nullptr, s.keyLength, s.key, s.length, s.data, s.digest), s.code);
    }
}

}  // namespace
