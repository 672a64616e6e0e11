// Scalars of the Koblitz engine in the ring Z[tau], tau^2 = mu tau - 2:
// reduction modulo tau^m - 1, the unsigned tau-adic expansion, the comb
// columns of that expansion, and the value of a tau-adic string modulo n.
#pragma once

#include <cstdint>

#include "crypto/curve/curve_engine.h"

namespace tess::crypto::kob {

// Signed integer, sign and magnitude; large enough for a scalar of 288 bits
// times a norm-sized factor.
struct Zint {
    static constexpr int kLimbs = 20;
    bool negative = false;
    uint32_t mag[kLimbs] = {};
};

Zint fromInt(const ksInt* a);
Zint fromSmall(int64_t v);
bool isZero(const Zint& a);
bool isOdd(const Zint& a);
Zint add(const Zint& a, const Zint& b);
Zint subtract(const Zint& a, const Zint& b);
Zint negate(const Zint& a);
Zint multiply(const Zint& a, const Zint& b);
// Quotient of a by b > 0: floor(|a|/b) for a >= 0, -(floor(|a|/b) + 1) for a < 0.
Zint divide(const Zint& a, const Zint& b);
Zint halve(const Zint& a);  // magnitude shifted right by one, sign kept
// |a| into a reduced record; 1 when it does not fit.
uint32_t magnitudeToInt(const Zint& a, ksIntReduced* out);

// Signed integer as the context stores it.
struct ksSignedInt {
    uint8_t sign;  // 1 negative
    ksIntReduced magnitude;
};

// The engine's constants in the library context.
struct KoblitzConstants {
    ksSignedInt c0;  // c0 + c1 tau = tau^m - 1
    ksSignedInt c1;
    ksIntReduced lambda;     // tau(P) = lambda P on the order-n subgroup
    ksSignedInt lucas[261];  // entry j = U(j + 1)
};

// tau-adic digits 0/1, bit i = digit i.
struct TauBits {
    uint32_t words[9];
};

uint32_t reductionElement(int mu, uint32_t m, Zint* c0, Zint* c1);
uint32_t lucasTable(int mu, KoblitzConstants* k);
// rho = k - round(k / delta) delta, rounded per component.
void reduce(int mu, const Zint& k, const Zint& c0, const Zint& c1, Zint* rho0, Zint* rho1);
// 1 when the expansion would not fit 288 digits.
uint32_t tauExpand(int mu, const Zint& c0, const Zint& c1, const Zint& k, TauBits* out);
// The tau-adic NAF (digits -1, 0, 1, least significant first) of k after
// reduction; the digit count in *length, 1 when it would not fit `cap`.
uint32_t tauNaf(int mu, const Zint& c0, const Zint& c1, const Zint& k, int8_t* digits, uint32_t cap, uint32_t* length);
void combColumns(uint32_t digits, const TauBits& bits, CombRecord* comb);
void columnsToBits(const CombRecord& comb, TauBits* out);
// sum of b_i tau^i as an integer modulo n, via lambda and the Lucas table.
uint32_t tauValue(const KoblitzConstants& kc, const ksInt* n, const TauBits& bits, ksIntReduced* k);

inline uint32_t combColumnCount(uint32_t digits) { return (digits - 1) / 9 + 1; }

}  // namespace tess::crypto::kob
