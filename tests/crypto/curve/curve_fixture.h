// Caller-built curve records from OpenSSL's curve parameters, a library
// context initialised with one, and conversions between the two sides.
#pragma once

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/curve_record.h"
#include "crypto/kestrel.h"
#include "tests/crypto/field/openssl_bn.h"
#include "tests/crypto/curve/curve_records.h"

namespace tess::crypto::test {

// A context (with or without a work area) on a record, and the reference group.
class CurveContext {
public:
    CurveContext(const ksCurveParams& record, const EC_GROUP* group, bool withHeap = true)
        : record_(record), group_(group) {
        EC_GROUP_get_order(group, order_.get(), ctx_.get());
        EC_GROUP_get_curve(group, prime_.get(), nullptr, nullptr, ctx_.get());
        binary_ = EC_GROUP_get_field_type(group) != NID_X9_62_prime_field;
        if (withHeap) {
            status_ = ks_heapSize(&record_, &heapSize_);
            if (status_ != 0) return;
            heap_.resize(heapSize_ / 8 + 1);
        }
        const ksOptionsList options = seededOptions(5);
        status_ = ks_initialize(&record_, &options, KS_GLOBAL_DATA_SIZE, withHeap ? heapSize_ : 0, gd(),
                                withHeap ? reinterpret_cast<ksHeap*>(heap_.data()) : nullptr);
    }
    ~CurveContext() {
        if (status_ == 0) ks_end(gd());
    }
    CurveContext(const CurveContext&) = delete;
    CurveContext& operator=(const CurveContext&) = delete;

    ksErrorCode status() const { return status_; }
    uint32_t heapSize() const { return heapSize_; }
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(storage_.data()); }
    GlobalDataLayout* layout() { return layoutOf(gd()); }
    const ksCurveEngine* engine() { return curveEngineOf(gd()); }
    const BIGNUM* order() const { return order_.get(); }
    BN_CTX* ctx() { return ctx_.get(); }

    // Our coordinates reduced below p (prime fields may hold loose values).
    Bn coordinate(const ksFieldElement& e) {
        Bn v = toBn(e);
        if (!binary_) BN_nnmod(v.get(), v.get(), prime_.get(), ctx_.get());
        return v;
    }
    bool isInfinity(const ksPoint& p) {
        if (binary_) return BN_is_zero(coordinate(p.x).get());
        return BN_is_zero(coordinate(p.x).get()) && BN_is_zero(coordinate(p.y).get());
    }
    PointPtr toEc(const ksPoint& p) {
        PointPtr e(EC_POINT_new(group_));
        if (isInfinity(p))
            EC_POINT_set_to_infinity(group_, e.get());
        else
            EC_POINT_set_affine_coordinates(group_, e.get(), coordinate(p.x).get(), coordinate(p.y).get(), ctx_.get());
        return e;
    }
    ksPoint fromEc(const EC_POINT* e) {
        ksPoint p{};
        if (EC_POINT_is_at_infinity(group_, e)) return p;
        Bn x = newBn(), y = newBn();
        EC_POINT_get_affine_coordinates(group_, e, x.get(), y.get(), ctx_.get());
        p.x = fromBn(x.get());
        p.y = fromBn(y.get());
        return p;
    }
    // u G + v Q in OpenSSL.
    PointPtr mul(const BIGNUM* u, const EC_POINT* q = nullptr, const BIGNUM* v = nullptr) {
        PointPtr r(EC_POINT_new(group_));
        EC_POINT_mul(group_, r.get(), u, q, v, ctx_.get());
        return r;
    }
    PointPtr mulPoint(const EC_POINT* q, const BIGNUM* k) {
        PointPtr r(EC_POINT_new(group_));
        EC_POINT_mul(group_, r.get(), nullptr, q, k, ctx_.get());
        return r;
    }
    PointPtr add(const EC_POINT* a, const EC_POINT* b) {
        PointPtr r(EC_POINT_new(group_));
        EC_POINT_add(group_, r.get(), a, b, ctx_.get());
        return r;
    }
    PointPtr negate(const EC_POINT* a) {
        PointPtr r(EC_POINT_dup(a, group_));
        EC_POINT_invert(group_, r.get(), ctx_.get());
        return r;
    }
    bool same(const ksPoint& ours, const EC_POINT* theirs) {
        return EC_POINT_cmp(group_, toEc(ours).get(), theirs, ctx_.get()) == 0;
    }
    // x of an OpenSSL point (0 at infinity), for the x-only results.
    Bn xOf(const EC_POINT* e) {
        Bn x = newBn();
        if (!EC_POINT_is_at_infinity(group_, e))
            EC_POINT_get_affine_coordinates(group_, e, x.get(), nullptr, ctx_.get());
        return x;
    }

private:
    ksCurveParams record_;
    const EC_GROUP* group_;
    std::vector<uint64_t> storage_ = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heap_;
    uint32_t heapSize_ = 0;
    ksErrorCode status_ = 3;
    bool binary_ = false;
    BnCtx ctx_{BN_CTX_new()};
    Bn order_ = newBn();
    Bn prime_ = newBn();
};

// Scalars as records; toInt fails the test when the value does not fit.
template <typename Record>
void toInt(const BIGNUM* b, Record* out) {
    const uint32_t capacity = sizeof(out->digits) / 2;
    std::vector<unsigned char> le(2 * capacity);
    ASSERT_GE(BN_bn2lebinpad(b, le.data(), int(le.size())), 0) << "scalar too long for the record";
    std::memset(out, 0, sizeof *out);
    for (uint32_t i = 0; i < capacity; ++i) {
        out->digits[i] = uint16_t(le[2 * i] | (le[2 * i + 1] << 8));
        if (out->digits[i]) out->count = i + 1;
    }
}

inline Bn fromInt(const ksInt* a) {
    std::vector<unsigned char> le(2 * a->count + 1);
    for (uint32_t i = 0; i < a->count; ++i) {
        le[2 * i] = uint8_t(a->digits[i]);
        le[2 * i + 1] = uint8_t(a->digits[i] >> 8);
    }
    return Bn(BN_lebin2bn(le.data(), int(le.size()), nullptr));
}

// A reproducible random number below 2^bits.
inline Bn randomBits(std::mt19937_64& rng, int bits) {
    std::vector<unsigned char> be(size_t((bits + 7) / 8));
    for (auto& c : be) c = uint8_t(rng());
    if (bits % 8) be[0] &= uint8_t((1u << (bits % 8)) - 1);
    return Bn(BN_bin2bn(be.data(), int(be.size()), nullptr));
}

inline Bn randomBelow(std::mt19937_64& rng, const BIGNUM* n) {
    Bn r = randomBits(rng, BN_num_bits(n) + 8);
    BnCtx ctx(BN_CTX_new());
    BN_nnmod(r.get(), r.get(), n, ctx.get());
    return r;
}

}  // namespace tess::crypto::test
