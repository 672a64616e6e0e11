// Certificates: the octet layout, signatures that OpenSSL verifies, both
// schemes, tampering, the largest certificate, parsing and refusals.
#include <cstring>

#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

struct EcdsaSigFree {
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
};

class Certificates : public ::testing::Test {
protected:
    Curve curve{NID_sect163k1};
    ksGlobalData* gd = nullptr;
    ksPrivateKey caPriv{};
    ksPublicKey caPub{};
    ksCertificateInfo info{};

    void SetUp() override {
        ASSERT_EQ(curve.status(), 0u);
        gd = curve.gd();
        ASSERT_EQ(ks_genKeyPair(gd, &caPriv, &caPub), 0u);
        ksPrivateKey subject{};
        ASSERT_EQ(ks_genKeyPair(gd, &subject, &info.publicKey), 0u);
        info.userDataLength = 10;
        std::memcpy(info.userData, "user-data!", 10);
    }

    uint32_t verify(const ksCertificate& cert, bool ecdsa = true, ksErrorCode expected = 0) {
        uint32_t valid = 7;
        EXPECT_EQ(ecdsa ? ks_ecdsaVerifyCert(gd, &cert, &caPub, &valid) : ks_ecnrVerifyCert(gd, &cert, &caPub, &valid),
                  expected);
        return valid;
    }
};

TEST_F(Certificates, LayoutAndOpensslSignature) {
    ksCertificate cert{};
    ASSERT_EQ(ks_ecdsaGenCert(gd, &info, &caPriv, &cert), 0u);
    ASSERT_EQ(cert.length, 79u);
    const uint8_t* c = cert.certificate;
    EXPECT_EQ(Bytes(c, c + 2), (Bytes{0x00, 0x16}));
    EXPECT_EQ(Bytes(c + 2, c + 24), Bytes(info.publicKey.key, info.publicKey.key + 22));
    EXPECT_EQ(c[24], 0x0A);
    EXPECT_EQ(Bytes(c + 25, c + 35), Bytes(info.userData, info.userData + 10));
    EXPECT_EQ(Bytes(c + 35, c + 37), (Bytes{0x00, 0x2A}));
    // The signature over the first 35 octets, as OpenSSL checks it.
    const Bytes h = sha1(Bytes(c, c + 35));
    std::unique_ptr<ECDSA_SIG, EcdsaSigFree> sig(ECDSA_SIG_new());
    ECDSA_SIG_set0(sig.get(), BN_bin2bn(c + 37, 21, nullptr), BN_bin2bn(c + 58, 21, nullptr));
    EXPECT_EQ(ECDSA_do_verify(h.data(), 20, sig.get(), opensslKey(curve, caPub).get()), 1);
    EXPECT_EQ(verify(cert), 1u);

    ksCertificateInfo parsed{};
    ASSERT_EQ(ks_ecdsaParseCert(gd, &cert, &parsed), 0u);
    EXPECT_EQ(parsed.publicKey.length, 22u);
    EXPECT_EQ(std::memcmp(parsed.publicKey.key, info.publicKey.key, 22), 0);
    EXPECT_EQ(parsed.userDataLength, 10u);
    EXPECT_EQ(std::memcmp(parsed.userData, info.userData, 10), 0);
    // One octet more than the fields: refused, after the record was filled.
    ksCertificate longer = cert;
    longer.length += 1;
    ksCertificateInfo partial{};
    EXPECT_EQ(ks_ecnrParseCert(gd, &longer, &partial), 0x101u);
    EXPECT_EQ(partial.userDataLength, 10u);
}

TEST_F(Certificates, TamperingAndSchemes) {
    ksCertificate cert{};
    ASSERT_EQ(ks_ecdsaGenCert(gd, &info, &caPriv, &cert), 0u);
    for (uint32_t at : {2u, 23u, 25u, 34u, 40u, 78u}) {
        ksCertificate bad = cert;
        bad.certificate[at] ^= 0x20;
        EXPECT_EQ(verify(bad), 0u) << at;
    }
    ksCertificate badLength = cert;
    badLength.certificate[36] = 0x2B;
    uint32_t valid = 7;
    const ksErrorCode rc = ks_ecdsaVerifyCert(gd, &badLength, &caPub, &valid);
    EXPECT_TRUE(rc == 3 || rc == 0x101) << rc;

    ksCertificate nr{};
    ASSERT_EQ(ks_ecnrGenCert(gd, &info, &caPriv, &nr), 0u);
    EXPECT_EQ(verify(nr, false), 1u);
    EXPECT_EQ(verify(nr, true), 0u) << "an EC-NR certificate is no ECDSA one";

    const Bytes pw = {'c', 'a'};
    ksProtectedKey caProtected{};
    ksPublicKey protectedPub{};
    ASSERT_EQ(ks_genPwdKeyPair(gd, 2, pw.data(), &caProtected, &protectedPub), 0u);
    ksCertificate pwd{};
    ASSERT_EQ(ks_ecdsaPwdGenCert(gd, &info, 2, pw.data(), &caProtected, &pwd), 0u);
    ASSERT_EQ(ks_ecdsaVerifyCert(gd, &pwd, &protectedPub, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    ASSERT_EQ(ks_ecnrPwdGenCert(gd, &info, 2, pw.data(), &caProtected, &pwd), 0u);
    ASSERT_EQ(ks_ecnrVerifyCert(gd, &pwd, &protectedPub, &valid), 0u);
    EXPECT_EQ(valid, 1u);

    ksCertificateInfo empty = info;
    empty.userDataLength = 0;
    ksPrivateKey noKey{};
    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    const Case cases[] = {
        {"no info", ks_ecdsaGenCert(gd, nullptr, &caPriv, &cert), 0x106},
        {"no certificate", ks_ecdsaGenCert(gd, &info, &caPriv, nullptr), 0x105},
        {"no user data", ks_ecdsaGenCert(gd, &empty, &caPriv, &cert), 0x104},
        {"empty CA key", ks_ecdsaGenCert(gd, &info, &noKey, &cert), 0x702},
        {"no library", ks_ecdsaGenCert(nullptr, &info, &caPriv, &cert), 2},
        {"no flag", ks_ecdsaVerifyCert(gd, &cert, &caPub, nullptr), 0x0D},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(LargestCertificate, FitsTheRecordExactly) {
    Curve curve(NID_X9_62_prime256v1);
    ASSERT_EQ(curve.status(), 0u);
    ksPrivateKey caPriv{};
    ksPublicKey caPub{};
    ASSERT_EQ(ks_genKeyPair(curve.gd(), &caPriv, &caPub), 0u);
    ksCertificateInfo info{};
    info.publicKey.length = 65;  // taken as they are, not decoded
    std::memset(info.publicKey.key, 0x5A, 65);
    info.userDataLength = 255;
    std::memset(info.userData, 0xC3, 255);
    ksCertificate cert{};
    ASSERT_EQ(ks_ecdsaGenCert(curve.gd(), &info, &caPriv, &cert), 0u);
    EXPECT_EQ(cert.length, 389u);
    uint32_t valid = 7;
    ASSERT_EQ(ks_ecdsaVerifyCert(curve.gd(), &cert, &caPub, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    cert.length = 390;
    EXPECT_EQ(ks_ecdsaVerifyCert(curve.gd(), &cert, &caPub, &valid), 0x101u);
    ksCertificateInfo parsed{};
    EXPECT_EQ(ks_ecdsaParseCert(curve.gd(), &cert, &parsed), 0x101u);
}

}  // namespace
}  // namespace tess::crypto::test
