// The fixed binary-field modules against OpenSSL's GF(2^m) arithmetic with
// the same reduction polynomials, on both the carry-less and the portable
// multiplication.
#include <gtest/gtest.h>

#include <openssl/ec.h>

#include <random>

#include "crypto/field/binary_field_modules.h"
#include "tests/crypto/field/openssl_bn.h"

namespace tess::crypto::test {
namespace {

struct FieldCase {
    BinaryModule module;
    int m;
    std::vector<int> poly;  // exponents of f, top first, ending in 0
};

const FieldCase kFields[] = {
    {BinaryModule::F113, 113, {113, 9, 0}},         {BinaryModule::F131Normal, 131, {131, 7, 6, 5, 4, 1, 0}},
    {BinaryModule::F163, 163, {163, 7, 6, 3, 0}},   {BinaryModule::F163Reversed, 163, {163, 7, 6, 3, 0}},
    {BinaryModule::F191Normal, 191, {191, 120, 0}}, {BinaryModule::F233, 233, {233, 74, 0}},
    {BinaryModule::F239, 239, {239, 158, 0}},       {BinaryModule::F239Normal, 239, {239, 158, 0}},
};

constexpr uint32_t kSentinel = 0xa5a5a5a5;

struct FieldTest : ::testing::TestWithParam<std::tuple<FieldCase, bool>> {
    const FieldCase& fc = std::get<0>(GetParam());
    const ksFieldMethods* f = binaryModuleTable(fc.module, std::get<1>(GetParam()));
    int n = (fc.m + 31) / 32;
    Bn p = newBn();
    BnCtx ctx{BN_CTX_new()};
    std::mt19937_64 rng{uint64_t(fc.m) * 7919};

    void SetUp() override {
        ASSERT_NE(f, nullptr);
        for (int e : fc.poly) BN_set_bit(p.get(), e);
    }
    // Output element whose unused words must stay untouched.
    ksFieldElement blank() const {
        ksFieldElement e;
        for (auto& w : e.words) w = kSentinel;
        return e;
    }
    ksFieldElement masked(ksFieldElement e) const {
        for (int i = n; i < 8; ++i) e.words[i] = 0;
        if (fc.m % 32) e.words[n - 1] &= (1u << (fc.m % 32)) - 1;
        return e;
    }
    ksFieldElement random() {
        ksFieldElement e;
        for (auto& w : e.words) w = uint32_t(rng());
        return masked(e);
    }
    std::vector<ksFieldElement> samples() {
        std::vector<ksFieldElement> v;
        ksFieldElement e{};
        v.push_back(e);  // 0
        e.words[0] = 1;
        v.push_back(e);  // 1
        e.words[0] = 2;
        v.push_back(e);  // x
        ksFieldElement ones;
        for (auto& w : ones.words) w = ~0u;
        v.push_back(masked(ones));
        ksFieldElement top{};
        top.words[(fc.m - 1) / 32] = 1u << ((fc.m - 1) % 32);
        v.push_back(top);
        for (int i = 0; i < 60; ++i) v.push_back(random());
        return v;
    }
    // Words n..7 keep the sentinel and the value has no bit at or above m.
    void expectCanonical(const ksFieldElement& out) {
        for (int i = n; i < 8; ++i) EXPECT_EQ(out.words[i], kSentinel) << "word " << i << " written";
        ksFieldElement low = out;
        for (int i = n; i < 8; ++i) low.words[i] = 0;
        EXPECT_EQ(BN_num_bits(toBn(low).get()) <= fc.m, true);
    }
    ksFieldElement lowWords(ksFieldElement e) const {
        for (int i = n; i < 8; ++i) e.words[i] = 0;
        return e;
    }
};

TEST_P(FieldTest, MultiplySquareInvertMatchOpenssl) {
    const auto v = samples();
    for (size_t i = 0; i < v.size(); ++i) {
        const ksFieldElement& a = v[i];
        const ksFieldElement& b = v[(i * 7 + 3) % v.size()];
        Bn ba = toBn(a), bb = toBn(b), want = newBn();

        ksFieldElement out = blank();
        f->multiply(nullptr, &a, &b, &out);
        ASSERT_EQ(BN_GF2m_mod_mul(want.get(), ba.get(), bb.get(), p.get(), ctx.get()), 1);
        expectCanonical(out);
        EXPECT_EQ(hexOf(lowWords(out)), hexOf(fromBn(want.get()))) << "mul " << hexOf(a) << " " << hexOf(b);

        out = blank();
        f->square(nullptr, &a, &out);
        ASSERT_EQ(BN_GF2m_mod_sqr(want.get(), ba.get(), p.get(), ctx.get()), 1);
        expectCanonical(out);
        EXPECT_EQ(hexOf(lowWords(out)), hexOf(fromBn(want.get()))) << "sqr " << hexOf(a);

        out = blank();
        f->add(nullptr, &a, &b, &out);
        BN_GF2m_add(want.get(), ba.get(), bb.get());
        expectCanonical(out);
        EXPECT_EQ(hexOf(lowWords(out)), hexOf(fromBn(want.get())));

        if (!BN_is_zero(ba.get())) {
            out = blank();
            f->invert(nullptr, &a, &out);
            expectCanonical(out);
            // OpenSSL inverts only modulo polynomials of at most six terms,
            // which leaves out m = 131; its product checks every field.
            if (fc.poly.size() <= 6) {
                ASSERT_EQ(BN_GF2m_mod_inv(want.get(), ba.get(), p.get(), ctx.get()), 1);
                EXPECT_EQ(hexOf(lowWords(out)), hexOf(fromBn(want.get()))) << "inv " << hexOf(a);
            }
            BN_GF2m_mod_mul(want.get(), ba.get(), toBn(lowWords(out)).get(), p.get(), ctx.get());
            EXPECT_TRUE(BN_is_one(want.get())) << "inv " << hexOf(a);
        }
    }
}

TEST_P(FieldTest, OutputMayAliasAnInput) {
    const ksFieldElement a = random(), b = random();
    ksFieldElement prod, sq, inv;
    f->multiply(nullptr, &a, &b, &prod);
    f->square(nullptr, &a, &sq);
    f->invert(nullptr, &a, &inv);

    ksFieldElement x = a;
    f->multiply(nullptr, &x, &b, &x);
    EXPECT_EQ(hexOf(lowWords(x)), hexOf(lowWords(prod)));
    x = b;
    f->multiply(nullptr, &a, &x, &x);
    EXPECT_EQ(hexOf(lowWords(x)), hexOf(lowWords(prod)));
    x = a;
    f->square(nullptr, &x, &x);
    EXPECT_EQ(hexOf(lowWords(x)), hexOf(lowWords(sq)));
    x = a;
    f->invert(nullptr, &x, &x);
    EXPECT_EQ(hexOf(lowWords(x)), hexOf(lowWords(inv)));
    x = a;
    f->multiply(nullptr, &x, &x, &x);
    EXPECT_EQ(hexOf(lowWords(x)), hexOf(lowWords(sq)));
}

// The root is the half-trace, the same one OpenSSL picks for odd m; with
// trace 1 the slot says no and leaves its output alone.
TEST_P(FieldTest, QuadraticRootIsTheHalfTrace) {
    int solvable = 0, unsolvable = 0;
    for (const ksFieldElement& a : samples()) {
        Bn ba = toBn(a), want = newBn();
        ERR_set_mark();
        const bool has = BN_GF2m_mod_solve_quad(want.get(), ba.get(), p.get(), ctx.get()) == 1;
        ERR_pop_to_mark();
        ksFieldElement z = blank();
        const uint32_t found = f->solveQuadratic(nullptr, &a, &z);
        if (has) {
            ++solvable;
            EXPECT_EQ(found, 1u);
            expectCanonical(z);
            EXPECT_EQ(hexOf(lowWords(z)), hexOf(fromBn(want.get()))) << hexOf(a);
        } else {
            ++unsolvable;
            EXPECT_EQ(found, 0u) << hexOf(a);
            for (uint32_t w : z.words) EXPECT_EQ(w, kSentinel);
        }
    }
    EXPECT_GT(solvable, 10);
    EXPECT_GT(unsolvable, 10);
    ksFieldElement one{};
    one.words[0] = 1;
    ksFieldElement z = blank();
    EXPECT_EQ(f->solveQuadratic(nullptr, &one, &z), 0u) << "m odd: Tr(1) = 1";
}

TEST_P(FieldTest, PredicatesLookAtTheFieldWordsOnly) {
    ksFieldElement a = random(), b = a;
    b.words[7] ^= 1;  // beyond the field for every m < 225
    if (n < 8) {
        EXPECT_EQ(f->equal(nullptr, &a, &b), 1u);
    }
    b = a;
    b.words[n - 1] ^= 1;
    EXPECT_EQ(f->equal(nullptr, &a, &b), 0u);

    ksFieldElement e = blank();
    f->zero(nullptr, &e);
    EXPECT_EQ(f->isZero(nullptr, &e), 1u);
    EXPECT_EQ(f->isOne(nullptr, &e), 0u);
    expectCanonical(e);
    f->one(nullptr, &e);
    EXPECT_EQ(f->isOne(nullptr, &e), 1u);
    EXPECT_EQ(f->isZero(nullptr, &e), 0u);
    e.words[0] = 2;
    EXPECT_EQ(f->isOne(nullptr, &e), 0u);
    e.words[0] = 1;
    e.words[n - 1] |= 1u << 1;
    EXPECT_EQ(f->isOne(nullptr, &e), 0u);
    e.words[0] = 3;
    EXPECT_EQ(f->lowBit(nullptr, &e), 1u);
    e.words[0] = 2;
    EXPECT_EQ(f->lowBit(nullptr, &e), 0u);
    EXPECT_EQ(f->subtract, nullptr);
    EXPECT_EQ(f->negate, nullptr);
    EXPECT_EQ(f->multiplyWord, nullptr);
    EXPECT_EQ(f->canonical, nullptr);
}

// The module's ladder on y^2 + xy = x^3 + x^2 + b for a random b, against
// OpenSSL's curve arithmetic over the same field: kP is (x1:z1) and
// (k+1)P is (x2:z2).
TEST_P(FieldTest, LadderGivesTheMultiple) {
    if (fc.poly.size() > 6) GTEST_SKIP() << "OpenSSL's curves take at most six polynomial terms";
    const uint32_t id[] = {3088, 3112, 3097, 3124, 3115, 3103, 3106, 3118};
    const BinaryLadder ladder = binaryLadderForId(id[int(fc.module)], std::get<1>(GetParam()));
    ASSERT_NE(ladder, nullptr);
    ksFieldElement b = random();
    for (bool bIsOne : {false, true}) {
        if (bIsOne) {
            b = ksFieldElement{};
            b.words[0] = 1;
        }
        Bn one = newBn();
        BN_one(one.get());
        EC_GROUP* group = EC_GROUP_new_curve_GF2m(p.get(), one.get(), toBn(b).get(), ctx.get());
        ASSERT_NE(group, nullptr);
        EC_POINT* pt = EC_POINT_new(group);
        EC_POINT* r = EC_POINT_new(group);
        ksFieldElement x{};
        for (uint32_t v = 2;; ++v) {  // the first x with a point
            x = random();
            ERR_set_mark();
            const bool ok = EC_POINT_set_compressed_coordinates(group, pt, toBn(x).get(), 0, ctx.get()) == 1;
            ERR_pop_to_mark();
            if (ok) break;
            ASSERT_LT(v, 200u);
        }
        for (int i = 0; i < 6; ++i) {
            uint32_t bits[9] = {};
            const uint32_t nbits = uint32_t(fc.m) + 1;
            for (uint32_t w = 0; w < 9; ++w) bits[w] = i == 0 ? 0u : i == 1 ? ~0u : uint32_t(rng());
            bits[nbits / 32] &= (1u << (nbits % 32)) - 1;
            for (uint32_t w = nbits / 32 + 1; w < 9; ++w) bits[w] = 0;
            Bn k(BN_lebin2bn(reinterpret_cast<const unsigned char*>(bits), sizeof bits, nullptr));
            ksFieldElement x1 = blank(), z1 = blank(), x2 = blank(), z2 = blank();
            ladder(&x, &b, bits, nbits, &x1, &z1, &x2, &z2);
            expectCanonical(x1);
            expectCanonical(z1);
            expectCanonical(x2);
            expectCanonical(z2);
            // (X:Z) is multiple * P: Z = 0 for infinity, else X/Z its x.
            auto expectMultiple = [&](const BIGNUM* multiple, const ksFieldElement& X, const ksFieldElement& Z,
                                      const char* which) {
                ASSERT_EQ(EC_POINT_mul(group, r, nullptr, pt, multiple, ctx.get()), 1);
                if (EC_POINT_is_at_infinity(group, r)) {
                    EXPECT_EQ(f->isZero(nullptr, &Z), 1u) << which;
                    return;
                }
                Bn rx = newBn(), ry = newBn();
                EC_POINT_get_affine_coordinates(group, r, rx.get(), ry.get(), ctx.get());
                ASSERT_EQ(f->isZero(nullptr, &Z), 0u) << which;
                ksFieldElement inv{}, ax{};
                f->invert(nullptr, &Z, &inv);
                f->multiply(nullptr, &X, &inv, &ax);
                EXPECT_EQ(hexOf(lowWords(ax)), hexOf(fromBn(rx.get()))) << which << ", b = 1: " << bIsOne;
            };
            expectMultiple(k.get(), x1, z1, "kP");
            Bn k1(BN_dup(k.get()));
            ASSERT_EQ(BN_add_word(k1.get(), 1), 1);
            expectMultiple(k1.get(), x2, z2, "(k+1)P");
        }
        EC_POINT_free(pt);
        EC_POINT_free(r);
        EC_GROUP_free(group);
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<FieldCase, bool>>& info) {
    static const char* const kNames[] = {"F113", "F131N", "F163", "F163R", "F191N", "F233", "F239", "F239N"};
    return std::string(kNames[int(std::get<0>(info.param).module)]) +
           (std::get<1>(info.param) ? "_portable" : "_native");
}

INSTANTIATE_TEST_SUITE_P(Modules, FieldTest, ::testing::Combine(::testing::ValuesIn(kFields), ::testing::Bool()),
                         caseName);

}  // namespace
}  // namespace tess::crypto::test
