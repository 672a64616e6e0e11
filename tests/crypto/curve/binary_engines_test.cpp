// Binary curves through caller-built records against OpenSSL: the Koblitz
// engine on sect233k1 and sect239k1 with their fixed field modules, and
// engine A with the generic binary-field module (as ks_initializeCurve
// completes a record) on curves no fixed module covers and on some it does.
#include "tests/crypto/curve/engine_checks.h"

namespace tess::crypto::test {
namespace {

struct BinaryCase {
    const char* name;
    int nid;
    uint32_t install;  // 0: let ks_initializeCurve choose
    uint32_t engine;
};

void PrintTo(const BinaryCase& c, std::ostream* os) { *os << c.name; }

const BinaryCase kCases[] = {
    {"sect233k1_koblitz", NID_sect233k1, 3103, 1924},
    {"sect239k1_koblitz", NID_sect239k1, 3106, 1924},
    {"sect113r1", NID_sect113r1, 0, 0},
    {"sect131r1", NID_sect131r1, 0, 0},
    {"sect163r2", NID_sect163r2, 0, 0},
    {"sect193r1", NID_sect193r1, 0, 0},
    {"sect233r1", NID_sect233r1, 0, 0},
    {"c2pnb176v1", NID_X9_62_c2pnb176v1, 0, 0},
    {"sect233r1_fixed_field", NID_sect233r1, 3103, kBinaryGenericEngineId},
};

class BinaryEngines : public ::testing::TestWithParam<BinaryCase> {};

TEST_P(BinaryEngines, AgreeWithOpenSsl) {
    const BinaryCase& bc = GetParam();
    GroupPtr group(EC_GROUP_new_by_curve_name(bc.nid));
    ASSERT_TRUE(group);
    ksCurveParams record = recordFor(group.get(), oidOf(bc.nid));
    if (bc.install == 0) {
        ASSERT_EQ(ks_initializeCurve(&record), 0u);
    } else {
        ASSERT_TRUE(setEntries(&record, bc.install, bc.engine));
    }
    CurveContext c(record, group.get());
    ASSERT_EQ(c.status(), 0u);
    if (bc.install == 0) {
        EXPECT_EQ(c.layout()->engineTableId, kBinaryGenericEngineId);
        EXPECT_EQ(c.layout()->fieldMethodsId, kBinaryGenericFieldId);
    }
    // The Koblitz engine refuses scalars above 256 bits.
    checkEngine(c, {false, bc.engine != 1924}, 2, uint64_t(bc.nid));
}

INSTANTIATE_TEST_SUITE_P(Curves, BinaryEngines, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BinaryCase>& info) { return std::string(info.param.name); });

// Engine A thins its comb over the field's bit length.
TEST(BinaryGenericEngine, FreshPairScalarIsTheThinnedCombPlusTheBlindingScalar) {
    GroupPtr group(EC_GROUP_new_by_curve_name(NID_sect163r2));
    ksCurveParams record = recordFor(group.get(), oidOf(NID_sect163r2));
    ASSERT_EQ(ks_initializeCurve(&record), 0u);
    CurveContext c(record, group.get());
    checkFreshPairScalar(c, 163, 163);
}

// Engine A's own refusal: u P + v Q with v = 0 (mod n) and no table on Q.
TEST(BinaryGenericEngine, TwinWithoutInverseIsRefused) {
    GroupPtr group(EC_GROUP_new_by_curve_name(NID_sect113r1));
    ksCurveParams record = recordFor(group.get(), oidOf(NID_sect113r1));
    ASSERT_EQ(ks_initializeCurve(&record), 0u);
    CurveContext c(record, group.get());
    ASSERT_EQ(c.status(), 0u);
    ksIntReduced u, v;
    toInt(c.order(), &v);
    Bn one = newBn();
    BN_set_word(one.get(), 1);
    toInt(one.get(), &u);
    ksPoint g = c.layout()->g, plain = g;
    plain.table = nullptr;
    ksFieldElement x{};
    EXPECT_EQ(c.engine()->twinMultiplyX(c.gd(), mp::asInt(&u), &g, mp::asInt(&v), &plain, &x), 1u);
    // With the table on Q the two products are simply added: 1 G + n G = G.
    ASSERT_EQ(c.engine()->twinMultiplyX(c.gd(), mp::asInt(&u), &plain, mp::asInt(&v), &g, &x), 0u);
    EXPECT_EQ(BN_cmp(c.coordinate(x).get(), c.coordinate(g.x).get()), 0);
}

}  // namespace
}  // namespace tess::crypto::test
