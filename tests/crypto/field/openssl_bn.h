// OpenSSL big numbers as the reference for the field and curve tests.
#pragma once

#include <openssl/bn.h>
#include <openssl/err.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crypto/field/field_element.h"

namespace tess::crypto::test {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
struct BnCtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxFree>;

inline Bn newBn() { return Bn(BN_new()); }

inline Bn toBn(const ksFieldElement& e) {
    unsigned char le[32];
    for (int i = 0; i < 32; ++i) le[i] = uint8_t(e.words[i / 4] >> (8 * (i % 4)));
    return Bn(BN_lebin2bn(le, 32, nullptr));
}

inline ksFieldElement fromBn(const BIGNUM* b) {
    unsigned char le[32] = {};
    BN_bn2lebinpad(b, le, 32);
    ksFieldElement e{};
    for (int i = 0; i < 32; ++i) e.words[i / 4] |= uint32_t(le[i]) << (8 * (i % 4));
    return e;
}

inline Bn hexBn(const std::string& hex) {
    BIGNUM* b = nullptr;
    BN_hex2bn(&b, hex.c_str());
    return Bn(b);
}

inline std::string hexOf(const ksFieldElement& e) {
    char* s = BN_bn2hex(toBn(e).get());
    std::string r(s);
    OPENSSL_free(s);
    return r;
}

}  // namespace tess::crypto::test
