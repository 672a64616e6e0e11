// The ECES stream context, its SHA-1 keystream and the two sides' shared
// secrets, shared by ECES, ECAES and the wrapping calls.
#pragma once

#include <cstdint>

#include "crypto/protocol/key_pairs.h"
#include "crypto/result_codes.h"

namespace tess::crypto {

inline constexpr uint32_t kMaxPublicKeyLength = 65;

// The context's layout: the information reference makes it 80 octets here.
struct EcesContextLayout {
    uint8_t shared[32];  // Z right-aligned; the last L octets are used
    uint32_t counter;
    uint32_t tail;
    uint8_t block[20];
    uint32_t infoLength;
    const uint8_t* info;
    uint32_t form;  // 1: BR (X9.63 keystream), 0: plain
    uint32_t magic;
};

EcesContextLayout* ecesLayout(ksEcesContext* ctx);
void wipeEces(ksEcesContext* ctx);

// The length of R in the library's point form.
ksErrorCode sessionKeyLength(ksGlobalData* gd, uint32_t* length);

// Sender: R = k G into out (capacity octets) and Z = x(k Q) into the context.
// Codes: 0, 3, or kBadPublicKey for a key that is not a valid curve point.
ksErrorCode senderSecret(ksGlobalData* gd, const ksPublicKey* key, EcesContextLayout* ctx, uint32_t capacity,
                         uint8_t* out, uint32_t* rLength);
// Recipient: Z = x(d R) for the session key R. 0 or 3.
ksErrorCode recipientSecret(ksGlobalData* gd, const ksIntReduced& d, uint32_t rLength, const uint8_t* r,
                            EcesContextLayout* ctx);
// The private key for decryption: converted and in 2 <= d <= n - 2 (kBadPrivateKey, or 3).
ksErrorCode decryptionScalar(ksGlobalData* gd, const ksPrivateKey* key, ksIntReduced* d);

// Starts the keystream: plain form from counter 0, BR form from 1 with info.
void startKeystream(EcesContextLayout* ctx, bool br, uint32_t infoLength, const uint8_t* info);
// out = in XOR the next length keystream octets (out may be in).
void applyKeystream(ksGlobalData* gd, EcesContextLayout* ctx, uint32_t length, const uint8_t* in, uint8_t* out);

// out zeroed over its announced size, and the size reference set to 0.
void wipeOutput(uint8_t* out, uint32_t* length);

}  // namespace tess::crypto
