// Curve records built from OpenSSL's curve parameters, as a caller of the
// library builds them (shared by the tests and the benchmarks).
#pragma once

#include <openssl/ec.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>

#include <cstring>
#include <memory>
#include <vector>

#include "crypto/curve/curve_record.h"
#include "crypto/kestrel.h"
#include "tests/crypto/field/openssl_bn.h"

namespace tess::crypto::test {

struct GroupDeleter {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PointDeleter {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
using GroupPtr = std::unique_ptr<EC_GROUP, GroupDeleter>;
using PointPtr = std::unique_ptr<EC_POINT, PointDeleter>;

inline int bitsOf(const BIGNUM* b) { return BN_num_bits(b); }

inline void putBe(uint8_t* out, const BIGNUM* b, int length) { BN_bn2binpad(b, out, length); }

// A record for the group: OID, field, coefficients, G, n, h, n h and A.
// Entries and checksum are set by finish().
inline ksCurveParams recordFor(const EC_GROUP* group, const std::vector<uint8_t>& oid,
                               const BIGNUM* montgomeryA = nullptr) {
    ksCurveParams c{};
    uint8_t* r = c.octets;
    if (!oid.empty()) std::memcpy(r, oid.data(), oid.size());
    r[32] = 2;
    BnCtx ctx(BN_CTX_new());
    Bn p = newBn(), a = newBn(), b = newBn(), n = newBn(), h = newBn(), no = newBn(), x = newBn(), y = newBn();
    EC_GROUP_get_curve(group, p.get(), a.get(), b.get(), ctx.get());
    EC_GROUP_get_order(group, n.get(), ctx.get());
    EC_GROUP_get_cofactor(group, h.get(), ctx.get());
    BN_mul(no.get(), n.get(), h.get(), ctx.get());
    EC_POINT_get_affine_coordinates(group, EC_GROUP_get0_generator(group), x.get(), y.get(), ctx.get());
    const bool prime = EC_GROUP_get_field_type(group) == NID_X9_62_prime_field;
    const int m = prime ? bitsOf(p.get()) : bitsOf(p.get()) - 1;
    const int len = (m - 1) / 8 + 1;
    r[38] = uint8_t(m >> 8);
    r[39] = uint8_t(m);
    r[40] = uint8_t(len);
    r[41] = prime ? 4 : 5;
    if (!prime) BN_clear_bit(p.get(), m);  // the record leaves out x^m
    putBe(r + 42, p.get(), len);
    putBe(r + 84, a.get(), len);
    putBe(r + 116, b.get(), len);
    putBe(r + 148, x.get(), len);
    putBe(r + 148 + len, y.get(), len);
    int offset = 212;
    for (const BIGNUM* v : {n.get(), h.get(), no.get()}) {
        const int bits = bitsOf(v);
        r[offset] = uint8_t(bits >> 8);
        r[offset + 1] = uint8_t(bits);
        putBe(r + offset + 2, v, (bits - 1) / 8 + 1);
        offset += 34;
    }
    if (montgomeryA) putBe(r + 314, montgomeryA, len);
    return c;
}

// Names the install entry and engine and stores the checksum; false when
// the record does not pass the checksum walk.
inline bool setEntries(ksCurveParams* c, uint32_t install, uint32_t engine) {
    for (int i = 0; i < 4; ++i) {
        c->octets[76 + i] = uint8_t(install >> (8 * i));
        c->octets[80 + i] = uint8_t(engine >> (8 * i));
    }
    uint32_t sum = 0;
    if (curveChecksum(c, &sum) != 0) return false;
    for (int i = 0; i < 4; ++i) c->octets[34 + i] = uint8_t(sum >> (24 - 8 * i));
    return true;
}

inline std::vector<uint8_t> oidOf(int nid) {
    const ASN1_OBJECT* obj = OBJ_nid2obj(nid);
    const int n = i2d_ASN1_OBJECT(obj, nullptr);
    std::vector<uint8_t> der(size_t(n > 0 ? n : 0));
    unsigned char* p = der.data();
    i2d_ASN1_OBJECT(obj, &p);
    return der;
}

inline ksOptionsList seededOptions(uint8_t first) {
    ksOptionsList o{};
    o.pointCompression = 1;
    o.ecesCompression = 1;
    o.rngType = 1;
    o.seedLength = 32;
    for (int i = 0; i < 32; ++i) o.seed[i] = uint8_t(first + 11 * i);
    return o;
}

}  // namespace tess::crypto::test
