#pragma once
// DES, DESX and triple DES inside the library: the set-up record, the
// context body and the entries the password-protected key form uses.
#include <openssl/des.h>

#include <cstdint>

#include "crypto/kestrel.h"

namespace tess::crypto {

enum DesMode : uint32_t { kDesEcb = 1, kDesCbc = 2, kDesOfb = 20, kDesCfb = 24 };
enum DesStructure : uint32_t { kDesSingle = 0, kDesX = 1, kDesTriple = 2 };

// The request translated: modes and flags, then the four 8-byte slots.
struct DesSetup {
    uint32_t mode;
    uint32_t structure;
    uint32_t parityCheck;
    uint32_t weakKeyCheck;
    uint8_t slots[4][8];
};
static_assert(sizeof(DesSetup) == 48);

// The 400 bytes of a context after its magic word. No pointers: a context
// may be copied.
struct DesContextBody {
    uint32_t mode;
    uint32_t structure;
    DES_LONG feedback[2];
    DES_key_schedule schedule1;
    union {
        DES_key_schedule schedule2;
        DES_LONG whitening[4];  // input whitening words, then output whitening words
    } area2;
    DES_key_schedule schedule3;
};
static_assert(sizeof(DesContextBody) == 400);

// 0, 1 (parity failure) or 2 (weak key); the magic word is not touched.
uint32_t desSetupContext(const DesSetup& setup, DesContextBody& body);
void desEncryptBlocks(DesContextBody& body, uint32_t blocks, const uint8_t* in, uint8_t* out);
void desDecryptBlocks(DesContextBody& body, uint32_t blocks, const uint8_t* in, uint8_t* out);
void desClearContext(DesContextBody& body);
// Fills the set-up's slots from the context's generator; 0, or 1 on failure.
uint32_t desMakeKeys(ksGlobalData* gd, DesSetup& setup);
// Weak or semi-weak with the parity bits ignored.
bool desIsWeakKey(const uint8_t key[8]);

}  // namespace tess::crypto
