// Key derivation shared by the elliptic-curve and the integer key agreements.
#pragma once

#include <cstdint>

#include "crypto/protocol/key_pairs.h"

namespace tess::crypto {

// key = the first keyLength (1..20) octets of SHA-1(secret || info); one
// digest, no counter. 0, or 1 for a key length outside 1..20.
uint32_t deriveKeySha1(uint32_t secretLength, const uint8_t* secret, uint32_t infoLength, const uint8_t* info,
                       uint32_t keyLength, uint8_t* key);

}  // namespace tess::crypto
