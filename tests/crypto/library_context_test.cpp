// Library context: sizing, the initialisation check order, teardown, the
// information record and the octet helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace {

struct ContextBlock {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(KS_GLOBAL_DATA_SIZE, 0xCD);
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(bytes.data()); }
    GlobalDataLayout& layout() { return *reinterpret_cast<GlobalDataLayout*>(bytes.data()); }
    bool allZero() const {
        for (uint8_t b : bytes) {
            if (b != 0) return false;
        }
        return true;
    }
};

ksOptionsList goodOptions() {
    ksOptionsList o{};
    o.pointCompression = 7;  // not checked without a curve
    o.ecesCompression = -3;
    o.rngType = 1;
    o.seedLength = 32;
    for (int i = 0; i < 32; ++i) o.seed[i] = uint8_t(i * 7 + 1);
    return o;
}

// A record whose bytes are not a valid curve record.
const ksCurveParams* junkRecord() {
    static const uint8_t bytes[378] = {1, 2, 3};
    return reinterpret_cast<const ksCurveParams*>(bytes);
}

TEST(LibraryContext, Sizes) {
    uint32_t size = 99;
    EXPECT_EQ(ks_dataSize(nullptr, nullptr), 13u);
    EXPECT_EQ(ks_dataSize(nullptr, &size), 0u);
    EXPECT_EQ(size, 12600u);
    EXPECT_EQ(ks_dataSize(junkRecord(), &size), 0x601u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ks_heapSize(nullptr, nullptr), 13u);
    size = 99;
    EXPECT_EQ(ks_heapSize(nullptr, &size), 0x608u);
    EXPECT_EQ(size, 0u);
}

TEST(LibraryContext, InitialiseCheckOrder) {
    ContextBlock block;
    ksOptionsList options = goodOptions();
    ksOptionsList badType = options;
    badType.rngType = 2;
    badType.seedLength = 31;  // type is judged first
    ksOptionsList shortSeed = options;
    shortSeed.seedLength = 31;
    ksOptionsList longSeed = options;
    longSeed.seedLength = 33;
    struct Case {
        const char* name;
        const ksCurveParams* curve;
        const ksOptionsList* options;
        uint32_t dataSize;
        bool context;
        uint32_t code;
    } cases[] = {
        {"bad record before missing options", junkRecord(), nullptr, 12600, true, 0x601},
        {"no options", nullptr, nullptr, 12600, true, 0x607},
        {"data size too small", nullptr, &options, 12599, true, 0x600},
        {"data size before context", nullptr, &options, 0, false, 0x600},
        {"no context", nullptr, &options, 12600, false, 0x605},
        {"generator type", nullptr, &badType, 12600, true, 0x802},
        {"seed length 31", nullptr, &shortSeed, 12600, true, 0x803},
        {"seed length 33", nullptr, &longSeed, 12600, true, 0x803},
        {"exact size", nullptr, &options, 12600, true, 0},
        {"larger size", nullptr, &options, 20000, true, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ks_initialize(c.curve, c.options, c.dataSize, 0, c.context ? block.gd() : nullptr, nullptr), c.code)
            << c.name;
    }
}

TEST(LibraryContext, InitialiseWithoutCurveAndEnd) {
    ContextBlock block;
    ksOptionsList options = goodOptions();
    ASSERT_EQ(ks_initialize(nullptr, &options, 12600, 0, block.gd(), nullptr), 0u);
    EXPECT_EQ(block.layout().magic, KS_MAGIC);
    EXPECT_EQ(block.layout().rng.magic, KS_MAGIC);
    EXPECT_EQ(block.layout().heap, nullptr);
    EXPECT_EQ(block.layout().heapSize, 0u);
    ksArc4ContextRequest request{};
    request.keyLength = 16;
    EXPECT_EQ(ks_arc4GenerateKey(block.gd(), &request), 0u);
    EXPECT_EQ(ks_end(nullptr), 2u);
    EXPECT_EQ(ks_end(block.gd()), 0u);
    EXPECT_TRUE(block.allZero());
    // Every context function now finds no magic word.
    EXPECT_EQ(ks_arc4GenerateKey(block.gd(), &request), 1u);
    ksDesContextRequest des{};
    EXPECT_EQ(ks_desGenerateKeys(block.gd(), &des), 1u);
}

TEST(LibraryContext, FailedReinitialisationLeavesTheContextInvalid) {
    ContextBlock block;
    ksOptionsList options = goodOptions();
    ASSERT_EQ(ks_initialize(nullptr, &options, 12600, 0, block.gd(), nullptr), 0u);
    ksOptionsList bad = options;
    bad.seedLength = 16;
    EXPECT_EQ(ks_initialize(nullptr, &bad, 12600, 0, block.gd(), nullptr), 0x803u);
    ksArc4ContextRequest request{};
    request.keyLength = 5;
    EXPECT_EQ(ks_arc4GenerateKey(block.gd(), &request), 1u);
}

TEST(LibraryContext, EndNeverWritesThroughAStaleHeapReference) {
    // A block that was never initialised, holding a heap reference to memory
    // that is long gone: ks_end must wipe the block and touch nothing else.
    ContextBlock block;
    auto freed = std::make_unique<uint8_t[]>(64);
    block.layout().heap = reinterpret_cast<ksHeap*>(freed.get());
    block.layout().heapSize = 64;
    std::memset(freed.get(), 0x77, 64);
    block.layout().magic = 0;
    EXPECT_EQ(ks_end(block.gd()), 0u);
    EXPECT_TRUE(block.allZero());
    for (int i = 0; i < 64; ++i) ASSERT_EQ(freed[i], 0x77);
}

TEST(LibraryContext, Info) {
    EXPECT_EQ(ks_getInfo(nullptr), 13u);
    ksInfo info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(ks_getInfo(&info), 0u);
    EXPECT_EQ(sizeof info, 80u);
    EXPECT_EQ(info.majorVersion, 2u);
    EXPECT_EQ(info.minorVersion, 4u);
    EXPECT_STREQ(info.build, "Build Number: $ProjectRevision: 2.811 $");
    EXPECT_LT(std::strlen(info.maker), sizeof info.maker);
    uint32_t magic = 0;
    EXPECT_EQ(a1558(&magic), 0u);
    EXPECT_EQ(std::memcmp(&magic, "KTCE", 4), 0);
}

TEST(LibraryContext, OctetHelpers) {
    const uint8_t octets[4] = {0x01, 0x02, 0x03, 0x04};
    uint32_t value = 0;
    struct Os2uint {
        uint32_t length;
        const uint8_t* octets;
        uint32_t* out;
        uint32_t code;
        uint32_t value;
    } reads[] = {
        {5, nullptr, &value, 6, 0},  {0, octets, &value, 6, 0},   {2, nullptr, &value, 11, 0},
        {2, octets, nullptr, 13, 0}, {2, octets, &value, 0, 258}, {4, octets, &value, 0, 0x01020304},
    };
    for (const auto& c : reads) {
        value = 0;
        EXPECT_EQ(ks_os2uint(c.length, c.octets, c.out), c.code);
        if (c.code == 0) {
            EXPECT_EQ(value, c.value);
        }
    }
    uint8_t out[6];
    ASSERT_EQ(ks_uint2os(258, 6, out), 0u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0, 0, 0, 0, 1, 2}));
    EXPECT_EQ(ks_uint2os(258, 3, out), 7u);
    EXPECT_EQ(ks_uint2os(258, 3, nullptr), 13u);
}

}  // namespace
