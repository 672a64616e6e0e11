#pragma once
// Hashes inside the library. Contract of this folder:
// - Result: 0 on success, 1 for a missing pointer; context exports return a
//   ksErrorCode and refuse a context whose magic word is wrong.
// - Ownership: states and contexts are caller-owned; End wipes and ends them.
// - Secret: HMAC keys and the generator's seed and state; the temporaries that
//   held them are wiped before return.
#include <cstdint>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"

namespace tess::crypto {

// Starts a SHA-1 state (caller-owned): always 0.
uint32_t sha1Init(ksSha1State* state);

// Hashes length octets into the state: always 0. The data may be secret; the state then is too.
uint32_t sha1Update(uint32_t length, const uint8_t* data, ksSha1State* state);

// Pads and writes the 20-octet digest; the state must be started again: always 0.
uint32_t sha1Final(ksSha1State* state, uint8_t* digest);

// Starts an MD5 state (caller-owned): always 0.
uint32_t md5Init(ksMd5State* state);

// Hashes length octets into the MD5 state: always 0.
uint32_t md5Update(uint32_t length, const uint8_t* data, ksMd5State* state);

// Pads and writes the 16-octet MD5 digest: always 0.
uint32_t md5Final(ksMd5State* state, uint8_t* digest);

// Starts an MD2 state (caller-owned): always 0.
uint32_t md2Init(ksMd2State* state);

// Hashes length octets into the MD2 state: always 0.
uint32_t md2Update(uint32_t length, const uint8_t* data, ksMd2State* state);

// Pads and writes the 16-octet MD2 digest: always 0.
uint32_t md2Final(ksMd2State* state, uint8_t* digest);

// Seeds the context's generator from SHA-1(seed): always 0. The seed is secret; its
// digest is wiped.
uint32_t rngStart(ksGlobalData* gd, uint32_t type, uint32_t seedLength, const uint8_t* seed);

// count octets from the context's generator: 0, or 1 for a missing context or output.
// The output is secret.
uint32_t rngBytes(ksGlobalData* gd, uint32_t count, uint8_t* output);

// A number 1 <= out < n drawn from the generator context: 0, or 1 for a refused input.
// Secret output; the drawn octets are wiped.
uint32_t rngBelow(ksRngContext* ctx, const ksInt* n, uint32_t inputLength, const uint8_t* input, ksIntReduced* out);

}  // namespace tess::crypto
