// Normal-basis and bit-reversed standard forms: the conversions are inverse
// to each other, the basis constants are what the forms need, and squaring
// is a rotation of the normal-basis form.
#include <gtest/gtest.h>

#include <random>

#include "crypto/field/binary_field_modules.h"
#include "tests/crypto/field/openssl_bn.h"

namespace tess::crypto::test {
namespace {

struct NormalCase {
    BinaryModule module;
    int m;
    const char* beta;
};

const NormalCase kNormal[] = {
    {BinaryModule::F131Normal, 131, "05616AB8C1485AC0191EB08BED69FE751A"},
    {BinaryModule::F191Normal, 191, "7954CB4E89201CF752D4D4026E227DFFE59CF393E306B820"},
    {BinaryModule::F239Normal, 239, "49D6E3386D0C339C2D7CD07293992DF0748E050DEC6A37F0470F1CFB0ADA"},
};

ksFieldElement bitElement(int i) {
    ksFieldElement e{};
    e.words[i / 32] = 1u << (i % 32);
    return e;
}

ksFieldElement onesElement(int m) {
    ksFieldElement e{};
    for (int i = 0; i < m; ++i) e.words[i / 32] |= 1u << (i % 32);
    return e;
}

ksFieldElement randomElement(std::mt19937& rng, int m) {
    ksFieldElement e{};
    for (int i = 0; i < m; ++i)
        if (rng() & 1) e.words[i / 32] |= 1u << (i % 32);
    return e;
}

// Rotation right by one within m bits: bit 0 moves to bit m - 1.
ksFieldElement rotateRight(const ksFieldElement& e, int m) {
    ksFieldElement r{};
    for (int i = 0; i < m; ++i)
        if ((e.words[i / 32] >> (i % 32)) & 1) {
            const int j = (i + m - 1) % m;
            r.words[j / 32] |= 1u << (j % 32);
        }
    return r;
}

class NormalBasisTest : public ::testing::TestWithParam<NormalCase> {};

TEST_P(NormalBasisTest, ConstantsAndFixedPoints) {
    const NormalCase& nc = GetParam();
    const ksFieldMethods* f = binaryModuleTable(nc.module);
    ksFieldElement out{};
    const ksFieldElement top = bitElement(nc.m - 1);
    f->fromStandard(nullptr, &top, &out);
    EXPECT_EQ(hexOf(out), nc.beta) << "the top standard bit is beta";

    const ksFieldElement ones = onesElement(nc.m);
    f->fromStandard(nullptr, &ones, &out);
    EXPECT_EQ(f->isOne(nullptr, &out), 1u) << "the conjugates of beta sum to 1";
    ksFieldElement one{};
    f->one(nullptr, &one);
    f->toStandard(nullptr, &one, &out);
    EXPECT_EQ(hexOf(out), hexOf(ones));

    // Type 2 optimal normal basis: the products beta * beta^(2^i) have
    // 2m - 1 nonzero coordinates in all.
    ksFieldElement beta, conj, prod, coords;
    f->fromStandard(nullptr, &top, &beta);
    conj = beta;
    int nonzero = 0;
    for (int i = 0; i < nc.m; ++i) {
        f->multiply(nullptr, &beta, &conj, &prod);
        f->toStandard(nullptr, &prod, &coords);
        for (int b = 0; b < nc.m; ++b) nonzero += (coords.words[b / 32] >> (b % 32)) & 1;
        f->square(nullptr, &conj, &conj);
    }
    EXPECT_EQ(nonzero, 2 * nc.m - 1);
}

TEST_P(NormalBasisTest, RoundTripsAndSquaringRotates) {
    const NormalCase& nc = GetParam();
    const ksFieldMethods* f = binaryModuleTable(nc.module);
    std::mt19937 rng(nc.m);
    for (int i = 0; i < 40; ++i) {
        const ksFieldElement s = randomElement(rng, nc.m);
        ksFieldElement poly{}, back{}, sq{}, sqStd{};
        f->fromStandard(nullptr, &s, &poly);
        f->toStandard(nullptr, &poly, &back);
        EXPECT_EQ(hexOf(back), hexOf(s)) << "standard -> polynomial -> standard";

        const ksFieldElement p = randomElement(rng, nc.m);
        ksFieldElement std{}, again{};
        f->toStandard(nullptr, &p, &std);
        f->fromStandard(nullptr, &std, &again);
        EXPECT_EQ(hexOf(again), hexOf(p)) << "polynomial -> standard -> polynomial";

        f->square(nullptr, &poly, &sq);
        f->toStandard(nullptr, &sq, &sqStd);
        EXPECT_EQ(hexOf(sqStd), hexOf(rotateRight(s, nc.m)));
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, NormalBasisTest, ::testing::ValuesIn(kNormal),
                         [](const auto& info) { return "m" + std::to_string(info.param.m); });

TEST(BitReversedBasis, ReversesTheLow163Bits) {
    const ksFieldMethods* f = binaryModuleTable(BinaryModule::F163Reversed);
    ksFieldElement out{};
    const ksFieldElement x = bitElement(1);
    f->toStandard(nullptr, &x, &out);
    EXPECT_EQ(hexOf(out), hexOf(bitElement(161)));
    f->fromStandard(nullptr, &x, &out);
    EXPECT_EQ(hexOf(out), hexOf(bitElement(161)));

    std::mt19937 rng(163);
    for (int i = 0; i < 20; ++i) {
        const ksFieldElement a = randomElement(rng, 163);
        ksFieldElement r{}, back{};
        f->toStandard(nullptr, &a, &r);
        f->fromStandard(nullptr, &r, &back);
        EXPECT_EQ(hexOf(back), hexOf(a));
        EXPECT_EQ(BN_num_bits(toBn(r).get()) <= 163, true);
    }
}

}  // namespace
}  // namespace tess::crypto::test
