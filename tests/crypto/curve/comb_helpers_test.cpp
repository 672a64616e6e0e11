// The six-row comb shared by the engines with a comb table: scalar to
// columns and back, and the table it indexes, checked point by point
// against OpenSSL on sect163k1.
#include <openssl/rand.h>

#include "tests/crypto/curve/sect163k1_fixture.h"

namespace tess::crypto::test {
namespace {

TEST(CombColumns, RoundTripAndShape) {
    for (uint32_t bits : {160u, 163u, 192u, 256u}) {
        for (int i = 0; i < 20; ++i) {
            Bn k = newBn();
            BN_rand(k.get(), int(bits), BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
            ksIntReduced ki, back;
            toInt(k.get(), &ki);
            CombRecord comb;
            ASSERT_EQ(ecCombColumns(bits, asInt(&ki), &comb), 0u);
            const uint32_t d = (bits - 1) / 6 + 1;
            ASSERT_EQ(comb.count, BN_is_zero(k.get()) ? 0u : d);
            for (uint32_t j = 0; j < comb.count; ++j) {
                EXPECT_LT(comb.columns[j], 64u);
                for (uint32_t r = 0; r < 6; ++r)
                    EXPECT_EQ((comb.columns[j] >> r) & 1, uint32_t(BN_is_bit_set(k.get(), int(r * d + j))));
            }
            ASSERT_EQ(ecCombToInteger(&comb, &back), 0u);
            EXPECT_EQ(BN_cmp(fromInt(asInt(&back)).get(), k.get()), 0) << bits;
        }
    }
    ksIntReduced zero{}, back;
    CombRecord comb;
    comb.count = 5;
    ASSERT_EQ(ecCombColumns(163, asInt(&zero), &comb), 0u);
    EXPECT_EQ(comb.count, 0u);
    ASSERT_EQ(ecCombToInteger(&comb, &back), 0u);
    EXPECT_EQ(back.count, 0u);
}

TEST(CombColumns, PickerKeepsTheChosenCountOf43) {
    ksIntReduced k{};
    k.count = 16;
    for (auto& digit : k.digits) digit = 0xFFFF;
    CombRecord comb;
    ASSERT_EQ(ecCombColumns(256, asInt(&k), &comb), 0u);
    ASSERT_EQ(comb.count, 43u);
    uint8_t r[43];
    RAND_bytes(r, sizeof r);
    ASSERT_EQ(ecPickColumns(16, r, &comb), 0u);
    int kept = 0;
    for (uint32_t j = 0; j < 43; ++j) kept += comb.columns[j] != 0;
    EXPECT_EQ(kept, 16);
}

class CombTable : public Sect163k1 {};

TEST_F(CombTable, EntriesAreTheCombMultiplesOfThePoint) {
    constexpr uint32_t kBits = 163, d = (kBits - 1) / 6 + 1, r = (d - 1) / 8 + 1;
    const uint32_t w = 6;
    std::vector<uint32_t> table(504 * 2 * w, 0);
    ksPoint g = layout()->g;
    g.table = table.data();
    ASSERT_EQ(ecCombPrecompute(gd, kBits, &g, ecBinaryAdd, ecBinaryDouble), 0u);
    for (uint32_t j = 0; j < 8; ++j)
        for (uint32_t v = 1; v < 64; ++v) {
            Bn scalar = newBn();
            for (uint32_t i = 0; i < 6; ++i)
                if ((v >> i) & 1) BN_set_bit(scalar.get(), int(i * d + j * r));
            ksPoint e{};
            const uint32_t* at = table.data() + size_t(63 * j + v - 1) * 2 * w;
            std::memcpy(e.x.words, at, 4 * w);
            std::memcpy(e.y.words, at + w, 4 * w);
            ASSERT_TRUE(same(e, ecMul(scalar.get()).get())) << "block " << j << " value " << v;
        }
}

}  // namespace
}  // namespace tess::crypto::test
