// MD5 and MD2 against the RFC 1321 and RFC 1319 test suites, split at the
// block edges, and the two families' check order and codes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "crypto/kestrel.h"
#include "tests/crypto/crypto_test_util.h"

using namespace tess::crypto::test;

namespace {

template <typename Ctx>
struct Family {
    ksErrorCode (*begin)(ksGlobalData*, Ctx*);
    ksErrorCode (*hash)(ksGlobalData*, uint32_t, const uint8_t*, Ctx*);
    ksErrorCode (*end)(ksGlobalData*, Ctx*, ksDigest*);
};
const Family<ksMd5Context> kMd5{ks_md5Begin, ks_md5Hash, ks_md5End};
const Family<ksMd2Context> kMd2{ks_md2Begin, ks_md2Hash, ks_md2End};

template <typename Ctx>
std::string digestSplit(const Family<Ctx>& f, const Bytes& msg, size_t split) {
    Ctx ctx;
    EXPECT_EQ(f.begin(nullptr, &ctx), 0u);
    split = std::min(split, msg.size());
    EXPECT_EQ(f.hash(nullptr, uint32_t(split), msg.data(), &ctx), 0u);
    EXPECT_EQ(f.hash(nullptr, uint32_t(msg.size() - split), msg.data() + split, &ctx), 0u);
    ksDigest d{};
    EXPECT_EQ(f.end(nullptr, &ctx, &d), 0u);
    EXPECT_EQ(d.length, 16u);
    return toHex(d.digest, 16);
}

TEST(Md5, Rfc1321Suite) {
    int checked = 0;
    for (const auto& v : readVectorFile("rfc-1321.txt")) {
        if (!v.has("Len")) continue;
        Bytes msg = fromHex(v.at("Msg"));
        msg.resize(std::stoul(v.at("Len")) / 8);
        for (size_t split : {0, 1, 55, 56, 63, 64, 65}) {
            EXPECT_EQ(digestSplit(kMd5, msg, split), v.at("MD")) << "Len " << v.at("Len");
        }
        ++checked;
    }
    EXPECT_EQ(checked, 7);
}

TEST(Md2, Rfc1319Suite) {
    std::ifstream in(vectorPath("rfc-1319.txt"));
    std::string message, digest;
    int checked = 0;
    while (std::getline(in, message)) {
        if (message.empty() || message[0] != '"') continue;
        std::getline(in, digest);
        const std::string text = message.substr(1, message.size() - 2);
        const Bytes msg(text.begin(), text.end());
        for (size_t split : {0, 1, 15, 16, 17, 32}) {
            EXPECT_EQ(digestSplit(kMd2, msg, split), digest) << text;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 7);
}

template <typename Ctx>
void checkCodes(const Family<Ctx>& f) {
    const uint8_t data[3] = {'a', 'b', 'c'};
    ksDigest d;
    Ctx ctx;
    EXPECT_EQ(f.begin(nullptr, nullptr), 5u);
    EXPECT_EQ(f.hash(nullptr, 3, data, nullptr), 5u);
    EXPECT_EQ(f.end(nullptr, nullptr, &d), 5u);

    std::memset(&ctx, 0x77, sizeof ctx);
    EXPECT_EQ(f.hash(nullptr, 3, data, &ctx), 10u);
    for (uint32_t w : ctx.words) ASSERT_EQ(w, 0u);

    // A missing data pointer or digest record is refused; the context stays usable.
    f.begin(nullptr, &ctx);
    EXPECT_EQ(f.hash(nullptr, 0, nullptr, &ctx), 0u);
    EXPECT_EQ(f.hash(nullptr, 3, nullptr, &ctx), 11u);
    EXPECT_EQ(f.hash(nullptr, 3, data, &ctx), 0u);
    EXPECT_EQ(f.end(nullptr, &ctx, nullptr), 13u);
    EXPECT_EQ(f.end(nullptr, &ctx, &d), 0u);
    // End ends the context: a second End wipes it and reports 10.
    EXPECT_EQ(f.end(nullptr, &ctx, &d), 10u);
    for (uint32_t w : ctx.words) ASSERT_EQ(w, 0u);
    EXPECT_EQ(f.hash(nullptr, 3, data, &ctx), 10u);
}

TEST(Md5, CheckOrderAndCodes) { checkCodes(kMd5); }
TEST(Md2, CheckOrderAndCodes) { checkCodes(kMd2); }

}  // namespace
