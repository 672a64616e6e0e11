#pragma once
// Kestrel: the cryptographic library's C interface.
//
// The library keeps no state of its own: every call works on caller-owned
// memory. Every export returns a ksErrorCode (0 success, else group*256+index;
// texts through ks_errorMessage). Multi-byte words in the records below are
// little-endian; numbers in octet strings are big-endian.
#include <stdint.h>

#include "platform/export.h"

typedef uint32_t ksErrorCode;

#define KS_MAGIC 0x4543544bu /* "KTCE" in memory */

/* Sizes of the caller-owned records. */
#define KS_GLOBAL_DATA_SIZE 12600u
#define KS_RNG_CONTEXT_SIZE 148u
#define KS_SHA1_CONTEXT_SIZE 100u
#define KS_MD5_CONTEXT_SIZE 96u
#define KS_MD2_CONTEXT_SIZE 56u
#define KS_HMAC_SHA1_CONTEXT_SIZE 208u
#define KS_DES_CONTEXT_SIZE 404u
#define KS_ARC4_CONTEXT_SIZE 264u

/* The library context: 12600 bytes, allocated by the caller with at least
   ks_dataSize bytes and aligned as malloc aligns (it holds native pointers).
   Its layout is internal; its first 148 bytes are a generator context. */
typedef struct ksGlobalData ksGlobalData;
/* The optional work area of a curve engine (ks_heapSize bytes). */
typedef struct ksHeap ksHeap;
/* The 378-byte curve parameter record that callers keep as static data. */
typedef struct ksCurveParams ksCurveParams;

typedef struct ksOptionsList {
    int32_t pointCompression; /* 0..2, checked only with a curve */
    int32_t ecesCompression;  /* 0..1, checked only with a curve */
    uint32_t rngType;         /* 0 or 1: both give the FIPS 186 generator */
    uint32_t seedLength;      /* must be 32 */
    uint8_t seed[32];
} ksOptionsList;

typedef struct ksInfo {
    uint32_t majorVersion;
    uint32_t minorVersion;
    char maker[32];
    char build[40];
} ksInfo;

/* Digest record of every hash End: length (20 or 16), then the digest. */
typedef struct ksDigest {
    uint32_t length;
    uint8_t digest[20];
} ksDigest;

/* Primitive contexts: magic word first, then state. Opaque byte blocks. */
typedef struct ksRngContext {
    uint32_t words[KS_RNG_CONTEXT_SIZE / 4];
} ksRngContext;
typedef struct ksSha1Context {
    uint32_t words[KS_SHA1_CONTEXT_SIZE / 4];
} ksSha1Context;
typedef struct ksMd5Context {
    uint32_t words[KS_MD5_CONTEXT_SIZE / 4];
} ksMd5Context;
typedef struct ksMd2Context {
    uint32_t words[KS_MD2_CONTEXT_SIZE / 4];
} ksMd2Context;
typedef struct ksHmacSha1Context {
    uint32_t words[KS_HMAC_SHA1_CONTEXT_SIZE / 4];
} ksHmacSha1Context;
typedef struct ksDesContext {
    uint32_t words[KS_DES_CONTEXT_SIZE / 4];
} ksDesContext;
typedef struct ksArc4Context {
    uint32_t words[KS_ARC4_CONTEXT_SIZE / 4];
} ksArc4Context;

/* DES request: algorithm 0..11 (cipher and mode), flags 0/1, key count,
   then the 8-byte values in the algorithm's order (keys, then the IV). */
typedef struct ksDesContextRequest {
    uint32_t algorithm;
    uint32_t parityCheck;
    uint32_t weakKeyCheck;
    uint32_t keyCount;
    uint8_t keys[4][8];
} ksDesContextRequest;

typedef struct ksArc4ContextRequest {
    uint32_t keyLength; /* 1..256 */
    uint8_t key[256];
} ksArc4ContextRequest;

/* Library context and information. */
TESS_API ksErrorCode ks_dataSize(const ksCurveParams* curve, uint32_t* size);
TESS_API ksErrorCode ks_heapSize(const ksCurveParams* curve, uint32_t* size);
TESS_API ksErrorCode ks_initialize(const ksCurveParams* curve, const ksOptionsList* options, uint32_t dataSize,
                                   uint32_t heapSize, ksGlobalData* gd, ksHeap* heap);
TESS_API ksErrorCode ks_end(ksGlobalData* gd);
TESS_API ksErrorCode ks_getInfo(ksInfo* info);
TESS_API ksErrorCode ks_os2uint(uint32_t length, const uint8_t* octets, uint32_t* value);
TESS_API ksErrorCode ks_uint2os(uint32_t value, uint32_t length, uint8_t* octets);
TESS_API ksErrorCode a1558(uint32_t* magic);

/* Result texts. */
TESS_API ksErrorCode ks_errorMessage(ksErrorCode code, uint32_t size, char* buffer);

/* FIPS 186 generator. */
TESS_API ksErrorCode ks_rngSize(uint32_t* size);
TESS_API ksErrorCode ks_rngInit(ksRngContext* rng, uint32_t type, uint32_t seedLength, const uint8_t* seed);
TESS_API ksErrorCode ks_rngSeedFIPS186(ksRngContext* rng, uint32_t length, const uint8_t* input);
TESS_API ksErrorCode ks_fipsRngOptionalInput(ksRngContext* rng, uint32_t length, const uint8_t* input);
TESS_API ksErrorCode ks_rngFIPS186Session(ksRngContext* rng, uint32_t count, uint8_t* output);
TESS_API ksErrorCode ks_rngFIPS186Private(ksRngContext* rng, uint32_t inputLength, const uint8_t* input, uint32_t count,
                                          uint8_t* output);

/* SHA-1, MD5, MD2 (the global data is not used and may be null). */
TESS_API ksErrorCode ks_sha1Begin(ksGlobalData* gd, ksSha1Context* ctx);
TESS_API ksErrorCode ks_sha1Hash(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksSha1Context* ctx);
TESS_API ksErrorCode ks_sha1End(ksGlobalData* gd, ksSha1Context* ctx, ksDigest* digest);
TESS_API ksErrorCode ks_md5Begin(ksGlobalData* gd, ksMd5Context* ctx);
TESS_API ksErrorCode ks_md5Hash(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksMd5Context* ctx);
TESS_API ksErrorCode ks_md5End(ksGlobalData* gd, ksMd5Context* ctx, ksDigest* digest);
TESS_API ksErrorCode ks_md2Begin(ksGlobalData* gd, ksMd2Context* ctx);
TESS_API ksErrorCode ks_md2Hash(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksMd2Context* ctx);
TESS_API ksErrorCode ks_md2End(ksGlobalData* gd, ksMd2Context* ctx, ksDigest* digest);

/* HMAC-SHA1. */
TESS_API ksErrorCode ks_hmacSha1Begin(ksGlobalData* gd, int32_t keyLength, const uint8_t* key, ksHmacSha1Context* ctx);
TESS_API ksErrorCode ks_hmacSha1(ksGlobalData* gd, uint32_t length, const uint8_t* data, ksHmacSha1Context* ctx);
TESS_API ksErrorCode ks_hmacSha1End(ksGlobalData* gd, ksHmacSha1Context* ctx, ksDigest* digest);
TESS_API ksErrorCode ks_hmacSha1Message(ksGlobalData* gd, int32_t keyLength, const uint8_t* key, uint32_t length,
                                        const uint8_t* data, ksDigest* digest);

/* DES, DESX and triple DES. */
TESS_API ksErrorCode ks_desGenerateKeys(ksGlobalData* gd, ksDesContextRequest* request);
TESS_API ksErrorCode ks_desBegin(ksGlobalData* gd, const ksDesContextRequest* request, ksDesContext* ctx);
TESS_API ksErrorCode ks_desSetIV(ksGlobalData* gd, const uint8_t* iv, ksDesContext* ctx);
TESS_API ksErrorCode ks_desEncrypt(ksGlobalData* gd, ksDesContext* ctx, const uint8_t* plain, uint32_t length,
                                   uint8_t* cipher);
TESS_API ksErrorCode ks_desDecrypt(ksGlobalData* gd, ksDesContext* ctx, const uint8_t* cipher, uint32_t length,
                                   uint8_t* plain);
TESS_API ksErrorCode ks_desEnd(ksGlobalData* gd, ksDesContext* ctx);

/* ARC4. */
TESS_API ksErrorCode ks_arc4GenerateKey(ksGlobalData* gd, ksArc4ContextRequest* request);
TESS_API ksErrorCode ks_arc4Begin(ksGlobalData* gd, const ksArc4ContextRequest* request, ksArc4Context* ctx);
TESS_API ksErrorCode ks_arc4Encrypt(ksGlobalData* gd, ksArc4Context* ctx, const uint8_t* plain, uint32_t length,
                                    uint8_t* cipher);
TESS_API ksErrorCode ks_arc4Decrypt(ksGlobalData* gd, ksArc4Context* ctx, const uint8_t* cipher, uint32_t length,
                                    uint8_t* plain);
TESS_API ksErrorCode ks_arc4End(ksGlobalData* gd, ksArc4Context* ctx);

/* ---- Numbered entries: installed or called by reference inside the library,
   exported under their numbers because other modules bind to them. ---- */

/* Unsigned integers on 16-bit digits, least significant first; only digits
   below count are significant. ksInt is the head every record shares; the
   records are the general one (sums wrap at 2^512), the product record (output
   of a multiplication) and the reduced record (values modulo a modulus of at
   most 16 digits). Pass a record as KS_INT(&record). */
typedef struct ksInt {
    uint32_t count;
    uint16_t digits[];
} ksInt;
typedef struct ksIntGeneral {
    uint32_t count;
    uint16_t digits[32];
} ksIntGeneral;
typedef struct ksIntProduct {
    uint32_t count;
    uint16_t digits[34];
} ksIntProduct;
typedef struct ksIntReduced {
    uint32_t count;
    uint16_t digits[18];
} ksIntReduced;
#define KS_INT(record) ((ksInt*)(record))

/* Modular addition and multiplication (n at most 16 digits); 0. */
TESS_API uint32_t a1336(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out);
TESS_API uint32_t a1342(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out);
/* Integer to exactly `length` big-endian octets; 1 when it does not fit. */
TESS_API uint32_t a1714(const ksInt* value, uint32_t length, uint8_t* octets);
/* Big-endian octets (1..64) to an integer; 1 when out of range. */
TESS_API uint32_t a1720(uint32_t length, const uint8_t* octets, ksInt* value);

/* SHA-1 on a bare 96-byte state (no checks; they return 0). */
typedef struct ksSha1State {
    uint32_t h[5];
    uint32_t countLow;
    uint32_t countHigh;
    uint32_t buffered;
    uint8_t block[64];
} ksSha1State;
TESS_API uint32_t a4012(ksSha1State* state);
TESS_API uint32_t a4021(uint32_t length, const uint8_t* data, ksSha1State* state);
TESS_API uint32_t a4018(ksSha1State* state, uint8_t* digest);

/* MD5 and MD2 on bare states. */
typedef struct ksMd5State {
    uint32_t abcd[4];
    uint32_t countLow;
    uint32_t countHigh;
    uint32_t buffered;
    uint8_t block[64];
} ksMd5State;
typedef struct ksMd2State {
    uint32_t buffered;
    uint8_t block[16];
    uint8_t x[16];
    uint8_t checksum[16];
} ksMd2State;
TESS_API uint32_t a2788(ksMd5State* state);
TESS_API uint32_t a2797(uint32_t length, const uint8_t* data, ksMd5State* state);
TESS_API uint32_t a2794(ksMd5State* state, uint8_t* digest);
TESS_API uint32_t a2776(ksMd2State* state);
TESS_API uint32_t a2785(uint32_t length, const uint8_t* data, ksMd2State* state);
TESS_API uint32_t a2782(ksMd2State* state, uint8_t* digest);

/* Generator entries on the head of a library context. */
TESS_API uint32_t a3385(ksGlobalData* gd, uint32_t type, uint32_t seedLength, const uint8_t* seed);
TESS_API uint32_t a3391(ksGlobalData* gd, uint32_t count, uint8_t* output);
TESS_API uint32_t a1393(ksGlobalData* gd, uint8_t* output, uint32_t count);
/* A random integer in [1, n-1] from a generator state (n at least 2). */
TESS_API uint32_t a3364(ksRngContext* rng, const ksInt* n, uint32_t inputLength, const uint8_t* input,
                        ksIntReduced* out);
