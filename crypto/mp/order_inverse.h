// Inverses modulo a prime group order by Fermat's little theorem on 64-bit
// Montgomery arithmetic: the operation sequence depends on n only, never on
// the (secret) value inverted.
#pragma once

#include <cstdint>

#include "crypto/mp/mp_int.h"

namespace tess::crypto {

// out = a^(n - 2) mod n for an odd n of at most 256 bits and 0 < a < n;
// 1 when the arguments are outside that (out untouched).
uint32_t orderInverse(const ksInt* a, const ksInt* n, ksIntReduced* out);

}  // namespace tess::crypto
