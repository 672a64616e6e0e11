// The integer layer against OpenSSL's BN on random operands, with the
// wrap rules of sums and differences, and its edge cases.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/err.h>

#include <cstring>

#include <memory>
#include <random>

#include "crypto/kestrel.h"
#include "crypto/mp/mp_int.h"

using namespace tess::crypto::mp;

namespace {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};

Bn newBn() { return Bn(BN_new()); }

// Digit by digit, independent of the library's own octet conversion.
Bn toBn(const ksInt* a) {
    Bn bn = newBn();
    for (uint32_t i = a->count; i-- > 0;) {
        BN_lshift(bn.get(), bn.get(), 16);
        BN_add_word(bn.get(), a->digits[i]);
    }
    return bn;
}

// Expected canonical digits of a BN, compared with a record's count and digits.
::testing::AssertionResult sameValue(const ksInt* a, const BIGNUM* expected) {
    const int bytes = BN_num_bytes(expected);
    const uint32_t digits = uint32_t((bytes + 1) / 2);
    if (a->count != digits) {
        return ::testing::AssertionFailure()
               << "count " << a->count << " expected " << digits << " for " << BN_bn2hex(expected);
    }
    std::vector<uint8_t> le(size_t(digits) * 2);
    BN_bn2lebinpad(expected, le.data(), int(le.size()));
    for (uint32_t i = 0; i < digits; ++i) {
        const uint16_t d = uint16_t(le[2 * i] | (le[2 * i + 1] << 8));
        if (a->digits[i] != d) return ::testing::AssertionFailure() << "digit " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

class Operands {
public:
    explicit Operands(uint32_t seed) : rng_(seed) {}
    // Canonical value of 0..maxDigits digits; digits favour the extremes that
    // stress carries and quotient estimates.
    template <typename Record>
    void fill(Record& r, uint32_t minDigits, uint32_t maxDigits) {
        const uint32_t n = std::uniform_int_distribution<uint32_t>(minDigits, maxDigits)(rng_);
        for (uint32_t i = 0; i < n; ++i) r.digits[i] = digit();
        if (n > 0 && r.digits[n - 1] == 0) r.digits[n - 1] = 1 + (digit() % 0xFFFF);
        r.count = n;
        // Junk past count must never be read as part of the value.
        for (uint32_t i = n; i < sizeof(r.digits) / 2; ++i) r.digits[i] = 0xA5A5;
    }
    uint16_t digit() {
        switch (std::uniform_int_distribution<int>(0, 5)(rng_)) {
        case 0: return 0xFFFF;
        case 1: return 0x8000;
        case 2: return 0;
        default: return uint16_t(rng_());
        }
    }

private:
    std::mt19937 rng_;
};

class MpIntTest : public ::testing::Test {
protected:
    std::unique_ptr<BN_CTX, CtxFree> ctx{BN_CTX_new()};
    Operands gen{20261210};
    Bn mod512() {
        Bn m = newBn();
        BN_set_bit(m.get(), 512);
        return m;
    }
};

TEST_F(MpIntTest, AddAndSubtractWrapAt512Bits) {
    Bn m = mod512();
    for (int iter = 0; iter < 3000; ++iter) {
        ksIntGeneral a, b, out;
        gen.fill(a, 0, 32);
        gen.fill(b, 0, 32);
        Bn ba = toBn(asInt(&a)), bb = toBn(asInt(&b)), want = newBn();
        BN_add(want.get(), ba.get(), bb.get());
        BN_nnmod(want.get(), want.get(), m.get(), ctx.get());
        mpAdd(asInt(&a), asInt(&b), asInt(&out));
        if (a.count == 32 || b.count == 32) {
            // The width is kept even when the wrapped sum has a zero top digit.
            ASSERT_EQ(out.count, 32u);
            while (out.count > 0 && out.digits[out.count - 1] == 0) --out.count;
        }
        ASSERT_TRUE(sameValue(asInt(&out), want.get())) << "add iteration " << iter;

        mpSubtract(asInt(&a), asInt(&b), asInt(&out));
        BN_sub(want.get(), ba.get(), bb.get());
        if (BN_cmp(ba.get(), bb.get()) < 0) {
            // a - b + 2^512, held with all 32 digits.
            BN_add(want.get(), want.get(), m.get());
            ASSERT_EQ(out.count, 32u);
            ksIntGeneral trimmedOut = out;
            while (trimmedOut.count > 0 && trimmedOut.digits[trimmedOut.count - 1] == 0) --trimmedOut.count;
            ASSERT_TRUE(sameValue(asInt(&trimmedOut), want.get())) << "sub iteration " << iter;
        } else {
            ASSERT_TRUE(sameValue(asInt(&out), want.get())) << "sub iteration " << iter;
        }
    }
}

TEST_F(MpIntTest, OutputMayAliasAnInput) {
    for (int iter = 0; iter < 300; ++iter) {
        ksIntGeneral a, b;
        gen.fill(a, 0, 17);
        gen.fill(b, 0, 17);
        Bn ba = toBn(asInt(&a)), bb = toBn(asInt(&b)), want = newBn();
        BN_mul(want.get(), ba.get(), bb.get(), ctx.get());
        ksIntProduct p;
        static_assert(sizeof p >= sizeof a);
        std::memcpy(&p, &a, sizeof a);
        mpMultiply(asInt(&p), asInt(&b), &p);
        ASSERT_TRUE(sameValue(asInt(&p), want.get()));
        BN_add(want.get(), ba.get(), bb.get());
        mpAdd(asInt(&a), asInt(&b), asInt(&b));
        ASSERT_TRUE(sameValue(asInt(&b), want.get()));
    }
}

TEST_F(MpIntTest, MultiplyAndDivideMatchBn) {
    for (int iter = 0; iter < 5000; ++iter) {
        ksIntGeneral a, b, m;
        gen.fill(a, 0, 17);
        gen.fill(b, 0, 17);
        ksIntProduct p;
        mpMultiply(asInt(&a), asInt(&b), &p);
        Bn ba = toBn(asInt(&a)), bb = toBn(asInt(&b)), want = newBn();
        BN_mul(want.get(), ba.get(), bb.get(), ctx.get());
        ASSERT_TRUE(sameValue(asInt(&p), want.get())) << "mul iteration " << iter;

        gen.fill(a, 0, 32);
        gen.fill(m, 1, 16);
        ksIntGeneral q;
        ksIntReduced r;
        ASSERT_EQ(mpDivide(asInt(&a), asInt(&m), asInt(&q), &r), 0u);
        Bn bq = newBn(), br = newBn();
        ba = toBn(asInt(&a));
        Bn bm = toBn(asInt(&m));
        BN_div(bq.get(), br.get(), ba.get(), bm.get(), ctx.get());
        ASSERT_TRUE(sameValue(asInt(&q), bq.get())) << "quotient iteration " << iter;
        ASSERT_TRUE(sameValue(asInt(&r), br.get())) << "remainder iteration " << iter;
    }
}

TEST_F(MpIntTest, ModularOperationsMatchBn) {
    int inverses = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        ksIntReduced a, b, n;
        gen.fill(n, 1, 16);
        gen.fill(a, 0, 16);
        gen.fill(b, 0, 16);
        Bn ba = toBn(asInt(&a)), bb = toBn(asInt(&b)), bn = toBn(asInt(&n)), want = newBn();
        ksIntReduced out;
        a1336(asInt(&a), asInt(&b), asInt(&n), &out);
        BN_mod_add(want.get(), ba.get(), bb.get(), bn.get(), ctx.get());
        ASSERT_TRUE(sameValue(asInt(&out), want.get()));
        a1342(asInt(&a), asInt(&b), asInt(&n), &out);
        BN_mod_mul(want.get(), ba.get(), bb.get(), bn.get(), ctx.get());
        ASSERT_TRUE(sameValue(asInt(&out), want.get()));
        mpModSubtract(asInt(&a), asInt(&b), asInt(&n), &out);
        BN_mod_sub(want.get(), ba.get(), bb.get(), bn.get(), ctx.get());
        ASSERT_TRUE(sameValue(asInt(&out), want.get()));

        uint32_t flag = 7;
        ksIntReduced inv{};
        mpModInverse(asInt(&a), asInt(&n), &inv, &flag);
        Bn expected(BN_mod_inverse(nullptr, ba.get(), bn.get(), ctx.get()));
        ERR_clear_error();
        Bn residue = newBn();
        BN_nnmod(residue.get(), ba.get(), bn.get(), ctx.get());
        if (expected && !BN_is_zero(residue.get())) {
            ASSERT_EQ(flag, 1u) << BN_bn2hex(ba.get()) << " mod " << BN_bn2hex(bn.get());
            ASSERT_TRUE(sameValue(asInt(&inv), expected.get()));
            ++inverses;
        } else {
            ASSERT_EQ(flag, 0u) << BN_bn2hex(ba.get()) << " mod " << BN_bn2hex(bn.get());
        }
    }
    EXPECT_GT(inverses, 500);  // the operand mix must exercise the success path
}

TEST_F(MpIntTest, OctetConversionsMatchBn) {
    for (int iter = 0; iter < 1000; ++iter) {
        ksIntGeneral a;
        gen.fill(a, 0, 32);
        Bn ba = toBn(asInt(&a));
        const uint32_t need = uint32_t(BN_num_bytes(ba.get()));
        const uint32_t length = std::max(need, 1u) + uint32_t(iter % 3);
        std::vector<uint8_t> mine(length), ref(length);
        ASSERT_EQ(a1714(asInt(&a), length, mine.data()), 0u);
        BN_bn2binpad(ba.get(), ref.data(), int(length));
        ASSERT_EQ(mine, ref);
        if (need > 1) {
            EXPECT_EQ(a1714(asInt(&a), need - 1, mine.data()), 1u);
        }
        if (length <= 64) {
            ksIntGeneral back;
            ASSERT_EQ(a1720(length, ref.data(), asInt(&back)), 0u);
            ASSERT_TRUE(sameValue(asInt(&back), ba.get()));
        }
    }
}

TEST_F(MpIntTest, ShiftsMatchBnWithinCapacity) {
    for (int iter = 0; iter < 1000; ++iter) {
        ksIntGeneral a;
        gen.fill(a, 0, 20);
        const uint32_t shift = uint32_t(iter * 7 % 300);
        const uint32_t capacity = 8 + uint32_t(iter % 25);
        uint16_t out[34];
        uint32_t count = 0;
        Bn want = newBn(), ba = toBn(asInt(&a));
        mpShiftLeft(a.digits, a.count, shift, out, capacity, &count);
        BN_lshift(want.get(), ba.get(), int(shift));
        BN_mask_bits(want.get(), int(16 * capacity));
        ksIntGeneral got{};
        got.count = count;
        std::memcpy(got.digits, out, count * 2);
        ASSERT_TRUE(sameValue(asInt(&got), want.get())) << "left " << shift << " cap " << capacity;

        mpShiftRight(a.digits, a.count, shift, out, 32, &count);
        BN_rshift(want.get(), ba.get(), int(shift));
        got.count = count;
        std::memcpy(got.digits, out, count * 2);
        ASSERT_TRUE(sameValue(asInt(&got), want.get())) << "right " << shift;
    }
}

ksIntGeneral make(std::initializer_list<uint16_t> digitsLowFirst) {
    ksIntGeneral r{};
    for (uint16_t d : digitsLowFirst) r.digits[r.count++] = d;
    return r;
}

TEST(MpIntEdges, CountsBitsAndBytes) {
    struct Case {
        ksIntGeneral value;
        uint32_t bits;
        uint32_t bytes;
    } cases[] = {
        {make({}), 0, 0},       {make({0x0001}), 1, 1},          {make({0x00FF}), 8, 1},
        {make({0x0100}), 9, 2}, {make({0x0000, 0x8000}), 32, 4},
    };
    for (auto& c : cases) {
        uint32_t bits = 99, bytes = 99;
        mpBitLength(asInt(&c.value), &bits);
        mpByteLength(asInt(&c.value), &bytes);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(MpIntEdges, TestBitStaysInsideTheRecord) {
    // A full reduced record: index 16*count is the first bit past it.
    ksIntReduced full;
    full.count = 18;
    for (auto& d : full.digits) d = 0xFFFF;
    uint32_t bit = 7;
    EXPECT_EQ(mpTestBit(asInt(&full), 16 * 18 - 1, &bit), 0u);
    EXPECT_EQ(bit, 1u);
    bit = 7;
    EXPECT_EQ(mpTestBit(asInt(&full), 16 * 18, &bit), 1u);
    EXPECT_EQ(bit, 7u);
    EXPECT_EQ(mpTestBit(asInt(&full), 16 * 18 + 1, &bit), 1u);
    ksIntGeneral zero = make({});
    EXPECT_EQ(mpTestBit(asInt(&zero), 0, &bit), 0u);
    EXPECT_EQ(bit, 0u);
}

TEST(MpIntEdges, AddCarryAndSubtractBorrowAtTheTop) {
    ksIntGeneral top{}, one = make({1}), out{};
    top.count = 31;
    for (uint32_t i = 0; i < 31; ++i) top.digits[i] = 0xFFFF;
    mpAdd(asInt(&top), asInt(&one), asInt(&out));
    EXPECT_EQ(out.count, 32u);
    EXPECT_EQ(out.digits[31], 1u);
    top.count = 32;
    top.digits[31] = 0xFFFF;
    mpAdd(asInt(&top), asInt(&one), asInt(&out));
    EXPECT_EQ(out.count, 32u);  // the carry out of digit 31 is dropped
    EXPECT_EQ(out.digits[0], 0u);
    EXPECT_EQ(out.digits[31], 0u);
    ksIntGeneral two = make({2});
    mpSubtract(asInt(&one), asInt(&two), asInt(&out));
    EXPECT_EQ(out.count, 32u);
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(out.digits[i], 0xFFFF);
}

TEST(MpIntEdges, InverseCornersNeverLoop) {
    const ksIntGeneral n15 = make({15});
    struct Case {
        ksIntGeneral a;
        uint32_t flag;
        uint16_t inverse;
    } cases[] = {
        {make({1}), 1, 1}, {make({14}), 1, 14}, {make({16}), 1, 1},
        {make({5}), 0, 0}, {make({0}), 0, 0},   {make({30}), 0, 0},
    };
    for (auto& c : cases) {
        ksIntReduced out{};
        uint32_t flag = 9;
        EXPECT_EQ(mpModInverse(asInt(&c.a), asInt(&n15), &out, &flag), 0u);
        EXPECT_EQ(flag, c.flag);
        if (c.flag == 1) {
            EXPECT_EQ(out.count, 1u);
            EXPECT_EQ(out.digits[0], c.inverse);
        }
    }
}

TEST(MpIntEdges, OctetFormsAndLimits) {
    const uint8_t odd[] = {0x01, 0x02, 0x03};
    ksIntGeneral v{};
    ASSERT_EQ(a1720(3, odd, asInt(&v)), 0u);
    EXPECT_EQ(v.count, 2u);
    EXPECT_EQ(v.digits[0], 0x0203);
    EXPECT_EQ(v.digits[1], 0x0001);
    uint8_t two[2];
    EXPECT_EQ(a1714(asInt(&v), 2, two), 1u);
    uint8_t five[5];
    ASSERT_EQ(a1714(asInt(&v), 5, five), 0u);
    EXPECT_EQ(std::vector<uint8_t>(five, five + 5), (std::vector<uint8_t>{0, 0, 1, 2, 3}));
    const uint8_t lead[] = {0, 0, 1};
    ASSERT_EQ(a1720(3, lead, asInt(&v)), 0u);
    EXPECT_EQ(v.count, 1u);
    std::vector<uint8_t> big(65, 0x11);
    EXPECT_EQ(a1720(65, big.data(), asInt(&v)), 1u);
    EXPECT_EQ(a1720(64, big.data(), asInt(&v)), 0u);
    EXPECT_EQ(a1720(0, big.data(), asInt(&v)), 1u);
    std::vector<uint8_t> zeros(10, 0);
    ASSERT_EQ(a1720(10, zeros.data(), asInt(&v)), 0u);
    EXPECT_EQ(v.count, 0u);
    EXPECT_EQ(a1714(asInt(&v), 0, two), 1u);
}

TEST(MpIntEdges, DivisionRefusesAZeroDivisor) {
    ksIntGeneral a = make({5}), zero = make({});
    ksIntGeneral q;
    ksIntReduced r;
    EXPECT_EQ(mpDivide(asInt(&a), asInt(&zero), asInt(&q), &r), 1u);
}

}  // namespace
