// 2-of-3 secret sharing: every pair of shares rebuilds the private key that
// OpenSSL confirms against the public key, on binary and prime fields.
#include <cstring>

#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

class Sharing : public ::testing::TestWithParam<int> {};

TEST_P(Sharing, EveryPairRebuildsTheKey) {
    Curve curve(GetParam());
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    ksPublicKey pub{};
    ksShare shares[3] = {};
    ASSERT_EQ(ks_shadowGenerate(gd, &pub, shares), 0u);
    for (const ksShare& s : shares) EXPECT_EQ(s.length, 2 * curve.L());
    Bytes first;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (i == j) continue;
            SCOPED_TRACE(testing::Message() << i << j);
            const ksShare pair[2] = {shares[i], shares[j]};
            ksPrivateKey priv{};
            ASSERT_EQ(ks_shadowCombine(gd, pair, &priv), 0u);
            EXPECT_EQ(priv.length, curve.L());
            const Bytes key(priv.key, priv.key + priv.length);
            if (first.empty()) first = key;
            EXPECT_EQ(key, first);
            EXPECT_EQ(EC_KEY_check_key(opensslKey(curve, pub, &priv).get()), 1);
        }
    }
    // The same share twice has no line through it.
    const ksShare same[2] = {shares[1], shares[1]};
    ksPrivateKey priv{};
    EXPECT_EQ(ks_shadowCombine(gd, same, &priv), 3u);
    // Length words are not read; an altered share gives another key.
    ksShare pair[2] = {shares[0], shares[2]};
    pair[0].length = 7;
    ASSERT_EQ(ks_shadowCombine(gd, pair, &priv), 0u);
    EXPECT_EQ(Bytes(priv.key, priv.key + priv.length), first);
    pair[1].share[curve.L() + 3] ^= 1;
    ASSERT_EQ(ks_shadowCombine(gd, pair, &priv), 0u);
    EXPECT_NE(Bytes(priv.key, priv.key + priv.length), first);

    EXPECT_EQ(ks_shadowGenerate(gd, nullptr, shares), 0x707u);
    EXPECT_EQ(ks_shadowGenerate(gd, &pub, nullptr), 0x0Du);
    EXPECT_EQ(ks_shadowCombine(gd, nullptr, &priv), 0x0Bu);
    EXPECT_EQ(ks_shadowCombine(gd, same, nullptr), 0x705u);
}

INSTANTIATE_TEST_SUITE_P(Curves, Sharing,
                         ::testing::Values(NID_sect163k1, NID_sect233r1, NID_X9_62_prime192v1, NID_X9_62_prime256v1),
                         [](const auto& info) { return std::string(OBJ_nid2sn(info.param)); });

}  // namespace
}  // namespace tess::crypto::test
