// ECES and ECAES: the keystream and check values recomputed from the shared
// secret that OpenSSL's point arithmetic gives, the X9.63 KDF vectors for the
// BR keystream, round trips in pieces, tampering, and the refusals.
#include <openssl/ecdh.h>
#include <openssl/evp.h>

#include <cstring>

#include "crypto/protocol/eces_internal.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

Bytes counterBytes(uint32_t c) { return {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Keystream of the plain form (SHA-1(counter || Z) from 0) or the BR form
// (X9.63: SHA-1(Z || counter || info) from 1).
Bytes keystream(const Bytes& z, bool br, const Bytes& info, size_t length) {
    Bytes out;
    for (uint32_t c = br ? 1 : 0; out.size() < length; ++c) {
        const Bytes block = br ? sha1(concat({z, counterBytes(c), info})) : sha1(concat({counterBytes(c), z}));
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(length);
    return out;
}

Bytes xorOf(const Bytes& a, const Bytes& b) {
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i) out[i] = a[i] ^ b[i];
    return out;
}

class Eces : public ::testing::Test {
protected:
    Curve curve{NID_sect163k1};
    ksGlobalData* gd = nullptr;
    ksPrivateKey priv{};
    ksPublicKey pub{};
    Bytes message = Bytes(57, 0);

    void SetUp() override {
        ASSERT_EQ(curve.status(), 0u);
        gd = curve.gd();
        ASSERT_EQ(ks_genKeyPair(gd, &priv, &pub), 0u);
        for (size_t i = 0; i < message.size(); ++i) message[i] = uint8_t(i * 7 + 1);
    }

    // Z = x(d R) by OpenSSL, as L octets.
    Bytes sharedFromR(const uint8_t* r, size_t rLength) {
        const EC_GROUP* g = curve.group();
        PointPtr R(EC_POINT_new(g));
        EXPECT_EQ(EC_POINT_oct2point(g, R.get(), r, rLength, nullptr), 1);
        Bn d(BN_bin2bn(priv.key, int(priv.length), nullptr));
        PointPtr s(EC_POINT_new(g));
        EC_POINT_mul(g, s.get(), nullptr, R.get(), d.get(), nullptr);
        Bn x = newBn();
        EC_POINT_get_affine_coordinates(g, s.get(), x.get(), nullptr, nullptr);
        Bytes z(curve.L());
        BN_bn2binpad(x.get(), z.data(), int(z.size()));
        return z;
    }
};

TEST_F(Eces, StreamsMatchTheKeystreamInAnyPieces) {
    for (bool br : {false, true}) {
        SCOPED_TRACE(br);
        const Bytes info = {'k', 'd', 'f'};
        ksEcesContext ctx{};
        uint8_t r[65];
        uint32_t rLength = sizeof r;
        if (br)
            ASSERT_EQ(ks_ecesBREncryptBegin(gd, &pub, 3, info.data(), &ctx, &rLength, r), 0u);
        else
            ASSERT_EQ(ks_ecesEncryptBegin(gd, &pub, &ctx, &rLength, r), 0u);
        ASSERT_EQ(rLength, 22u);
        // Pieces of 1, 19, 20 and 17 octets.
        Bytes cipher(message.size());
        size_t at = 0;
        for (size_t piece : {1, 19, 20, 17}) {
            ASSERT_EQ(ks_ecesEncrypt(gd, uint32_t(piece), message.data() + at, &ctx, cipher.data() + at), 0u);
            at += piece;
        }
        ASSERT_EQ(ks_ecesEncryptEnd(gd, &ctx), 0u);
        EXPECT_EQ(ks_ecesEncryptEnd(gd, &ctx), 0x0Au) << "ended already";

        const Bytes z = sharedFromR(r, rLength);
        EXPECT_EQ(cipher, xorOf(message, keystream(z, br, br ? info : Bytes{}, message.size())));

        Bytes plain(message.size());
        if (br)
            ASSERT_EQ(ks_ecesBRDecryptBegin(gd, &priv, 3, info.data(), rLength, r, &ctx), 0u);
        else
            ASSERT_EQ(ks_ecesDecryptBegin(gd, &priv, rLength, r, &ctx), 0u);
        at = 0;
        for (size_t piece : {21, 36}) {
            ASSERT_EQ(ks_ecesDecrypt(gd, uint32_t(piece), cipher.data() + at, &ctx, plain.data() + at), 0u);
            at += piece;
        }
        ASSERT_EQ(ks_ecesDecryptEnd(gd, &ctx), 0u);
        EXPECT_EQ(plain, message);
    }
}

TEST(EcesKeystream, BrFormIsTheX963Kdf) {
    Curve curve(NID_X9_62_prime192v1);  // 24-octet elements, as the vectors' Z
    ASSERT_EQ(curve.status(), 0u);
    int checked = 0;
    for (const auto& v : protocolVectors("ansx963_sha1.txt")) {
        ksEcesContext stream{};
        EcesContextLayout* ctx = ecesLayout(&stream);
        const Bytes z = fromHex(v.at("Z"));
        ASSERT_EQ(z.size(), 24u);
        std::memcpy(ctx->shared + 8, z.data(), 24);
        const Bytes info = v.has("SharedInfo") ? fromHex(v.at("SharedInfo")) : Bytes{};
        startKeystream(ctx, true, uint32_t(info.size()), info.data());
        const Bytes expected = fromHex(v.at("key_data"));
        Bytes out(expected.size(), 0);
        applyKeystream(curve.gd(), ctx, uint32_t(out.size()), out.data(), out.data());
        EXPECT_EQ(out, expected);
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

// On a prime curve x = 0 is an ordinary point: as the sender's R (Z then
// OpenSSL's x(d R)) and as the shared point (Z all zero octets), the stream
// decrypts with the keystream of that Z; a recipient key with x = 0 is taken.
TEST(EcesZeroX, PrimeCurveSharedPointsAsOpensslComputes) {
    Curve curve(NID_X9_62_prime256v1);
    ASSERT_EQ(curve.status(), 0u);
    ksGlobalData* gd = curve.gd();
    ksPrivateKey priv{};
    ksPublicKey pub{};
    ASSERT_EQ(ks_genKeyPair(gd, &priv, &pub), 0u);
    const ZeroXPoints points = zeroXPoints(curve, priv);
    const Bytes message(45, 0x3C);
    struct Case {
        const char* what;
        const EC_POINT* r;
        bool zeroSecret;
    };
    const Case cases[] = {{"R with x = 0", points.zeroX.get(), false}, {"shared x = 0", points.toZero.get(), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EcKey key = opensslKey(curve, pub, &priv);
        Bytes z(curve.L());
        ASSERT_EQ(ECDH_compute_key(z.data(), z.size(), c.r, key.get(), nullptr), int(curve.L()));
        EXPECT_EQ(z == Bytes(curve.L(), 0), c.zeroSecret);
        const ksPublicKey r = compressedKeyOf(curve, c.r);
        ksEcesContext ctx{};
        ASSERT_EQ(ks_ecesDecryptBegin(gd, &priv, r.length, r.key, &ctx), 0u);
        Bytes plain(message.size());
        ASSERT_EQ(ks_ecesDecrypt(gd, uint32_t(message.size()), message.data(), &ctx, plain.data()), 0u);
        EXPECT_EQ(plain, xorOf(message, keystream(z, false, {}, message.size())));
    }
    const ksPublicKey zeroXKey = compressedKeyOf(curve, points.zeroX.get());
    ksEcesContext ctx{};
    uint8_t r[65];
    uint32_t rLength = sizeof r;
    EXPECT_EQ(ks_ecesEncryptBegin(gd, &zeroXKey, &ctx, &rLength, r), 0u);
}

TEST_F(Eces, EcaesCheckValuesAndTampering) {
    const Bytes info = {'i', 'n', 'f', 'o'};
    const Bytes macInfo = {'m', 'a', 'c'};
    for (bool br : {false, true}) {
        SCOPED_TRACE(br);
        Bytes out(22 + 20 + message.size());
        uint32_t outLength = uint32_t(out.size());
        if (br)
            ASSERT_EQ(ks_ecaesBREncrypt(gd, &pub, 4, info.data(), 3, macInfo.data(), uint32_t(message.size()),
                                        message.data(), &outLength, out.data()),
                      0u);
        else
            ASSERT_EQ(ks_ecaesEncrypt(gd, &pub, 4, info.data(), uint32_t(message.size()), message.data(), &outLength,
                                      out.data()),
                      0u);
        ASSERT_EQ(outLength, out.size());
        const Bytes z = sharedFromR(out.data(), 22);
        if (br) {
            // E, then T = SHA-1((B ^ 36) || SHA-1((B ^ 5C) || E || I2)) with the next 20
            // keystream octets at 43..62 of B.
            const Bytes ks = keystream(z, true, info, message.size() + 20);
            const Bytes e(out.begin() + 22, out.begin() + 22 + long(message.size()));
            EXPECT_EQ(e, xorOf(message, ks));
            Bytes inner(64, 0x5C), outer(64, 0x36);
            for (int i = 0; i < 20; ++i) {
                inner[43 + i] ^= ks[message.size() + i];
                outer[43 + i] ^= ks[message.size() + i];
            }
            const Bytes t = sha1(concat({outer, sha1(concat({inner, e, macInfo}))}));
            EXPECT_EQ(Bytes(out.end() - 20, out.end()), t);
        } else {
            EXPECT_EQ(Bytes(out.begin() + 22, out.begin() + 42), sha1(concat({z, message, info})));
            EXPECT_EQ(Bytes(out.begin() + 42, out.end()), xorOf(message, keystream(z, false, {}, message.size())));
        }

        auto open = [&](const Bytes& input, uint32_t* valid) {
            Bytes plain(message.size(), 0xEE);
            uint32_t length = uint32_t(plain.size());
            const ksErrorCode rc =
                br ? ks_ecaesBRDecrypt(gd, &priv, 4, info.data(), 3, macInfo.data(), uint32_t(input.size()),
                                       input.data(), &length, plain.data(), valid)
                   : ks_ecaesDecrypt(gd, &priv, 4, info.data(), uint32_t(input.size()), input.data(), &length,
                                     plain.data(), valid);
            EXPECT_EQ(rc, 0u);
            plain.resize(length);
            return plain;
        };
        uint32_t valid = 7;
        EXPECT_EQ(open(out, &valid), message);
        EXPECT_EQ(valid, 1u);
        // Any octet of the check value or the ciphertext changed: valid 0, nothing out.
        for (size_t at : {size_t(22), size_t(30), size_t(45), out.size() - 1}) {
            Bytes bad = out;
            bad[at] ^= 0x01;
            EXPECT_TRUE(open(bad, &valid).empty()) << at;
            EXPECT_EQ(valid, 0u) << at;
        }
        // A changed session key: not valid, or refused outright.
        Bytes badR = out;
        badR[5] ^= 0x01;
        Bytes plain(message.size());
        uint32_t length = uint32_t(plain.size());
        const ksErrorCode rc = br ? ks_ecaesBRDecrypt(gd, &priv, 4, info.data(), 3, macInfo.data(),
                                                      uint32_t(badR.size()), badR.data(), &length, plain.data(), &valid)
                                  : ks_ecaesDecrypt(gd, &priv, 4, info.data(), uint32_t(badR.size()), badR.data(),
                                                    &length, plain.data(), &valid);
        EXPECT_TRUE((rc == 0 && valid == 0) || rc == 3) << rc;
        EXPECT_EQ(length, 0u);
    }
}

// The session key R of an ECAES ciphertext: every damaged or foreign form is
// refused outright (code 3, nothing out); the spellings of R's compressed
// prefix that give R or -R (same x, same Z) still open, as the format allows.
TEST_F(Eces, EcaesSessionKeyChecks) {
    const EC_GROUP* g = curve.group();
    auto seal = [&]() {
        Bytes out(65 + 20 + message.size());
        uint32_t outLength = uint32_t(out.size());
        EXPECT_EQ(
            ks_ecaesEncrypt(gd, &pub, 0, nullptr, uint32_t(message.size()), message.data(), &outLength, out.data()),
            0u);
        out.resize(outLength);
        return out;
    };
    struct Opened {
        ksErrorCode rc;
        uint32_t valid;
        Bytes plain;
    };
    auto open = [&](const Bytes& input) {
        Opened o{0, 7, Bytes(message.size(), 0xEE)};
        uint32_t length = uint32_t(o.plain.size());
        o.rc = ks_ecaesDecrypt(gd, &priv, 0, nullptr, uint32_t(input.size()), input.data(), &length, o.plain.data(),
                               &o.valid);
        o.plain.resize(length);
        return o;
    };

    const Bytes sealed = seal();
    ASSERT_EQ(sealed.size(), 22 + 20 + message.size());
    // R + T with T = (0, 1) of order 2: Z would follow d's parity.
    PointPtr r(EC_POINT_new(g)), t(EC_POINT_new(g)), rt(EC_POINT_new(g));
    ASSERT_EQ(EC_POINT_oct2point(g, r.get(), sealed.data(), 22, nullptr), 1);
    Bn zero = newBn(), one = newBn();
    BN_zero(zero.get());
    BN_one(one.get());
    ASSERT_EQ(EC_POINT_set_affine_coordinates(g, t.get(), zero.get(), one.get(), nullptr), 1);
    ASSERT_EQ(EC_POINT_add(g, rt.get(), r.get(), t.get(), nullptr), 1);
    Bytes plusT = sealed;
    ASSERT_EQ(EC_POINT_point2oct(g, rt.get(), POINT_CONVERSION_COMPRESSED, plusT.data(), 22, nullptr), 22u);

    struct Case {
        const char* what;
        Bytes input;
        bool opens;
    };
    std::vector<Case> cases = {{"as sealed", sealed, true}, {"R + T", plusT, false}};
    for (uint8_t high : {0x80, 0x40, 0x08}) {  // bits 167, 166 and 163 of x: above m
        Bytes bad = sealed;
        bad[1] |= high;
        cases.push_back({"x above m", bad, false});
    }
    Bytes flipped = sealed, hybridPrefix = sealed;
    flipped[0] ^= 0x01;       // -R
    hybridPrefix[0] |= 0x04;  // 06 or 07, read as compressed
    cases.push_back({"02 <-> 03", flipped, true});
    cases.push_back({"06/07 prefix", hybridPrefix, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Opened o = open(c.input);
        if (c.opens) {
            EXPECT_EQ(o.rc, 0u);
            EXPECT_EQ(o.valid, 1u);
            EXPECT_EQ(o.plain, message);
        } else {
            EXPECT_EQ(o.rc, 3u);
            EXPECT_EQ(o.valid, 0u);
            EXPECT_TRUE(o.plain.empty());
        }
    }

    // Under the hybrid point-format word R carries y and its bit: a bit that
    // disagrees with y is refused, not read as -R.
    layoutOf(gd)->pointFormat = 0;
    const Bytes hybrid = seal();
    ASSERT_EQ(hybrid.size(), 43 + 20 + message.size());
    ASSERT_TRUE(hybrid[0] == 0x06 || hybrid[0] == 0x07);
    EXPECT_EQ(open(hybrid).plain, message);
    Bytes wrongBit = hybrid;
    wrongBit[0] ^= 0x01;
    const Opened o = open(wrongBit);
    EXPECT_EQ(o.rc, 3u);
    EXPECT_EQ(o.valid, 0u);
    layoutOf(gd)->pointFormat = 3;
}

TEST_F(Eces, WrappingAndPasswordKeys) {
    const Bytes pw = {'p', 'w'};
    ksProtectedKey protectedKey{};
    ksPublicKey protectedPub{};
    ASSERT_EQ(ks_genPwdKeyPair(gd, 2, pw.data(), &protectedKey, &protectedPub), 0u);
    Bytes wrapped(22 + message.size());
    uint32_t wrappedLength = uint32_t(wrapped.size());
    ASSERT_EQ(ks_ecesWrap(gd, &protectedPub, uint32_t(message.size()), message.data(), &wrappedLength, wrapped.data()),
              0u);
    Bytes plain(message.size());
    uint32_t plainLength = uint32_t(plain.size());
    ASSERT_EQ(
        ks_ecesPwdUnwrap(gd, 2, pw.data(), &protectedKey, wrappedLength, wrapped.data(), &plainLength, plain.data()),
        0u);
    EXPECT_EQ(plain, message);

    // One octet short of R and the data: refused with a zeroed buffer.
    Bytes small(22 + message.size() - 1, 0xAB);
    uint32_t smallLength = uint32_t(small.size());
    EXPECT_EQ(ks_ecesWrap(gd, &pub, uint32_t(message.size()), message.data(), &smallLength, small.data()), 7u);
    EXPECT_EQ(small, Bytes(small.size(), 0));
    EXPECT_EQ(smallLength, 0u);

    Bytes sealed(22 + 20 + message.size());
    uint32_t sealedLength = uint32_t(sealed.size());
    ASSERT_EQ(ks_ecaesWrap(gd, &protectedPub, 0, nullptr, uint32_t(message.size()), message.data(), &sealedLength,
                           sealed.data()),
              0u);
    uint32_t valid = 0;
    plainLength = uint32_t(plain.size());
    ASSERT_EQ(ks_ecaesPwdUnwrap(gd, 2, pw.data(), &protectedKey, 0, nullptr, sealedLength, sealed.data(), &plainLength,
                                plain.data(), &valid),
              0u);
    EXPECT_EQ(valid, 1u);
    EXPECT_EQ(plain, message);
}

TEST_F(Eces, Refusals) {
    ksEcesContext ctx{};
    uint8_t r[65];
    uint32_t rLength = sizeof r;
    ASSERT_EQ(ks_ecesEncryptBegin(gd, &pub, &ctx, &rLength, r), 0u);
    uint8_t buf[8] = {};
    EXPECT_EQ(ks_ecesEncrypt(gd, 0, buf, &ctx, buf), 6u);
    EXPECT_EQ(ks_ecesEncrypt(gd, 1, buf, &ctx, buf), 0x0Au) << "the refusal wiped the context";

    ksPublicKey longKey = pub;
    longKey.length = 66;
    ksPrivateKey longPriv = priv;
    longPriv.length = 41;
    ksPrivateKey nMinus1{};
    nMinus1.length = 21;
    Bn n = newBn();
    BN_copy(n.get(), curve.context().order());
    BN_sub_word(n.get(), 1);
    BN_bn2binpad(n.get(), nMinus1.key, 21);
    const uint8_t one[1] = {1};
    Bytes in(22 + 20, 1);
    std::memcpy(in.data(), r, 22);
    Bytes out(64);
    uint32_t outLength = uint32_t(out.size());
    uint32_t valid = 0;
    uint32_t length = 64;
    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    const Case cases[] = {
        {"empty message", ks_ecaesEncrypt(gd, &pub, 0, nullptr, 0, one, &outLength, out.data()), 6},
        {"info without reference", ks_ecaesEncrypt(gd, &pub, 5, nullptr, 1, one, &outLength, out.data()), 0x300},
        {"66-octet public key", ks_ecaesEncrypt(gd, &longKey, 0, nullptr, 1, one, &outLength, out.data()), 0x704},
        {"input of r + 20", ks_ecaesDecrypt(gd, &priv, 0, nullptr, 42, in.data(), &length, out.data(), &valid), 6},
        {"41-octet private key", ks_ecesDecryptBegin(gd, &longPriv, 22, r, &ctx), 0x702},
        {"private key n - 1", ks_ecesDecryptBegin(gd, &nMinus1, 22, r, &ctx), 0x702},
        {"session key of 21", ks_ecesDecryptBegin(gd, &priv, 21, r, &ctx), 6},
        {"session key of 23", ks_ecesDecryptBegin(gd, &priv, 23, r, &ctx), 6},
        {"no length reference", ks_getSessionKeyLength(gd, nullptr), 0x301},
        {"no context", ks_ecesEncryptBegin(gd, &pub, nullptr, &rLength, r), 5},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    // A session key at x = 0 (the point of order 2) is refused.
    uint8_t zeroR[22] = {0x02};
    EXPECT_EQ(ks_ecesDecryptBegin(gd, &priv, 22, zeroR, &ctx), 3u);
}

TEST_F(Eces, CombinedEncryptAndSign) {
    ksPrivateKey signer{};
    ksPublicKey signerPub{};
    ASSERT_EQ(ks_genKeyPair(gd, &signer, &signerPub), 0u);
    // In place: the output is the input buffer.
    Bytes data = message;
    ksEncryptSignContext ctx{};
    uint8_t r[65];
    uint32_t rLength = sizeof r;
    ksSignature sig{};
    ASSERT_EQ(ks_encryptSignBegin(gd, &pub, &ctx, &rLength, r), 0u);
    ASSERT_EQ(ks_encryptSign(gd, 30, data.data(), &ctx, data.data()), 0u);
    ASSERT_EQ(ks_encryptSign(gd, uint32_t(data.size() - 30), data.data() + 30, &ctx, data.data() + 30), 0u);
    ASSERT_EQ(ks_encryptSignEnd(gd, &signer, &ctx, &sig), 0u);
    EXPECT_EQ(ctx.sign.words[0], 0u) << "the context is wiped";
    EXPECT_EQ(data, xorOf(message, keystream(sharedFromR(r, rLength), false, {}, message.size())));
    const Bytes h = sha1(message);
    uint32_t valid = 7;
    ASSERT_EQ(ks_ecdsaNoHashVerify(gd, &signerPub, &sig, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u) << "the signature covers the plaintext";

    Bytes plain(data.size());
    ASSERT_EQ(ks_decryptVerifyBegin(gd, &priv, rLength, r, &ctx), 0u);
    ASSERT_EQ(ks_decryptVerify(gd, uint32_t(data.size()), data.data(), &ctx, plain.data()), 0u);
    ASSERT_EQ(ks_decryptVerifyEnd(gd, &signerPub, &sig, &ctx, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    EXPECT_EQ(plain, message);
    Bytes tampered = data;
    tampered[3] ^= 1;
    ASSERT_EQ(ks_decryptVerifyBegin(gd, &priv, rLength, r, &ctx), 0u);
    ASSERT_EQ(ks_decryptVerify(gd, uint32_t(tampered.size()), tampered.data(), &ctx, tampered.data()), 0u);
    ASSERT_EQ(ks_decryptVerifyEnd(gd, &signerPub, &sig, &ctx, &valid), 0u);
    EXPECT_EQ(valid, 0u);

    // Length 0: the first step's code, and the whole stream ends.
    ASSERT_EQ(ks_encryptSignBegin(gd, &pub, &ctx, &rLength, r), 0u);
    EXPECT_EQ(ks_encryptSign(gd, 0, data.data(), &ctx, data.data()), 4u);
    EXPECT_EQ(ks_encryptSignEnd(gd, &signer, &ctx, &sig), 0x0Au);
    ASSERT_EQ(ks_decryptVerifyBegin(gd, &priv, rLength, r, &ctx), 0u);
    EXPECT_EQ(ks_decryptVerify(gd, 0, data.data(), &ctx, plain.data()), 6u);
    EXPECT_EQ(ks_decryptVerifyEnd(gd, &signerPub, &sig, &ctx, &valid), 0x0Au);

    std::vector<uint64_t> idle(KS_GLOBAL_DATA_SIZE / 8 + 1, 0);
    std::memset(&ctx, 0xA5, sizeof ctx);
    EXPECT_EQ(ks_encryptSignBegin(reinterpret_cast<ksGlobalData*>(idle.data()), &pub, &ctx, &rLength, r), 1u);
    const ksEncryptSignContext zero{};
    EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0);
    EXPECT_EQ(ks_encryptSignBegin(gd, &pub, nullptr, &rLength, r), 5u);
}

}  // namespace
}  // namespace tess::crypto::test
