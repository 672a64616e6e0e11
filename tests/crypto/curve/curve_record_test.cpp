// The shipped sect163k1 record: its checksum, what a change to it does, and
// what loading it into a library context gives.
#include "crypto/curve/curve_record.h"
#include "crypto/result_codes.h"
#include "tests/crypto/curve/sect163k1_fixture.h"

namespace tess::crypto::test {
namespace {

ksCurveParams changed(uint32_t offset, uint8_t xorMask) {
    ksCurveParams r = kSect163k1Record;
    r.octets[offset] ^= xorMask;
    return r;
}

// Restamps the checksum so that only the change itself is judged.
void restamp(ksCurveParams* r) {
    uint32_t sum = 0;
    ASSERT_EQ(curveChecksum(r, &sum), 0u);
    r->octets[34] = uint8_t(sum >> 24);
    r->octets[35] = uint8_t(sum >> 16);
    r->octets[36] = uint8_t(sum >> 8);
    r->octets[37] = uint8_t(sum);
}

TEST(CurveRecord, ShippedRecordValidates) {
    uint32_t sum = 0;
    ASSERT_EQ(curveChecksum(&kSect163k1Record, &sum), 0u);
    EXPECT_EQ(sum, 0x07487770u);
    EXPECT_EQ(a1579(&kSect163k1Record), 0u);
    EXPECT_EQ(a1579(nullptr), 0x608u);
}

TEST(CurveRecord, HashedOctetsAreCoveredAndOthersAreNot) {
    struct Case {
        const char* what;
        uint32_t offset;
        bool stillValid;
    } cases[] = {
        {"OID padding", 10, false},
        {"version", 32, false},
        {"reserved octet", 33, false},
        {"stored checksum", 37, false},
        {"field bits", 39, false},
        {"field type", 41, false},
        {"reduction value", 62, false},
        {"a", 104, false},
        {"b", 136, false},
        {"G.y last octet", 189, false},
        {"order", 234, false},
        {"cofactor", 248, false},
        {"curve order", 302, false},
        {"extra value 1", 334, false},
        {"extra value 2", 366, false},
        {"padding", 74, true},
        {"install id", 76, true},
        {"engine id", 80, true},
        {"a beyond L", 105, true},
        {"G beyond 2L", 190, true},
        {"order beyond its length", 236, true},
        {"extra value 1 beyond L", 335, true},
    };
    for (const Case& c : cases) {
        const ksCurveParams r = changed(c.offset, 0x10);
        EXPECT_EQ(a1579(&r), c.stillValid ? 0u : 0x601u) << c.what;
    }
}

TEST(CurveRecord, LengthRules) {
    ksCurveParams r = kSect163k1Record;
    r.octets[40] = 22;  // L must be 21 for m = 163
    uint32_t sum = 0;
    EXPECT_EQ(curveChecksum(&r, &sum), 1u);
    r = kSect163k1Record;
    r.octets[246] = 0;
    r.octets[247] = 0;  // cofactor of bit length 0
    EXPECT_EQ(curveChecksum(&r, &sum), 1u);
}

class RecordLoading : public ::testing::Test {
protected:
    std::vector<uint64_t> gdStorage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
    ksOptionsList options = optionsWithSeed(9);

    ksErrorCode init(const ksCurveParams* r) { return ks_initialize(r, &options, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr); }
    void TearDown() override { ks_end(gd); }
};

TEST_F(RecordLoading, ShippedRecordLoadsWithoutWorkArea) {
    ASSERT_EQ(init(&kSect163k1Record), 0u);
    uint32_t length = 0;
    const uint8_t* oid = nullptr;
    ASSERT_EQ(ks_getOID(gd, &length, &oid), 0u);
    const uint8_t want[] = {0x06, 0x05, 0x2B, 0x81, 0x04, 0x00, 0x01};
    ASSERT_EQ(length, 7u);
    EXPECT_EQ(std::memcmp(oid, want, 7), 0);
    const GlobalDataLayout* l = layoutOf(gd);
    EXPECT_EQ(l->fieldBits, 163u);
    EXPECT_EQ(l->fieldType, 6u);
    EXPECT_EQ(l->pointFormat, 3u);
    EXPECT_EQ(l->g.table, nullptr);

    // Without a table the base multiplication ignores the plain flag and
    // leaves k alone.
    ksIntReduced k{};
    k.count = 1;
    k.digits[0] = 5;
    ksPoint r{}, want5{};
    ASSERT_EQ(a1996(gd, 0, &k, &r), 0u);
    EXPECT_EQ(k.count, 1u);
    EXPECT_EQ(k.digits[0], 5u);
    ASSERT_EQ(a1993(gd, asInt(&k), &l->g, &want5), 0u);
    EXPECT_EQ(hexOf(r.x), hexOf(want5.x));
}

TEST_F(RecordLoading, RefusedRecords) {
    const ksCurveParams tampered = changed(150, 0x01);
    EXPECT_EQ(init(&tampered), 0x601u);
    EXPECT_NE(layoutOf(gd)->magic, KS_MAGIC);

    struct Case {
        const char* what;
        uint32_t offset;
        uint8_t value;
        ksErrorCode code;
    } cases[] = {
        // Install entry of another degree (a3103 is GF(2^233)).
        {"install entry for m = 233", 77, uint8_t(3103 >> 8), 3},
        {"unknown engine", 80, 0x00, 3},
        {"prime field type", 41, 4, 3},
        {"field type above 5", 41, 6, 3},
        {"a = 2 is no Koblitz curve", 104, 2, 3},
        {"cofactor 3: n h differs from the curve order", 248, 3, 3},
        {"base point off the curve", 189, 0x5A, 0x601},
        {"b = 0", 136, 0, 3},
    };
    for (const Case& c : cases) {
        ksCurveParams r = kSect163k1Record;
        if (c.offset == 77) {
            r.octets[76] = uint8_t(3103 & 0xFF);
            r.octets[77] = c.value;
        } else {
            r.octets[c.offset] = c.value;
        }
        restamp(&r);
        EXPECT_EQ(a1579(&r), 0u) << c.what;
        EXPECT_EQ(init(&r), c.code) << c.what;
        EXPECT_NE(layoutOf(gd)->magic, KS_MAGIC) << c.what;
    }
}

TEST_F(RecordLoading, CurveMembership) {
    ASSERT_EQ(init(&kSect163k1Record), 0u);
    GlobalDataLayout* l = layoutOf(gd);
    uint32_t flag = 9;
    ASSERT_EQ(a1687(gd, &l->g, &l->a, &l->b, &flag), 0u);
    EXPECT_EQ(flag, 1u);
    ksPoint off = l->g;
    off.y.words[0] ^= 1;
    ASSERT_EQ(a1687(gd, &off, &l->a, &l->b, &flag), 0u);
    EXPECT_EQ(flag, 0u);
    const ksPoint infinity{};
    ASSERT_EQ(a1687(gd, &infinity, &l->a, &l->b, &flag), 0u);
    EXPECT_EQ(flag, 1u);
    const ksFieldElement zero{};
    EXPECT_EQ(a1687(gd, &l->g, &l->a, &zero, &flag), 1u);
}

TEST(CurveRecordSizes, HeapSizeAndDataSize) {
    uint32_t size = 0;
    ASSERT_EQ(ks_heapSize(&kSect163k1Record, &size), 0u);
    EXPECT_EQ(size, 24528u);
    ASSERT_EQ(ks_dataSize(&kSect163k1Record, &size), 0u);
    EXPECT_EQ(size, KS_GLOBAL_DATA_SIZE);
}

}  // namespace
}  // namespace tess::crypto::test
