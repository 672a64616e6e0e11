#pragma once
// Public-key protocols inside the library. Contract of this folder:
// - Result: a ksErrorCode (crypto/result_codes.h) at the exports; helpers
//   return 0 or 1 as their headers say.
// - Ownership: keys, signatures and stream contexts are caller-owned records;
//   OpenSSL big numbers made here are owned and freed (and cleared) here.
// - Secret: private keys, per-signature nonces, shared secrets and derived
//   keys; stack copies are held under WipeOnExit (crypto/wipe.h) so every
//   return wipes them, and random numbers come from the context's generator only.
#include <cstdint>

#include <openssl/bn.h>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace tess::crypto {

// v as big-endian octets into octets (room for BN_num_bytes(v)), *length the size used:
// 0, or 100 for a missing pointer or a zero value.
uint32_t bnToOctets(const BIGNUM* v, uint8_t* octets, uint32_t* length);

// *value from length big-endian octets (a new number when *value is null, owned by the
// caller, who clears and frees it): 0, or 200 for a refused input.
uint32_t bnFromOctets(const uint8_t* octets, uint32_t length, BIGNUM** value);

// Replaces a big-endian octet string by the integer of its leftmost bits bits, in place,
// *newLength its new length: always 0.
uint32_t truncateToBits(uint32_t length, uint32_t bits, uint32_t* newLength, uint8_t* octets);

}  // namespace tess::crypto
