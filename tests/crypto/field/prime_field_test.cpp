// The prime-field modules against OpenSSL's modular arithmetic: the four
// fixed primes and the generic module on primes of several shapes (just
// below a word boundary, a 255-bit prime with a shifted modulus, 239 bits,
// p = 5 and 1 mod 8), with loose inputs, and a table of edge values.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/field/binary_field_modules.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/field/prime_field.h"
#include "crypto/field/prime_field_mont.h"
#include "tests/crypto/field/openssl_bn.h"

namespace tess::crypto::test {
namespace {

struct PrimeCase {
    const char* name;
    uint32_t install;
    const char* hex;
};

void PrintTo(const PrimeCase& c, std::ostream* os) { *os << c.name; }

const PrimeCase kPrimes[] = {
    {"p160", kPrime160Id, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF7FFFFFFF"},
    {"P192", kPrimeP192Id, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFFFFFFFFFF"},
    {"P224", kPrimeP224Id, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001"},
    {"P256", kPrimeP256Id, "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF"},
    {"generic_P256", kPrimeGenericId, "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF"},
    {"generic_secp256k1", kPrimeGenericId, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFC2F"},
    {"generic_p25519", kPrimeGenericId, "7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFED"},
    {"generic_secp112r1", kPrimeGenericId, "DB7C2ABF62E35E668076BEAD208B"},
    {"generic_P224", kPrimeGenericId, "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001"},
    // 2^239 - 87 (p = 1 mod 8) and 2^61 - 1 (two words, p = 7 mod 8).
    {"generic_239", kPrimeGenericId, "7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFA9"},
    {"generic_61", kPrimeGenericId, "1FFFFFFFFFFFFFFF"},
    // brainpoolP256r1's prime: no special form (long division).
    {"generic_bp256", kPrimeGenericId, "A9FB57DBA1EEA9BC3E660A909D838D726E3BF623D52620282013481D1F6E5377"},
};

class PrimeField : public ::testing::TestWithParam<PrimeCase> {
protected:
    std::vector<uint64_t> storage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(storage.data());
    BnCtx ctx{BN_CTX_new()};
    Bn p = hexBn(GetParam().hex);
    const ksFieldMethods* f = nullptr;
    uint32_t w = 0;
    std::mt19937_64 rng{GetParam().install * 31ull + std::strlen(GetParam().hex)};

    void SetUp() override {
        const uint32_t m = uint32_t(BN_num_bits(p.get()));
        layoutOf(gd)->fieldBits = m;
        uint8_t octets[32] = {};
        const int len = int(m - 1) / 8 + 1;
        BN_bn2binpad(p.get(), octets, len);
        ASSERT_EQ(extraInstall(GetParam().install, gd, octets), 0u);
        f = fieldMethodsOf(gd);
        ASSERT_NE(f, nullptr);
        w = fieldWords(m);
    }
    // Any w-word value: loose values (p .. 2^(32w) - 1) included.
    ksFieldElement randomElement() {
        ksFieldElement e{};
        for (uint32_t i = 0; i < w; ++i) e.words[i] = uint32_t(rng());
        if (rng() % 4 == 0) {  // near the top
            for (uint32_t i = 1; i < w; ++i) e.words[i] = 0xFFFFFFFF;
        }
        return e;
    }
    Bn value(const ksFieldElement& e) {
        ksFieldElement t = e;
        for (uint32_t i = w; i < 8; ++i) t.words[i] = 0;
        Bn v = toBn(t);
        BN_nnmod(v.get(), v.get(), p.get(), ctx.get());
        return v;
    }
    ksFieldElement element(const BIGNUM* b) { return fromBn(b); }
    bool below2w(const ksFieldElement& e) {
        for (uint32_t i = w; i < 8; ++i)
            if (e.words[i] != 0) return false;
        return true;
    }
};

TEST_P(PrimeField, ArithmeticAgreesWithOpenSsl) {
    for (int i = 0; i < 300; ++i) {
        const ksFieldElement a = randomElement(), b = randomElement();
        Bn va = value(a), vb = value(b), want = newBn();
        ksFieldElement out{};
        f->add(gd, &a, &b, &out);
        BN_mod_add(want.get(), va.get(), vb.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "add " << i;
        f->subtract(gd, &a, &b, &out);
        BN_mod_sub(want.get(), va.get(), vb.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "subtract " << i;
        f->multiply(gd, &a, &b, &out);
        BN_mod_mul(want.get(), va.get(), vb.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "multiply " << i;
        f->square(gd, &a, &out);
        BN_mod_sqr(want.get(), va.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "square " << i;
        const uint32_t k = uint32_t(rng());
        f->multiplyWord(gd, &a, k, &out);
        Bn kb = newBn();
        BN_set_word(kb.get(), k);
        BN_mod_mul(want.get(), va.get(), kb.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "multiply by word " << i;
        f->negate(gd, &a, &out);
        BN_mod_sub(want.get(), p.get(), va.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "negate " << i;
        ksFieldElement c = a;
        f->canonical(gd, &c);
        EXPECT_EQ(BN_cmp(toBn(c).get(), va.get()), 0) << "canonical " << i;
        if (!BN_is_zero(va.get())) {
            uint32_t zero = 0;
            ASSERT_EQ(fieldInvert(gd, &a, &out), 0u);
            f->multiply(gd, &a, &out, &out);
            ASSERT_EQ(fieldIsOne(gd, &out, &zero), 0u);
            EXPECT_EQ(zero, 0u) << "a * a^-1 = 1, " << i;
        }
        EXPECT_TRUE(below2w(out));
    }
}

TEST_P(PrimeField, SquareRootsOfSquaresAndRefusalOfNonSquares) {
    int squares = 0, nonSquares = 0;
    for (int i = 0; i < 40; ++i) {
        const ksFieldElement a = randomElement();
        Bn va = value(a);
        ksFieldElement root{};
        const uint32_t found = f->solveQuadratic(gd, &a, &root);
        const int legendre = BN_kronecker(va.get(), p.get(), ctx.get());
        if (legendre == -1) {
            EXPECT_EQ(found, 0u) << i;
            ++nonSquares;
            continue;
        }
        ASSERT_EQ(found, 1u) << i;
        Bn vr = value(root), sq = newBn();
        BN_mod_sqr(sq.get(), vr.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(sq.get(), va.get()), 0) << i;
        ++squares;
    }
    EXPECT_GT(squares, 0);
    EXPECT_GT(nonSquares, 0);
    ksFieldElement zero{}, root{};
    root.words[0] = 7;
    EXPECT_EQ(f->solveQuadratic(gd, &zero, &root), 1u);
    EXPECT_TRUE(BN_is_zero(value(root).get()));
}

// Values at the edges of the representation: p - 1, p, p + 1, 0, 1.
TEST_P(PrimeField, EdgeValues) {
    Bn one = newBn(), pm1(BN_dup(p.get())), pp1(BN_dup(p.get())), pm2(BN_dup(p.get()));
    BN_one(one.get());
    BN_sub_word(pm1.get(), 1);
    BN_add_word(pp1.get(), 1);
    BN_sub_word(pm2.get(), 2);
    ksFieldElement e{}, out{};
    // (p - 1) + (p - 1) = p - 2
    const ksFieldElement a = element(pm1.get());
    f->add(gd, &a, &a, &out);
    f->canonical(gd, &out);
    EXPECT_EQ(BN_cmp(toBn(out).get(), pm2.get()), 0);
    // p + 1 is one, and the test leaves it written as 1.
    if (BN_num_bits(pp1.get()) <= int(32 * w)) {
        e = element(pp1.get());
        EXPECT_EQ(f->isOne(gd, &e), 1u);
        EXPECT_EQ(BN_cmp(toBn(e).get(), one.get()), 0);
    }
    // p is zero; canonical reduction of p gives 0 and leaves p - 1 alone.
    e = element(p.get());
    EXPECT_EQ(f->isZero(gd, &e), 1u);
    e = element(p.get());
    f->canonical(gd, &e);
    EXPECT_TRUE(BN_is_zero(toBn(e).get()));
    e = element(pm1.get());
    f->canonical(gd, &e);
    EXPECT_EQ(BN_cmp(toBn(e).get(), pm1.get()), 0);
    // -0 = p (loose) = 0.
    ksFieldElement zero{};
    f->negate(gd, &zero, &out);
    EXPECT_TRUE(BN_is_zero(value(out).get()));
    // 1 and p - 1 are their own inverses; inverting zero is refused.
    e = element(one.get());
    ASSERT_EQ(fieldInvert(gd, &e, &out), 0u);
    EXPECT_EQ(BN_cmp(value(out).get(), one.get()), 0);
    e = element(pm1.get());
    ASSERT_EQ(fieldInvert(gd, &e, &out), 0u);
    EXPECT_EQ(BN_cmp(value(out).get(), pm1.get()), 0);
    out.words[0] = 0x1234;
    EXPECT_EQ(fieldInvert(gd, &zero, &out), 1u);
    EXPECT_EQ(out.words[0], 0x1234u);
    ksFieldElement pe = element(p.get());
    EXPECT_EQ(fieldInvert(gd, &pe, &out), 1u) << "p is a loose zero";
    // Standard form is canonical.
    e = element(pp1.get());
    if (BN_num_bits(pp1.get()) <= int(32 * w)) {
        f->toStandard(gd, &e, &out);
        EXPECT_EQ(BN_cmp(toBn(out).get(), one.get()), 0);
    }
}

// Products and inverses of values that drive the reduction's carries to
// their extremes: all-ones words, single high bits, p and its neighbours.
TEST_P(PrimeField, EdgeProductsAndInverses) {
    const int bits = int(32 * w);
    std::vector<Bn> edges;
    auto push = [&](Bn b) { edges.push_back(std::move(b)); };
    for (unsigned k : {0u, 1u, 2u}) {
        Bn b = newBn();
        BN_set_word(b.get(), k);
        push(std::move(b));
    }
    for (int d : {-1, 0, 1}) {
        Bn b(BN_dup(p.get()));
        if (d < 0) BN_sub_word(b.get(), 1);
        if (d > 0) BN_add_word(b.get(), 1);
        if (BN_num_bits(b.get()) <= bits) push(std::move(b));
    }
    for (int k : {bits - 1, bits - 32, bits - 64, 96, 32}) {
        Bn b = newBn();
        BN_set_bit(b.get(), k);
        push(std::move(b));
        Bn m = newBn();  // 2^k - 1: all ones below bit k
        BN_set_bit(m.get(), k);
        BN_sub_word(m.get(), 1);
        push(std::move(m));
    }
    Bn top = newBn();  // 2^(32w) - 1
    BN_set_bit(top.get(), bits);
    BN_sub_word(top.get(), 1);
    push(std::move(top));
    for (size_t i = 0; i < edges.size(); ++i) {
        const ksFieldElement a = element(edges[i].get());
        Bn va = value(a), want = newBn();
        for (size_t j = 0; j < edges.size(); ++j) {
            const ksFieldElement b = element(edges[j].get());
            ksFieldElement out{};
            f->multiply(gd, &a, &b, &out);
            BN_mod_mul(want.get(), va.get(), value(b).get(), p.get(), ctx.get());
            EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "multiply " << i << " " << j;
            EXPECT_TRUE(below2w(out));
        }
        ksFieldElement out{};
        f->square(gd, &a, &out);
        BN_mod_sqr(want.get(), va.get(), p.get(), ctx.get());
        EXPECT_EQ(BN_cmp(value(out).get(), want.get()), 0) << "square " << i;
        if (BN_is_zero(va.get())) continue;
        ksFieldElement inv{};
        ASSERT_EQ(fieldInvert(gd, &a, &inv), 0u);
        ASSERT_NE(BN_mod_inverse(want.get(), va.get(), p.get(), ctx.get()), nullptr);
        EXPECT_EQ(BN_cmp(value(inv).get(), want.get()), 0) << "invert " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Primes, PrimeField, ::testing::ValuesIn(kPrimes),
                         [](const ::testing::TestParamInfo<PrimeCase>& info) { return std::string(info.param.name); });

// The four-limb Montgomery arithmetic of the a = -3 engine's loops against
// OpenSSL: edge values (0, 1, p and its neighbours, all-ones and single-bit
// words, 2^256 - 1 as a loose input) and random ones, through every operation
// and the conversions in and out.
template <typename F>
void checkMontField(const char* hex, int bits) {
    BnCtx ctx{BN_CTX_new()};
    Bn p = hexBn(hex);
    auto limbs = [](const BIGNUM* b) {
        const ksFieldElement e = fromBn(b);
        pf::Limbs l{};
        for (int i = 0; i < 4; ++i) l.v[i] = e.words[2 * i] | (uint64_t(e.words[2 * i + 1]) << 32);
        return l;
    };
    auto bn = [](const pf::Limbs& l) {
        ksFieldElement e{};
        for (int i = 0; i < 4; ++i) {
            e.words[2 * i] = uint32_t(l.v[i]);
            e.words[2 * i + 1] = uint32_t(l.v[i] >> 32);
        }
        return toBn(e);
    };
    auto plain = [](const pf::Limbs& m) {
        pf::Limbs r;
        F::leave(m, r);
        return r;
    };
    std::vector<Bn> values;
    for (unsigned k : {0u, 1u, 2u}) {
        Bn b = newBn();
        BN_set_word(b.get(), k);
        values.push_back(std::move(b));
    }
    for (int d : {1, 2, 3}) {
        Bn b(BN_dup(p.get()));
        BN_sub_word(b.get(), unsigned(d));
        values.push_back(std::move(b));
    }
    for (int k : {bits - 1, bits - 32, 192, 128, 96, 64, 63, 32}) {
        Bn b = newBn(), m = newBn();
        BN_set_bit(b.get(), k);
        BN_set_bit(m.get(), k);
        BN_sub_word(m.get(), 1);
        values.push_back(std::move(b));
        values.push_back(std::move(m));
    }
    for (int i = 0; i < 40; ++i) {
        Bn b = newBn();
        BN_rand_range(b.get(), p.get());
        values.push_back(std::move(b));
    }
    std::vector<pf::Limbs> m(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        Bn reduced = newBn();
        BN_nnmod(reduced.get(), values[i].get(), p.get(), ctx.get());
        F::enter(limbs(values[i].get()), m[i]);
        ASSERT_EQ(BN_cmp(bn(plain(m[i])).get(), reduced.get()), 0) << "round trip " << i;
    }
    // Loose inputs to the conversion: p itself, p + 1 and 2^256 - 1.
    for (int d : {0, 1}) {
        Bn b(BN_dup(p.get()));
        BN_add_word(b.get(), unsigned(d));
        pf::Limbs e;
        F::enter(limbs(b.get()), e);
        EXPECT_EQ(BN_get_word(bn(plain(e)).get()), unsigned(d)) << "p + " << d;
    }
    if (bits == 256) {
        Bn top = newBn(), want = newBn();
        BN_set_bit(top.get(), 256);
        BN_sub_word(top.get(), 1);
        BN_nnmod(want.get(), top.get(), p.get(), ctx.get());
        pf::Limbs e;
        F::enter(pf::Limbs{{~0ull, ~0ull, ~0ull, ~0ull}}, e);
        EXPECT_EQ(BN_cmp(bn(plain(e)).get(), want.get()), 0) << "2^256 - 1";
    }
    Bn want = newBn();
    auto expect = [&](const pf::Limbs& got, const char* what, size_t i, size_t j) {
        EXPECT_EQ(BN_cmp(bn(plain(got)).get(), want.get()), 0) << what << " " << i << " " << j;
        EXPECT_LT(BN_cmp(bn(got).get(), p.get()), 0) << what << " not reduced " << i << " " << j;
    };
    for (size_t i = 0; i < values.size(); ++i) {
        Bn a = bn(plain(m[i]));
        pf::Limbs r;
        for (size_t j = 0; j < values.size(); ++j) {
            Bn b = bn(plain(m[j]));
            F::mul(m[i], m[j], r);
            BN_mod_mul(want.get(), a.get(), b.get(), p.get(), ctx.get());
            expect(r, "multiply", i, j);
            F::add(m[i], m[j], r);
            BN_mod_add(want.get(), a.get(), b.get(), p.get(), ctx.get());
            expect(r, "add", i, j);
            F::sub(m[i], m[j], r);
            BN_mod_sub(want.get(), a.get(), b.get(), p.get(), ctx.get());
            expect(r, "subtract", i, j);
        }
        F::sqr(m[i], r);
        BN_mod_sqr(want.get(), a.get(), p.get(), ctx.get());
        expect(r, "square", i, 0);
        F::neg(m[i], r);
        BN_mod_sub(want.get(), p.get(), a.get(), p.get(), ctx.get());
        BN_nnmod(want.get(), want.get(), p.get(), ctx.get());
        expect(r, "negate", i, 0);
        F::invert(m[i], r);
        if (BN_is_zero(a.get()))
            BN_zero(want.get());
        else
            ASSERT_NE(BN_mod_inverse(want.get(), a.get(), p.get(), ctx.get()), nullptr);
        expect(r, "invert", i, 0);
    }
}

TEST(MontgomeryField, P224AgreesWithOpenSsl) {
    checkMontField<pf::MontP224>("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001", 224);
}

TEST(MontgomeryField, P256AgreesWithOpenSsl) {
    checkMontField<pf::MontP256>("FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF", 256);
}

// The generic binary-field module against the fixed GF(2^163) module with
// the same polynomial, slot by slot (the decompression root included), and
// against OpenSSL on an even degree.
TEST(GenericBinaryField, MatchesTheFixedModuleOnTheSect163k1Polynomial) {
    std::vector<uint64_t> s1(KS_GLOBAL_DATA_SIZE / 8 + 1), s2(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* generic = reinterpret_cast<ksGlobalData*>(s1.data());
    ksGlobalData* fixed = reinterpret_cast<ksGlobalData*>(s2.data());
    uint8_t poly[21] = {};
    poly[20] = 0xC9;
    uint8_t polyWithTop[21] = {};
    polyWithTop[20] = 0xC9;
    polyWithTop[0] = 0x08;  // the x^163 bit, ignored
    for (ksGlobalData* gd : {generic, fixed}) layoutOf(gd)->fieldBits = 163;
    a3109(generic, polyWithTop);
    a3097(fixed, poly);
    const ksFieldMethods* g = fieldMethodsOf(generic);
    const ksFieldMethods* x = fieldMethodsOf(fixed);
    ASSERT_NE(g, nullptr);
    ASSERT_NE(x, nullptr);
    std::mt19937_64 rng{163};
    auto random = [&] {
        ksFieldElement e{};
        for (int i = 0; i < 6; ++i) e.words[i] = uint32_t(rng());
        e.words[5] &= 7;
        return e;
    };
    for (int i = 0; i < 100; ++i) {
        const ksFieldElement a = random(), b = random();
        ksFieldElement r1{}, r2{};
        g->multiply(generic, &a, &b, &r1);
        x->multiply(fixed, &a, &b, &r2);
        EXPECT_EQ(std::memcmp(r1.words, r2.words, 24), 0) << "multiply " << i;
        g->square(generic, &a, &r1);
        x->square(fixed, &a, &r2);
        EXPECT_EQ(std::memcmp(r1.words, r2.words, 24), 0) << "square " << i;
        if (a.words[0] | a.words[1] | a.words[2] | a.words[3] | a.words[4] | a.words[5]) {
            g->invert(generic, &a, &r1);
            x->invert(fixed, &a, &r2);
            EXPECT_EQ(std::memcmp(r1.words, r2.words, 24), 0) << "invert " << i;
        }
        r1 = ksFieldElement{};
        r2 = ksFieldElement{};
        const uint32_t f1 = g->solveQuadratic(generic, &a, &r1), f2 = x->solveQuadratic(fixed, &a, &r2);
        EXPECT_EQ(f1 == 1, f2 == 1) << "trace " << i;
        if (f1 == 1 && f2 == 1) {
            EXPECT_EQ(std::memcmp(r1.words, r2.words, 24), 0) << "root " << i;
        }
    }
    ksFieldElement one{}, r{};
    one.words[0] = 1;
    g->invert(generic, &one, &r);
    EXPECT_EQ(g->isOne(generic, &r), 1u);
    EXPECT_EQ(g->solveQuadratic(generic, &one, &r), 0u) << "Tr(1) = 1 for odd m";
}

TEST(GenericBinaryField, EvenDegreeRootsAndInverses) {
    // c2pnb176v1's field: x^176 + x^43 + x^2 + x + 1.
    std::vector<uint64_t> s(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(s.data());
    layoutOf(gd)->fieldBits = 176;
    Bn f = newBn(), r = newBn();
    for (int e : {176, 43, 2, 1, 0}) BN_set_bit(f.get(), e);
    for (int e : {43, 2, 1, 0}) BN_set_bit(r.get(), e);
    uint8_t octets[22];
    BN_bn2binpad(r.get(), octets, 22);
    a3109(gd, octets);
    const ksFieldMethods* g = fieldMethodsOf(gd);
    const int poly[] = {176, 43, 2, 1, 0, -1};
    BnCtx ctx{BN_CTX_new()};
    std::mt19937_64 rng{176};
    int solved = 0;
    for (int i = 0; i < 30; ++i) {
        ksFieldElement a{};
        for (int j = 0; j < 6; ++j) a.words[j] = uint32_t(rng());
        a.words[5] &= 0xFFFF;
        ksFieldElement z{}, inv{};
        g->invert(gd, &a, &inv);
        Bn want = newBn();
        BN_GF2m_mod_inv_arr(want.get(), toBn(a).get(), poly, ctx.get());
        EXPECT_EQ(BN_cmp(toBn(inv).get(), want.get()), 0) << "invert " << i;
        if (g->solveQuadratic(gd, &a, &z) == 1) {
            Bn lhs = newBn();
            BN_GF2m_mod_sqr_arr(lhs.get(), toBn(z).get(), poly, ctx.get());
            BN_GF2m_add(lhs.get(), lhs.get(), toBn(z).get());
            EXPECT_EQ(BN_cmp(lhs.get(), toBn(a).get()), 0) << "root " << i;
            ++solved;
        } else {
            Bn z2 = newBn();
            EXPECT_EQ(BN_GF2m_mod_solve_quad_arr(z2.get(), toBn(a).get(), poly, ctx.get()), 0) << i;
        }
    }
    EXPECT_GT(solved, 0);
    ksFieldElement one{}, z{};
    one.words[0] = 1;
    ASSERT_EQ(g->solveQuadratic(gd, &one, &z), 1u) << "Tr(1) = 0 for even m";
    ksFieldElement check{};
    g->square(gd, &z, &check);
    g->add(gd, &check, &z, &check);
    EXPECT_EQ(g->isOne(gd, &check), 1u);
}

}  // namespace
}  // namespace tess::crypto::test
