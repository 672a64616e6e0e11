// A library context initialised with the shipped sect163k1 record, and the
// same curve in OpenSSL as the reference.
#pragma once

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <cstring>
#include <vector>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_record.h"
#include "crypto/kestrel.h"
#include "tests/crypto/field/openssl_bn.h"

namespace tess::crypto::test {

using tess::crypto::mp::asInt;

struct GroupFree {
    void operator()(EC_GROUP* g) const { EC_GROUP_free(g); }
};
struct PointFree {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
using Group = std::unique_ptr<EC_GROUP, GroupFree>;
using EcPoint = std::unique_ptr<EC_POINT, PointFree>;

inline ksOptionsList optionsWithSeed(uint8_t first) {
    ksOptionsList o{};
    o.pointCompression = 1;
    o.ecesCompression = 1;
    o.rngType = 1;
    o.seedLength = 32;
    for (int i = 0; i < 32; ++i) o.seed[i] = uint8_t(first + 7 * i);
    return o;
}

class Sect163k1 : public ::testing::Test {
protected:
    std::vector<uint64_t> gdStorage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heapStorage;
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
    ksHeap* heap = nullptr;
    uint32_t heapSize = 0;
    ksOptionsList options = optionsWithSeed(3);
    Group group{EC_GROUP_new_by_curve_name(NID_sect163k1)};
    BnCtx ctx{BN_CTX_new()};
    Bn order = newBn();

    void SetUp() override {
        ASSERT_EQ(ks_heapSize(&kSect163k1Record, &heapSize), 0u);
        heapStorage.resize(heapSize / 8 + 1);
        heap = reinterpret_cast<ksHeap*>(heapStorage.data());
        ASSERT_EQ(ks_initialize(&kSect163k1Record, &options, KS_GLOBAL_DATA_SIZE, heapSize, gd, heap), 0u);
        ASSERT_TRUE(group);
        EC_GROUP_get_order(group.get(), order.get(), ctx.get());
    }
    void TearDown() override { ks_end(gd); }

    GlobalDataLayout* layout() { return layoutOf(gd); }

    EcPoint toEc(const ksPoint& p) {
        EcPoint e(EC_POINT_new(group.get()));
        if (BN_is_zero(toBn(p.x).get()))
            EC_POINT_set_to_infinity(group.get(), e.get());
        else
            EXPECT_EQ(
                EC_POINT_set_affine_coordinates(group.get(), e.get(), toBn(p.x).get(), toBn(p.y).get(), ctx.get()), 1);
        return e;
    }
    ksPoint fromEc(const EC_POINT* e) {
        ksPoint p{};
        if (EC_POINT_is_at_infinity(group.get(), e)) return p;
        Bn x = newBn(), y = newBn();
        EC_POINT_get_affine_coordinates(group.get(), e, x.get(), y.get(), ctx.get());
        p.x = fromBn(x.get());
        p.y = fromBn(y.get());
        return p;
    }
    // k G in OpenSSL.
    EcPoint ecMul(const BIGNUM* k, const EC_POINT* p = nullptr) {
        EcPoint r(EC_POINT_new(group.get()));
        if (p == nullptr)
            EC_POINT_mul(group.get(), r.get(), k, nullptr, nullptr, ctx.get());
        else
            EC_POINT_mul(group.get(), r.get(), nullptr, p, k, ctx.get());
        return r;
    }
    bool same(const ksPoint& ours, const EC_POINT* theirs) {
        return EC_POINT_cmp(group.get(), toEc(ours).get(), theirs, ctx.get()) == 0;
    }
};

// ksInt records to and from OpenSSL numbers.
template <typename Record>
void toInt(const BIGNUM* b, Record* out) {
    const uint32_t capacity = sizeof(out->digits) / 2;
    std::vector<unsigned char> le(2 * capacity);
    ASSERT_GE(BN_bn2lebinpad(b, le.data(), int(le.size())), 0) << "scalar too long for the record";
    out->count = 0;
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

}  // namespace tess::crypto::test
