// Octet forms of points and field elements on sect163k1, against OpenSSL's
// point encodings.
#include "crypto/curve/point_octets.h"
#include "tests/crypto/curve/sect163k1_fixture.h"

namespace tess::crypto::test {
namespace {

class PointOctets : public Sect163k1 {
protected:
    std::vector<uint8_t> opensslForm(const ksPoint& p, point_conversion_form_t form) {
        std::vector<uint8_t> out(64);
        const size_t n = EC_POINT_point2oct(group.get(), toEc(p).get(), form, out.data(), out.size(), ctx.get());
        out.resize(n);
        return out;
    }
    std::vector<uint8_t> ours(const ksPoint& p) {
        std::vector<uint8_t> out(65);
        uint32_t len = 0;
        EXPECT_EQ(a1705(gd, &p, 65, &len, out.data()), 0u);
        out.resize(len);
        return out;
    }
    ksPoint randomPoint() {
        Bn r = newBn();
        BN_rand_range(r.get(), order.get());
        return fromEc(ecMul(r.get()).get());
    }
    bool decodes(const std::vector<uint8_t>& octets, const ksPoint& want) {
        ksPoint p{};
        if (a1717(gd, uint32_t(octets.size()), octets.data(), &p) != 0) return false;
        return hexOf(p.x) == hexOf(want.x) && hexOf(p.y) == hexOf(want.y);
    }
    uint32_t decode(const std::vector<uint8_t>& octets) {
        ksPoint p{};
        return a1717(gd, uint32_t(octets.size()), octets.data(), &p);
    }
};

TEST_F(PointOctets, InitialisedContextWritesAndReadsOnlyCompressed) {
    for (int i = 0; i < 20; ++i) {
        const ksPoint p = randomPoint();
        const auto compressed = opensslForm(p, POINT_CONVERSION_COMPRESSED);
        EXPECT_EQ(ours(p), compressed);
        EXPECT_TRUE(decodes(compressed, p));
        auto hybridPrefix = compressed;
        hybridPrefix[0] |= 0x04;  // 06 and 07 read as compressed
        EXPECT_TRUE(decodes(hybridPrefix, p));
        EXPECT_EQ(decode(opensslForm(p, POINT_CONVERSION_UNCOMPRESSED)), 1u);
    }
    std::vector<uint8_t> badPrefix = opensslForm(randomPoint(), POINT_CONVERSION_COMPRESSED);
    badPrefix[0] = 0x04;
    EXPECT_EQ(decode(badPrefix), 1u);
}

TEST_F(PointOctets, EveryFormByFormatWord) {
    const ksPoint p = randomPoint();
    const auto uncompressed = opensslForm(p, POINT_CONVERSION_UNCOMPRESSED);
    const auto hybrid = opensslForm(p, POINT_CONVERSION_HYBRID);
    const auto compressed = opensslForm(p, POINT_CONVERSION_COMPRESSED);
    struct Case {
        uint32_t format;
        std::vector<uint8_t> written;
    } cases[] = {{0, hybrid}, {1, compressed}, {2, uncompressed}, {3, compressed}};
    for (const Case& c : cases) {
        layout()->pointFormat = c.format;
        EXPECT_EQ(ours(p), c.written) << "format " << c.format;
    }
    layout()->pointFormat = 2;
    const std::vector<uint8_t> raw(uncompressed.begin() + 1, uncompressed.end());
    EXPECT_TRUE(decodes(raw, p));
    EXPECT_TRUE(decodes(uncompressed, p));
    EXPECT_TRUE(decodes(hybrid, p));
    EXPECT_TRUE(decodes(compressed, p));
    auto wrongBit = hybrid;
    wrongBit[0] ^= 0x01;
    EXPECT_EQ(decode(wrongBit), 1u) << "hybrid bit that disagrees with y";
    auto bad = uncompressed;
    bad[0] = 0x05;
    EXPECT_EQ(decode(bad), 1u);
    for (size_t len : {0ul, 1ul, 21ul, 23ul, 41ul, 44ul})
        EXPECT_EQ(decode(std::vector<uint8_t>(len, 0x02)), 1u) << "length " << len;

    // X then one compression octet, read only with the ECES compression
    // word 0; x's top octet must not look like a prefix (02, 03, 06, 07).
    ksPoint q = randomPoint();
    auto qc = opensslForm(q, POINT_CONVERSION_COMPRESSED);
    while (qc[1] == 2 || qc[1] == 3 || qc[1] == 6 || qc[1] == 7) {
        q = randomPoint();
        qc = opensslForm(q, POINT_CONVERSION_COMPRESSED);
    }
    std::vector<uint8_t> trailing(qc.begin() + 1, qc.end());
    trailing.push_back(qc[0] & 1);
    layout()->ecesCompression = 1;
    EXPECT_EQ(decode(trailing), 1u);
    layout()->ecesCompression = 0;
    EXPECT_TRUE(decodes(trailing, q));
    for (uint8_t unused : {0x02, 0x80}) {
        auto bad = trailing;
        bad.back() |= unused;
        EXPECT_EQ(decode(bad), 1u) << "compression octet " << int(bad.back());
    }

    layout()->pointFormat = 7;
    uint32_t len = 0;
    uint8_t out[65];
    EXPECT_EQ(a1705(gd, &p, 65, &len, out), 1u);
    layout()->pointFormat = 2;
    EXPECT_EQ(a1705(gd, &p, 42, &len, out), 1u) << "capacity below the form's length";
}

TEST_F(PointOctets, CompressedXWithoutAPointIsRefused) {
    // Walk x until OpenSSL finds no point for it either.
    std::vector<uint8_t> octets(22, 0);
    octets[0] = 0x02;
    int refused = 0;
    for (int v = 1; v < 64 && refused < 3; ++v) {
        octets[21] = uint8_t(v);
        EcPoint e(EC_POINT_new(group.get()));
        ERR_set_mark();
        const bool exists = EC_POINT_oct2point(group.get(), e.get(), octets.data(), octets.size(), ctx.get()) == 1;
        ERR_pop_to_mark();
        ksPoint p{};
        const uint32_t rc = a1717(gd, 22, octets.data(), &p);
        EXPECT_EQ(rc, exists ? 0u : 1u) << "x = " << v;
        if (exists) {
            EXPECT_TRUE(same(p, e.get()));
        } else {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST_F(PointOctets, PointWithXZeroDecompressesToRootOfB) {
    // b = 1, so sqrt(b) = 1, whatever the compression bit says.
    for (uint8_t prefix : {0x02, 0x03}) {
        std::vector<uint8_t> octets(22, 0);
        octets[0] = prefix;
        ksPoint p{};
        ASSERT_EQ(a1717(gd, 22, octets.data(), &p), 0u);
        EXPECT_EQ(hexOf(p.x), "0");
        EXPECT_EQ(hexOf(p.y), "01");
    }
    ksPoint t{};
    t.y.words[0] = 1;
    std::vector<uint8_t> want(22, 0);
    want[0] = 0x02;
    EXPECT_EQ(ours(t), want);
}

TEST_F(PointOctets, ReferenceFormNamesOnlyTheBasePointTable) {
    const uint8_t zero = 0x00, other = 0x01;
    ksPoint p{};
    ASSERT_EQ(a1717(gd, 1, &zero, &p), 0u);
    EXPECT_EQ(p.table, layout()->g.table);
    EXPECT_EQ(hexOf(p.x), hexOf(layout()->g.x));
    EXPECT_EQ(hexOf(p.y), hexOf(layout()->g.y));
    EXPECT_EQ(a1717(gd, 1, &other, &p), 1u);
    layout()->g.table = nullptr;  // as in a context made without a work area
    EXPECT_EQ(a1717(gd, 1, &zero, &p), 1u);
}

TEST_F(PointOctets, FieldElementOctets) {
    // 21 octets whose first is FF: only bits 160..162 survive.
    std::vector<uint8_t> in(21, 0);
    in[0] = 0xFF;
    in[20] = 0x01;
    ksFieldElement e{};
    ASSERT_EQ(fieldFromOctets(gd, 21, in.data(), &e), 0u);
    EXPECT_EQ(hexOf(e), "07" + std::string(38, '0') + "01");
    // Octets in front of the element's 24 are ignored.
    std::vector<uint8_t> longer(30, 0xEE);
    std::copy(in.begin(), in.end(), longer.begin() + 9);
    ksFieldElement f{};
    ASSERT_EQ(fieldFromOctets(gd, 30, longer.data(), &f), 0u);
    EXPECT_EQ(hexOf(f), "07" + std::string(38, '0') + "01");
    // L + 2 octets: two leading zeros.
    uint8_t out[23];
    ASSERT_EQ(fieldToOctets(gd, &e, 23, out), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0x07);
    EXPECT_EQ(out[22], 0x01);
    ASSERT_EQ(fieldFromOctets(gd, 0, in.data(), &f), 0u);
    EXPECT_EQ(hexOf(f), "0");

    // Invert of zero fails and leaves its output; flags say 0 for yes.
    ksFieldElement zero{}, untouched = e;
    EXPECT_EQ(fieldInvert(gd, &zero, &untouched), 1u);
    EXPECT_EQ(hexOf(untouched), hexOf(e));
    uint32_t flag = 9;
    EXPECT_EQ(fieldIsZero(gd, &zero, &flag), 0u);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(a2254(gd, &e, &e, &flag), 0u);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(a2254(gd, &e, &zero, &flag), 0u);
    EXPECT_EQ(flag, 1u);
    ksFieldElement one{}, root{};
    one.words[0] = 1;
    EXPECT_EQ(fieldSolveQuadratic(gd, &one, &flag, &root), 0u);
    EXPECT_EQ(flag, 1u) << "Tr(1) = 1: no root";
    // Squaring in place.
    ksFieldElement sq = e, want{};
    fieldMultiply(gd, &e, &e, &want);
    EXPECT_EQ(fieldSquare(gd, &sq, &sq), 0u);
    EXPECT_EQ(hexOf(sq), hexOf(want));
}

}  // namespace
}  // namespace tess::crypto::test
