// Completion of caller-built records, the sizes a record asks for, and the
// refusals of loading and engine initialisation when the record's parts do
// not belong together or the curve does not have the shape its engine needs.
#include "crypto/field/prime_field.h"
#include "tests/crypto/curve/curve_fixture.h"

namespace tess::crypto::test {
namespace {

uint32_t le32At(const ksCurveParams& r, int offset) {
    return r.octets[offset] | (r.octets[offset + 1] << 8) | (r.octets[offset + 2] << 16) |
           (uint32_t(r.octets[offset + 3]) << 24);
}

ksCurveParams recordOf(int nid, const GroupPtr& group) { return recordFor(group.get(), oidOf(nid)); }

TEST(CurveCompletion, NamesTheGenericModuleAndEngineForTheFieldKind) {
    struct Case {
        int nid;
        uint32_t install;
        uint32_t engine;
    } cases[] = {{NID_X9_62_prime256v1, kPrimeGenericId, kPrimeGeneralEngineId},
                 {NID_sect163k1, kBinaryGenericFieldId, kBinaryGenericEngineId}};
    for (const Case& c : cases) {
        GroupPtr group(EC_GROUP_new_by_curve_name(c.nid));
        ksCurveParams r = recordOf(c.nid, group);
        r.octets[32] = 7;  // version and reserved are set
        r.octets[33] = 1;
        std::memset(r.octets + 314, 0xAB, 64);  // both extra values are cleared
        ASSERT_EQ(ks_initializeCurve(&r), 0u);
        EXPECT_EQ(r.octets[32], 2);
        EXPECT_EQ(r.octets[33], 0);
        EXPECT_EQ(le32At(r, 76), c.install);
        EXPECT_EQ(le32At(r, 80), c.engine);
        for (int i = 314; i < 378; ++i) ASSERT_EQ(r.octets[i], 0) << i;
        EXPECT_EQ(a1579(&r), 0u) << "the stored checksum validates";
    }
    EXPECT_EQ(ks_initializeCurve(nullptr), 0x608u);
    GroupPtr group(EC_GROUP_new_by_curve_name(NID_secp160r1));
    ksCurveParams bad = recordOf(NID_secp160r1, group);
    bad.octets[40] = 21;  // L does not match m = 160
    EXPECT_EQ(ks_initializeCurve(&bad), 0x601u);
}

TEST(CurveCompletion, WorkAreaIsTheCombTableForEveryEngine) {
    struct Case {
        int nid;
        uint32_t install;
        uint32_t engine;
        uint32_t heap;
    } cases[] = {
        {NID_secp160r1, kPrime160Id, kPrimeMinus3EngineId, 5 * 4032},
        {NID_X9_62_prime256v1, kPrimeP256Id, kPrimeGeneralEngineId, 8 * 4032},
        {NID_secp256k1, kPrimeGenericId, kEndomorphismEngineId, 8 * 4032},
        {NID_secp224r1, kPrimeP224Id, kPrimeMinus3EngineId, 7 * 4032},
        {NID_sect163k1, kBinaryGenericFieldId, kBinaryGenericEngineId, 6 * 4032},
        {NID_sect113r1, kBinaryGenericFieldId, kBinaryGenericEngineId, 4 * 4032},
    };
    for (const Case& c : cases) {
        GroupPtr group(EC_GROUP_new_by_curve_name(c.nid));
        ksCurveParams r = recordOf(c.nid, group);
        ASSERT_TRUE(setEntries(&r, c.install, c.engine));
        uint32_t size = 0;
        ASSERT_EQ(ks_heapSize(&r, &size), 0u) << OBJ_nid2sn(c.nid);
        EXPECT_EQ(size, c.heap) << OBJ_nid2sn(c.nid);
        ASSERT_EQ(ks_dataSize(&r, &size), 0u);
        EXPECT_EQ(size, uint32_t(KS_GLOBAL_DATA_SIZE));
    }
}

// Records whose install entry, engine, field kind and degree do not belong
// together, or whose curve lacks the shape the engine relies on: ks_initialize
// reports 3 and nothing runs on the wrong arithmetic.
TEST(CurveLoading, RefusesPartsThatDoNotBelongTogether) {
    struct Case {
        const char* what;
        int nid;
        uint32_t install;
        uint32_t engine;
    } cases[] = {
        {"binary engine on a prime field", NID_X9_62_prime256v1, kPrimeP256Id, kBinaryGenericEngineId},
        {"prime engine on a binary field", NID_sect163k1, kBinaryGenericFieldId, kPrimeGeneralEngineId},
        {"prime module for a binary record", NID_sect163k1, kPrimeGenericId, kBinaryGenericEngineId},
        {"binary module for a prime record", NID_secp160r1, kBinaryGenericFieldId, kPrimeGeneralEngineId},
        {"fixed P-256 module for P-224", NID_secp224r1, kPrimeP256Id, kPrimeMinus3EngineId},
        {"fixed P-192 module for secp192k1", NID_secp192k1, kPrimeP192Id, kPrimeGeneralEngineId},
        {"fixed 163-bit module for a 233-bit curve", NID_sect233r1, 3097, kBinaryGenericEngineId},
        {"Koblitz engine without a fixed binary module", NID_sect233k1, kBinaryGenericFieldId, 1924},
        {"unknown install entry", NID_secp160r1, 2429, kPrimeMinus3EngineId},
        {"engine D on a curve with a != -3", NID_brainpoolP256r1, kPrimeGenericId, kPrimeMinus3EngineId},
        {"engine F on a curve with a != 0", NID_X9_62_prime256v1, kPrimeP256Id, kEndomorphismEngineId},
        {"engine E without a Montgomery form", NID_X9_62_prime256v1, kPrimeP256Id, kMontgomeryEngineId},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GroupPtr group(EC_GROUP_new_by_curve_name(c.nid));
        ksCurveParams r = recordOf(c.nid, group);
        ASSERT_TRUE(setEntries(&r, c.install, c.engine));
        for (bool heap : {true, false}) {
            CurveContext ctx(r, group.get(), heap);
            EXPECT_EQ(ctx.status(), 3u) << "with heap " << heap;
        }
    }
}

TEST(CurveLoading, RefusesADegreeTheGenericBinaryModuleCannotHold) {
    // x^64 + x^4 + x^3 + x + 1: degree a multiple of 32.
    GroupPtr group(EC_GROUP_new_by_curve_name(NID_sect113r1));
    ksCurveParams r = recordOf(NID_sect113r1, group);
    r.octets[38] = 0;
    r.octets[39] = 64;
    r.octets[40] = 8;
    std::memset(r.octets + 42, 0, 32);
    r.octets[49] = 0x1B;
    ASSERT_EQ(ks_initializeCurve(&r), 0u);
    uint32_t size = 0;
    EXPECT_EQ(ks_heapSize(&r, &size), 0u);
    const ksOptionsList options = seededOptions(1);
    std::vector<uint64_t> storage(KS_GLOBAL_DATA_SIZE / 8 + 1);
    EXPECT_EQ(
        ks_initialize(&r, &options, KS_GLOBAL_DATA_SIZE, 0, reinterpret_cast<ksGlobalData*>(storage.data()), nullptr),
        3u);
}

TEST(CurveLoading, CompletedRecordsLoadAndNameTheirOid) {
    GroupPtr group(EC_GROUP_new_by_curve_name(NID_brainpoolP192t1));
    ksCurveParams r = recordOf(NID_brainpoolP192t1, group);
    ASSERT_EQ(ks_initializeCurve(&r), 0u);
    CurveContext c(r, group.get(), false);
    ASSERT_EQ(c.status(), 0u);
    uint32_t length = 0;
    const uint8_t* oid = nullptr;
    ASSERT_EQ(ks_getOID(c.gd(), &length, &oid), 0u);
    const std::vector<uint8_t> want = oidOf(NID_brainpoolP192t1);
    ASSERT_EQ(length, want.size());
    EXPECT_EQ(std::memcmp(oid, want.data(), length), 0);
    // Without a work area the base multiplication falls back to multiply and
    // leaves the scalar as it was, whatever the flag.
    ksIntReduced k;
    Bn v = newBn();
    BN_set_word(v.get(), 12345);
    toInt(v.get(), &k);
    ksPoint out{};
    ASSERT_EQ(a1996(c.gd(), 0, &k, &out), 0u);
    EXPECT_TRUE(c.same(out, c.mul(v.get()).get()));
    EXPECT_EQ(BN_cmp(fromInt(mp::asInt(&k)).get(), v.get()), 0);
}

}  // namespace
}  // namespace tess::crypto::test
