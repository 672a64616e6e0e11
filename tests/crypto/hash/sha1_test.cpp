// SHA-1 against the NIST CAVP byte-oriented vectors and FIPS 180's million
// 'a', both compression paths, and the context's check order and codes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "crypto/kestrel.h"
#include "crypto/hash/sha1_internal.h"
#include "tests/crypto/crypto_test_util.h"

using namespace tess::crypto::test;

namespace {

std::string sha1Hex(const Bytes& msg, std::mt19937& rng) {
    ksSha1Context ctx;
    EXPECT_EQ(ks_sha1Begin(nullptr, &ctx), 0u);
    // Random split points: every split must give the one-call digest.
    size_t pos = 0;
    while (pos < msg.size()) {
        const size_t n = std::min<size_t>(msg.size() - pos, rng() % 150);
        EXPECT_EQ(ks_sha1Hash(nullptr, uint32_t(n), msg.data() + pos, &ctx), 0u);
        pos += n;
    }
    ksDigest d{};
    EXPECT_EQ(ks_sha1End(nullptr, &ctx, &d), 0u);
    EXPECT_EQ(d.length, 20u);
    return toHex(d.digest, 20);
}

TEST(Sha1, CavpShortAndLongMessages) {
    std::mt19937 rng(1);
    int checked = 0;
    for (const char* file : {"SHA1ShortMsg.rsp", "SHA1LongMsg_first16.rsp"}) {
        for (const auto& r : readVectorFile(file)) {
            if (!r.has("Len")) continue;
            Bytes msg = fromHex(r.at("Msg"));
            msg.resize(std::stoul(r.at("Len")) / 8);  // Len 0 carries a dummy "00"
            EXPECT_EQ(sha1Hex(msg, rng), r.at("MD")) << file << " Len " << r.at("Len");
            ++checked;
        }
    }
    EXPECT_EQ(checked, 65 + 16);
}

TEST(Sha1, OneMillionA) {
    ksSha1Context ctx;
    ks_sha1Begin(nullptr, &ctx);
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i) {
        ks_sha1Hash(nullptr, 1000, reinterpret_cast<const uint8_t*>(chunk.data()), &ctx);
    }
    ksDigest d;
    ASSERT_EQ(ks_sha1End(nullptr, &ctx, &d), 0u);
    EXPECT_EQ(toHex(d.digest, 20), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, ExtensionAndPortableCompressionAgree) {
    std::mt19937 rng(2);
    uint8_t blocks[64 * 5];
    for (auto& b : blocks) b = uint8_t(rng());
    uint32_t h1[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    uint32_t h2[5];
    std::memcpy(h2, h1, sizeof h1);
    tess::crypto::sha1Compress(h1, blocks, 5);
    tess::crypto::sha1CompressPortable(h2, blocks, 5);
    EXPECT_EQ(std::memcmp(h1, h2, sizeof h1), 0);
}

uint32_t magicOf(const ksSha1Context& c) { return c.words[0]; }
bool allZero(const ksSha1Context& c) {
    for (uint32_t w : c.words) {
        if (w != 0) return false;
    }
    return true;
}

TEST(Sha1, CheckOrderAndCodes) {
    const uint8_t data[4] = {1, 2, 3, 4};
    ksDigest d;
    EXPECT_EQ(ks_sha1Begin(nullptr, nullptr), 5u);
    EXPECT_EQ(ks_sha1Hash(nullptr, 4, data, nullptr), 5u);
    EXPECT_EQ(ks_sha1End(nullptr, nullptr, &d), 5u);

    struct Case {
        const char* name;
        bool begun;
        uint32_t length;
        const uint8_t* data;
        bool end;
        bool digest;
        uint32_t code;
        bool wiped;
    } cases[] = {
        {"hash on a never-begun context", false, 4, data, false, true, 10, true},
        {"empty hash with no data", true, 0, nullptr, false, true, 0, false},
        {"hash with no data", true, 1, nullptr, false, true, 11, true},
        {"end on a never-begun context", false, 0, nullptr, true, true, 10, true},
        {"end without a digest record", true, 0, nullptr, true, false, 13, true},
    };
    for (const auto& c : cases) {
        ksSha1Context ctx;
        std::memset(&ctx, 0x5A, sizeof ctx);
        if (c.begun) ks_sha1Begin(nullptr, &ctx);
        const uint32_t code =
            c.end ? ks_sha1End(nullptr, &ctx, c.digest ? &d : nullptr) : ks_sha1Hash(nullptr, c.length, c.data, &ctx);
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(allZero(ctx), c.wiped) << c.name;
        if (!c.wiped) {
            EXPECT_EQ(magicOf(ctx), KS_MAGIC) << c.name;
        }
    }
}

TEST(Sha1, ContextStaysFormallyValidAfterEnd) {
    ksSha1Context ctx;
    ksDigest d;
    ks_sha1Begin(nullptr, &ctx);
    ASSERT_EQ(ks_sha1End(nullptr, &ctx, &d), 0u);
    EXPECT_EQ(toHex(d.digest, 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    const uint8_t a = 'a';
    EXPECT_EQ(ks_sha1Hash(nullptr, 1, &a, &ctx), 0u);
}

}  // namespace
