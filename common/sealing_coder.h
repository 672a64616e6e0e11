#pragma once
// The sealing coder: short texts to printable sealed texts that only holders of
// the user's security key can read, and back. DESX-CBC over the cryptographic
// library, with its own in-place base64 writer and reader (16-bit counts).
//
// A sealed text is base64 of: a big-endian 16-bit word (text length + 4), then
// the DESX-CBC encryption, from a fresh chain, of "FJDJ", the text and 0x01
// bytes up to a multiple of 8.
//
// Buffers returned by SealText, UnsealText and GenerateSealKey come from malloc
// and are released with free.
#include <cstdint>
#include <string>

#include "crypto/kestrel.h"

namespace tess {

enum : int {
    kSealOk = 0,
    kSealNotReady = 1,     // not keyed, null argument, no memory, text out of range
    kSealNoKeyMemory = 2,  // no memory for a new key record
    kSealShortKey = 5,     // the key record holds fewer than 32 key bytes
    kSealDamaged = 6,      // wrong key or damaged sealed text
    kSealNoLibraryMemory = -1,
};

// The security key record: form byte, then (form 1) the NUL-terminated base64 text
// of the 32 key bytes or (form 2) the 32 key bytes.
enum : uint8_t { kSealKeyText = 1, kSealKeyRaw = 2 };
inline constexpr unsigned kSealKeyBytes = 32;
inline constexpr unsigned kSealKeyRecordSize = 50;

struct SealContext {
    uint8_t keyed;
    ksDesContextRequest des;  // algorithm 5 (DESX-CBC), parity off, weak-key check on
    ksDesContext desContext;
    ksGlobalData* cryptoData;
    ksHeap* cryptoHeap;
};

// Builds a context; with a key record (form 1 is turned into form 2 in place) the
// context is keyed. On failure *context is left untouched.
int CreateSealContext(SealContext** context, uint8_t* keyRecord);
// Ends DES and the library (wiping the key) and frees the context; *context
// becomes null. Returns the first failure (10 for a context that was never keyed).
int DestroySealContext(SealContext** context);

int SealText(SealContext* context, const uint8_t* text, uint16_t length, bool lineBreaks, bool bracePadding,
             char** sealed, uint16_t* sealedLength);
// Decodes sealed (length characters) in place. An input that decodes to nothing
// gives 0 with no output.
int UnsealText(SealContext* context, char* sealed, uint16_t length, uint8_t** text, uint16_t* textLength);
// Keys an unkeyed context with a fresh random key; *record becomes a form 1
// record of kSealKeyRecordSize bytes.
int GenerateSealKey(SealContext* context, uint8_t** record);

// A fresh form 1 key record from a context of its own, without the terminating NUL;
// empty when none could be made.
std::string NewSealKeyRecord();

// The largest text length whose sealed text with line breaks fits in
// characters (0 when none fits).
uint16_t SealedTextCapacity(uint16_t characters);
// The buffer size for the base64 form of bytes bytes (16-bit arithmetic).
uint16_t SealedTextSize(uint16_t bytes, bool lineBreaks);

}  // namespace tess
