#pragma once
// HXAES: the AES library that seals short secrets (the account passwords sent to the
// handheld). Loaded by name ("HXAES.dll" -> libHXAES.so) and bound by these eight exports.
//
// Key: the current key is key material set by AESSetKey (the bytes of a text, without its
// NUL) or made by AESGenerateKeyA/N. From it, SHA-512 gives two keys: its first 32 bytes are
// the AES-256 key, its last 32 bytes the HMAC-SHA256 key. The key is process-wide, kept
// until replaced or until AESUninitialize, and wiped then.
//
// Sealed form (AESEncrypt's output, AESDecrypt's input):
//   IV (16 random bytes) | AES-256-CBC of the data with PKCS#7 padding | first 16 bytes of
//   HMAC-SHA256(mac key, IV | ciphertext)
// so n bytes of data seal to 16 + 16 * (n / 16 + 1) + 16 bytes. The tag makes a wrong key or
// damaged data fail (result 5) instead of giving garbage.
//
// Output: AESEncrypt and AESDecrypt allocate *out with GlobalAlloc (the process heap); the
// caller frees it once with GlobalFree. One zero byte follows the data (not counted in
// *outLength), so decrypted text can be read as a C string. On failure *out is null and
// *outLength 0; nothing is left to free.
//
// Results: 0 success; 1 bad argument (null pointer, empty key, length out of range, flags
// not 0); 2 AESInitialize when already initialised (still usable); 3 not initialised;
// 4 no key set; 5 sealed data not authentic or malformed, or a crypto failure; 6 out of
// memory; 7 buffer too small (AESGetKey).
#include "platform/export.h"

// flags: unused (callers pass 1).
TESS_API int AESInitialize(int flags);
// Forgets and wipes the key. 3 when not initialised.
TESS_API int AESUninitialize(void);
// key: a NUL-terminated, non-empty text (at most 1024 bytes).
TESS_API int AESSetKey(const char* key);
// Copies the key material into out and adds a NUL. *size in: buffer size; out: the key's
// length (on 7: the size needed, NUL included).
TESS_API int AESGetKey(unsigned char* out, unsigned int* size);
// A new random key of `length` bytes (16 to 64), written to out and made current.
TESS_API int AESGenerateKeyN(unsigned char* out, unsigned int length);
// A new random key as text: 64 hex digits and a NUL (size at least 65), made current, so
// that AESSetKey(out) later selects the same key.
TESS_API int AESGenerateKeyA(char* out, unsigned int size);
// Seal or open `length` bytes (at most 16 MiB). flags must be 0.
TESS_API int AESEncrypt(const unsigned char* in, unsigned int length, int flags, unsigned char** out,
                        unsigned int* outLength);
TESS_API int AESDecrypt(const unsigned char* in, unsigned int length, int flags, unsigned char** out,
                        unsigned int* outLength);
