// A library context on a named curve (the shipped sect163k1 record, or a
// record built from OpenSSL's parameters), OpenSSL keys from ours, and the
// published vector files of these tests.
#pragma once

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/obj_mac.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/curve/curve_extensions.h"
#include "crypto/kestrel_protocols.h"
#include "tests/crypto/crypto_test_util.h"
#include "tests/crypto/curve/curve_fixture.h"

namespace tess::crypto::test {

// The group and a context on it; status() is 0 when the library took the curve.
class Curve {
public:
    explicit Curve(int nid) : nid_(nid), group_(EC_GROUP_new_by_curve_name(nid)) {
        if (!group_) return;
        ksCurveParams record = kSect163k1Record;
        if (nid != NID_sect163k1) {
            std::vector<uint8_t> oid = oidOf(nid);
            oid.reserve(1);  // some curves have no OID: still a valid buffer for the copy
            record = recordFor(group_.get(), oid);
            if (ks_initializeCurve(&record) != 0) return;
        }
        context_ = std::make_unique<CurveContext>(record, group_.get());
    }
    ksErrorCode status() const { return context_ ? context_->status() : 0x601; }
    ksGlobalData* gd() { return context_->gd(); }
    CurveContext& context() { return *context_; }
    const EC_GROUP* group() const { return group_.get(); }
    int nid() const { return nid_; }
    int orderBits() const { return BN_num_bits(context_->order()); }
    uint32_t nB() const { return uint32_t(orderBits() - 1) / 8 + 1; }
    uint32_t L() const {
        const int degree = EC_GROUP_get_degree(group_.get());
        return uint32_t(degree - 1) / 8 + 1;
    }

private:
    int nid_;
    GroupPtr group_;
    std::unique_ptr<CurveContext> context_;
};

struct EcKeyFree {
    void operator()(EC_KEY* k) const { EC_KEY_free(k); }
};
using EcKey = std::unique_ptr<EC_KEY, EcKeyFree>;

// OpenSSL's key for our public key (any octet form OpenSSL reads) and, when
// given, our private key.
inline EcKey opensslKey(const Curve& curve, const ksPublicKey& pub, const ksPrivateKey* priv = nullptr) {
    EcKey key(EC_KEY_new());
    EC_KEY_set_group(key.get(), curve.group());
    PointPtr q(EC_POINT_new(curve.group()));
    if (EC_POINT_oct2point(curve.group(), q.get(), pub.key, pub.length, nullptr) != 1)
        ADD_FAILURE() << "OpenSSL cannot read our public key";
    EC_KEY_set_public_key(key.get(), q.get());
    if (priv) {
        Bn d(BN_bin2bn(priv->key, int(priv->length), nullptr));
        EC_KEY_set_private_key(key.get(), d.get());
    }
    return key;
}

// The old-style form (x || y) of an OpenSSL key.
inline ksPublicKey oldStyleKeyOf(const Curve& curve, const EC_KEY* key) {
    ksPublicKey pub{};
    uint8_t octets[65];
    const size_t n = EC_POINT_point2oct(curve.group(), EC_KEY_get0_public_key(key), POINT_CONVERSION_UNCOMPRESSED,
                                        octets, sizeof octets, nullptr);
    pub.length = uint32_t(n - 1);
    std::memcpy(pub.key, octets + 1, n - 1);
    return pub;
}

// A new-style key from vector coordinates, through the old-style conversion.
inline ksPublicKey keyFromCoordinates(ksGlobalData* gd, const Bytes& x, const Bytes& y, ksErrorCode* rc) {
    ksPublicKey old{};
    ksPublicKey fresh{};
    std::memcpy(old.key, x.data(), x.size());
    std::memcpy(old.key + x.size(), y.data(), y.size());
    old.length = uint32_t(x.size() + y.size());
    *rc = ks_old2newPublicKey(gd, &old, &fresh);
    return fresh;
}

// The point with x = 0 and even y (on P-256, y = 66485c78...93f4), and the
// point whose product with the private value d is that point: (d^-1 mod n) of it.
struct ZeroXPoints {
    PointPtr zeroX;
    PointPtr toZero;
};
inline ZeroXPoints zeroXPoints(const Curve& curve, const ksPrivateKey& d) {
    const EC_GROUP* g = curve.group();
    BnCtx ctx(BN_CTX_new());
    ZeroXPoints out{PointPtr(EC_POINT_new(g)), PointPtr(EC_POINT_new(g))};
    Bn zero = newBn(), n = newBn();
    BN_zero(zero.get());
    EXPECT_EQ(EC_POINT_set_compressed_coordinates(g, out.zeroX.get(), zero.get(), 0, ctx.get()), 1);
    EC_GROUP_get_order(g, n.get(), ctx.get());
    Bn scalar(BN_bin2bn(d.key, int(d.length), nullptr));
    Bn inverse(BN_mod_inverse(nullptr, scalar.get(), n.get(), ctx.get()));
    EXPECT_EQ(EC_POINT_mul(g, out.toZero.get(), nullptr, out.zeroX.get(), inverse.get(), ctx.get()), 1);
    return out;
}

inline ksPublicKey compressedKeyOf(const Curve& curve, const EC_POINT* p) {
    ksPublicKey key{};
    key.length =
        uint32_t(EC_POINT_point2oct(curve.group(), p, POINT_CONVERSION_COMPRESSED, key.key, sizeof key.key, nullptr));
    return key;
}

inline Bytes sha1(const Bytes& message) {
    Bytes d(20);
    SHA1(message.data(), message.size(), d.data());
    return d;
}

// The digest OpenSSL must be given so that its leftmost-bits truncation
// yields our e: H whole for orders above 160 bits, else H mod 2^(b-1)
// moved up to the top of ceil(b/8) octets.
inline Bytes opensslDigest(const Bytes& h, int b) {
    if (b > 160) return h;
    Bn e(BN_bin2bn(h.data(), int(h.size()), nullptr));
    BN_mask_bits(e.get(), b - 1);
    const int octets = (b + 7) / 8;
    BN_lshift(e.get(), e.get(), 8 * octets - b);
    Bytes out(size_t(octets), 0);
    BN_bn2binpad(e.get(), out.data(), octets);
    return out;
}

// A file of tests/crypto/protocol/vectors.
inline std::vector<VectorRecord> protocolVectors(const std::string& name) {
    return readVectorFile("../protocol/vectors/" + name);
}

inline int nidOfCavpCurve(std::string name) {
    if (name.size() > 2 && name.front() == '[') name = name.substr(1, name.size() - 2);
    if (name == "K-163") return NID_sect163k1;
    if (name == "B-163") return NID_sect163r2;
    if (name == "P-192") return NID_X9_62_prime192v1;
    if (name == "P-224") return NID_secp224r1;
    if (name == "P-256") return NID_X9_62_prime256v1;
    return NID_undef;
}

// Left-pads a vector's hex number to the given octets.
inline Bytes paddedHex(std::string hex, uint32_t octets) {
    if (hex.size() % 2) hex = "0" + hex;
    Bytes b = fromHex(hex);
    while (b.size() > octets && b.front() == 0) b.erase(b.begin());
    if (b.size() < octets) b.insert(b.begin(), octets - b.size(), 0);
    return b;
}

}  // namespace tess::crypto::test
