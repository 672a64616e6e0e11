// Engines C, D and F against OpenSSL's EC on the prime curves of at most 256
// bits, each through a caller-built record: the fixed prime modules where
// one exists, the generic module otherwise, and every curve once more through
// ks_initializeCurve (generic module, engine C).
#include "tests/crypto/curve/engine_checks.h"

#include "crypto/curve/prime_curve_ops.h"
#include "crypto/field/prime_field.h"

namespace tess::crypto::test {
namespace {

struct PrimeCase {
    const char* name;
    int nid;
    uint32_t install;
    uint32_t engine;
};

constexpr uint32_t kGeneric = kPrimeGenericId;
constexpr uint32_t kD = kPrimeMinus3EngineId;
constexpr uint32_t kC = kPrimeGeneralEngineId;
constexpr uint32_t kF = kEndomorphismEngineId;

const PrimeCase kCases[] = {
    {"secp112r1", NID_secp112r1, kGeneric, kD},
    {"secp128r1", NID_secp128r1, kGeneric, kD},
    {"secp160r1", NID_secp160r1, kPrime160Id, kD},
    {"P-192", NID_X9_62_prime192v1, kPrimeP192Id, kD},
    {"P-224", NID_secp224r1, kPrimeP224Id, kD},
    {"P-256", NID_X9_62_prime256v1, kPrimeP256Id, kD},
    {"P-256 engine C", NID_X9_62_prime256v1, kPrimeP256Id, kC},
    {"brainpoolP160r1", NID_brainpoolP160r1, kGeneric, kC},
    {"brainpoolP192r1", NID_brainpoolP192r1, kGeneric, kC},
    {"brainpoolP224r1", NID_brainpoolP224r1, kGeneric, kC},
    {"brainpoolP256r1", NID_brainpoolP256r1, kGeneric, kC},
    {"brainpoolP160t1", NID_brainpoolP160t1, kGeneric, kD},
    {"brainpoolP192t1", NID_brainpoolP192t1, kGeneric, kD},
    {"brainpoolP224t1", NID_brainpoolP224t1, kGeneric, kD},
    {"brainpoolP256t1", NID_brainpoolP256t1, kGeneric, kD},
    {"secp160k1", NID_secp160k1, kGeneric, kF},
    {"secp192k1", NID_secp192k1, kGeneric, kF},
    {"secp224k1", NID_secp224k1, kGeneric, kF},
    {"secp256k1", NID_secp256k1, kGeneric, kF},
};

void PrintTo(const PrimeCase& c, std::ostream* os) { *os << c.name; }

class PrimeEngines : public ::testing::TestWithParam<PrimeCase> {};

TEST_P(PrimeEngines, AgreeWithOpenSsl) {
    const PrimeCase& pc = GetParam();
    GroupPtr group(EC_GROUP_new_by_curve_name(pc.nid));
    ASSERT_TRUE(group);
    ksCurveParams record = recordFor(group.get(), oidOf(pc.nid));
    ASSERT_TRUE(setEntries(&record, pc.install, pc.engine));
    CurveContext c(record, group.get());
    checkEngine(c, {true}, 4, uint64_t(pc.nid));
}

TEST_P(PrimeEngines, CompletedRecordUsesTheGenericModuleAndEngineC) {
    const PrimeCase& pc = GetParam();
    if (pc.engine == kC) GTEST_SKIP() << "covered above";
    GroupPtr group(EC_GROUP_new_by_curve_name(pc.nid));
    ksCurveParams record = recordFor(group.get(), oidOf(pc.nid));
    ASSERT_EQ(ks_initializeCurve(&record), 0u);
    CurveContext c(record, group.get());
    ASSERT_EQ(c.layout()->engineTableId, kC);
    ASSERT_EQ(c.layout()->fieldMethodsId, kGeneric);
    checkEngine(c, {true}, 1, uint64_t(pc.nid) * 3);
}

INSTANTIATE_TEST_SUITE_P(Curves, PrimeEngines, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PrimeCase>& info) {
                             std::string s = info.param.name;
                             for (char& ch : s)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return s;
                         });

// Engines C, D and F thin the comb over the order's bit length.
TEST(FreshPair, ScalarIsTheThinnedCombPlusTheBlindingScalar) {
    for (const PrimeCase& pc : {kCases[5], kCases[7], kCases[18]}) {
        SCOPED_TRACE(pc.name);
        GroupPtr group(EC_GROUP_new_by_curve_name(pc.nid));
        ksCurveParams record = recordFor(group.get(), oidOf(pc.nid));
        ASSERT_TRUE(setEntries(&record, pc.install, pc.engine));
        CurveContext c(record, group.get());
        checkFreshPairScalar(c, uint32_t(BN_num_bits(c.order())), uint64_t(pc.nid));
    }
}

// k = (-1)^s1 k1 + (-1)^s2 k2 lambda (mod n) for the lambda that beta stands
// for, with halves of about half the order's length.
TEST(EndomorphismSplit, RecombinesToTheScalar) {
    for (int nid : {NID_secp160k1, NID_secp192k1, NID_secp224k1, NID_secp256k1}) {
        SCOPED_TRACE(OBJ_nid2sn(nid));
        GroupPtr group(EC_GROUP_new_by_curve_name(nid));
        ksCurveParams record = recordFor(group.get(), oidOf(nid));
        ASSERT_TRUE(setEntries(&record, kGeneric, kF));
        CurveContext c(record, group.get(), false);
        ASSERT_EQ(c.status(), 0u);
        const BIGNUM* n = c.order();
        BN_CTX* ctx = c.ctx();
        // lambda: the root of l^2 + l + 1 = 0 (mod n) with lambda G = (beta Gx, Gy).
        Bn minus3(BN_dup(n)), root = newBn(), inv2 = newBn(), two = newBn(), lambda = newBn();
        BN_sub_word(minus3.get(), 3);
        ASSERT_NE(BN_mod_sqrt(root.get(), minus3.get(), n, ctx), nullptr);
        BN_set_word(two.get(), 2);
        BN_mod_inverse(inv2.get(), two.get(), n, ctx);
        ksPoint gPlain = c.layout()->g;
        gPlain.table = nullptr;
        Bn bx = newBn(), gx = c.coordinate(gPlain.x), p = newBn();
        EC_GROUP_get_curve(group.get(), p.get(), nullptr, nullptr, ctx);
        BN_mod_mul(bx.get(), c.coordinate(*prime::endoBeta(c.gd())).get(), gx.get(), p.get(), ctx);
        bool matched = false;
        for (int sign : {1, -1}) {
            Bn r(BN_dup(root.get()));
            if (sign < 0) BN_sub(r.get(), n, root.get());
            BN_sub_word(r.get(), 1);
            BN_mod_mul(lambda.get(), r.get(), inv2.get(), n, ctx);
            if (BN_cmp(c.xOf(c.mul(lambda.get()).get()).get(), bx.get()) == 0) {
                matched = true;
                break;
            }
        }
        ASSERT_TRUE(matched) << "beta is not the map of any eigenvalue";
        std::mt19937_64 rng{uint64_t(nid)};
        std::vector<Bn> ks = edgeAndRandomScalars(n, rng, 200);
        for (const Bn& k : ks) {
            if (BN_num_bits(k.get()) > 256) continue;
            ksIntGeneral ki;
            toInt(k.get(), &ki);
            ksIntReduced k1, k2;
            uint32_t s1 = 9, s2 = 9;
            ASSERT_EQ(prime::endoSplit(c.gd(), mp::asInt(&ki), &k1, &s1, &k2, &s2), 0u);
            Bn a = fromInt(mp::asInt(&k1)), b = fromInt(mp::asInt(&k2)), sum = newBn(), want = newBn();
            EXPECT_LE(BN_num_bits(a.get()), BN_num_bits(n) / 2 + 4);
            EXPECT_LE(BN_num_bits(b.get()), BN_num_bits(n) / 2 + 4);
            if (s1) BN_set_negative(a.get(), 1);
            if (s2) BN_set_negative(b.get(), 1);
            BN_mod_mul(sum.get(), b.get(), lambda.get(), n, ctx);
            BN_mod_add(sum.get(), sum.get(), a.get(), n, ctx);
            BN_nnmod(want.get(), k.get(), n, ctx);
            EXPECT_EQ(BN_cmp(sum.get(), want.get()), 0);
        }
    }
}

// The NAF record: digits that sum back to k with no two adjacent non-zero,
// the top index, and refusal (record zeroed) past 271 bits.
TEST(NafRecoding, DigitsSumToTheScalarAndAreNonAdjacent) {
    std::mt19937_64 rng{7};
    std::vector<Bn> ks;
    for (unsigned w : {0u, 1u, 2u, 3u, 5u, 7u}) {
        Bn b = newBn();
        BN_set_word(b.get(), w);
        ks.push_back(std::move(b));
    }
    for (int bits : {16, 63, 64, 65, 255, 256, 257, 270, 271}) {
        Bn ones = newBn();  // 2^bits - 1
        BN_set_bit(ones.get(), bits);
        BN_sub_word(ones.get(), 1);
        ks.push_back(std::move(ones));
        Bn alternating = newBn();  // ...0101 and ...1010 (1 at bit bits - 1)
        for (int i = bits - 1; i >= 0; i -= 2) BN_set_bit(alternating.get(), i);
        ks.push_back(std::move(alternating));
        for (int i = 0; i < 20; ++i) ks.push_back(randomBits(rng, bits));
    }
    for (const Bn& k : ks) {
        char* hex = BN_bn2hex(k.get());
        SCOPED_TRACE(std::string("k = ") + hex);
        OPENSSL_free(hex);
        ksIntGeneral ki;
        toInt(k.get(), &ki);
        prime::Naf naf;
        ASSERT_EQ(prime::ecNafRecode(mp::asInt(&ki), &naf), 0u);
        Bn sum = newBn(), term = newBn();
        int top = -1, previous = 0;
        for (uint32_t i = 0; i < 272; ++i) {
            const int d = naf.digit(i);
            EXPECT_FALSE(d != 0 && previous != 0) << "adjacent digits at " << i;
            previous = d;
            if (d == 0) continue;
            top = int(i);
            BN_zero(term.get());
            BN_set_bit(term.get(), int(i));
            if (d > 0)
                BN_add(sum.get(), sum.get(), term.get());
            else
                BN_sub(sum.get(), sum.get(), term.get());
        }
        EXPECT_EQ(BN_cmp(sum.get(), k.get()), 0);
        EXPECT_EQ(naf.top(), top);
    }
    Bn tooLong = newBn();
    BN_set_bit(tooLong.get(), 271);
    ksIntGeneral ki;
    toInt(tooLong.get(), &ki);
    prime::Naf naf;
    naf.words[0] = 1;
    EXPECT_EQ(prime::ecNafRecode(mp::asInt(&ki), &naf), 1u);
    EXPECT_EQ(naf.top(), -1);
}

}  // namespace
}  // namespace tess::crypto::test
