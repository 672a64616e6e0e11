#pragma once
// SHA-1 helpers inside the library.
#include <cstddef>
#include <cstdint>

#include "crypto/hash/internal.h"
#include "crypto/kestrel.h"
#include "crypto/wipe.h"

namespace tess::crypto {

// Compresses whole 64-byte blocks, with the CPU's SHA instructions when present.
void sha1Compress(uint32_t h[5], const uint8_t* data, size_t blocks);
// The portable compression, whatever the CPU (so both paths can be checked).
void sha1CompressPortable(uint32_t h[5], const uint8_t* data, size_t blocks);
bool sha1UsesShaExtensions();

// SHA-1 of a whole message, through the library's own entries.
inline void sha1Digest(const uint8_t* data, uint32_t length, uint8_t out[20]) {
    ksSha1State s;
    WipeOnExit wipeState(s);
    tess::crypto::sha1Init(&s);
    tess::crypto::sha1Update(length, data, &s);
    tess::crypto::sha1Final(&s, out);
}

}  // namespace tess::crypto
