// The a = -3 engine's loops on the P-224 and P-256 fields, in four-limb
// Montgomery form: points are converted on entry, every result is made
// affine with one inversion. Values agree with the generic loops; only the
// representation inside differs.
#pragma once

#include <cstdint>

#include "crypto/curve/prime_curve_ops.h"

namespace tess::crypto::prime {

// The context's field has these loops and they stand for the engine's
// doubling: the a = -3 one, or the general one on a curve whose a is -3.
bool montActive(const ksGlobalData* gd, JacDouble dbl);
// r = k P for k's NAF (non-zero; p not at infinity); only r's x and y are
// written.
uint32_t montMultiply(ksGlobalData* gd, const Naf& naf, const ksPoint* p, ksPoint* r);
// r = the comb's multiple of the table's point, plus the affine point extra
// when given (x and y only).
uint32_t montComb(ksGlobalData* gd, const void* table, const CombRecord* comb, ksPoint* r,
                  const ksPoint* extra = nullptr);
// x of the comb's multiple plus k Q: comb null for that term at infinity,
// naf null for the other.
uint32_t montCombPlusMultipleX(ksGlobalData* gd, const void* table, const CombRecord* comb, const Naf* naf,
                               const ksPoint* q, ksFieldElement* x);
// x of u P + v Q over one doubling chain (NAFs non-zero, points finite).
uint32_t montTwinX(ksGlobalData* gd, const Naf& nu, const ksPoint* p, const Naf& nv, const ksPoint* q,
                   ksFieldElement* x);

}  // namespace tess::crypto::prime
