#include "platform/hxaes/hxaes.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/core/module.h"

namespace platform::hxaes {
namespace {

enum Result {
    kOk = 0,
    kBadArgument = 1,
    kAlready = 2,
    kNotInitialised = 3,
    kNoKey = 4,
    kFailed = 5,
    kNoMemory = 6,
    kTooSmall = 7
};

constexpr unsigned kBlock = 16;
constexpr unsigned kTag = 16;
constexpr unsigned kMaxKey = 1024;
constexpr unsigned kMaxData = 16u << 20;

struct State {
    bool initialised = false;
    unsigned keyLength = 0;  // 0: no key
    unsigned char material[kMaxKey];
    unsigned char cipherKey[32];
    unsigned char macKey[32];

    void wipe() {
        OPENSSL_cleanse(material, sizeof material);
        OPENSSL_cleanse(cipherKey, sizeof cipherKey);
        OPENSSL_cleanse(macKey, sizeof macKey);
        keyLength = 0;
    }
    void setKey(const unsigned char* key, unsigned length) {
        wipe();
        std::memcpy(material, key, length);
        keyLength = length;
        unsigned char digest[SHA512_DIGEST_LENGTH];
        SHA512(material, length, digest);
        std::memcpy(cipherKey, digest, 32);
        std::memcpy(macKey, digest + 32, 32);
        OPENSSL_cleanse(digest, sizeof digest);
    }
};

std::mutex gMutex;
State gState;

// A GlobalAlloc'ed output buffer, wiped and freed unless handed to the caller.
class Output {
public:
    explicit Output(size_t size) : size_(size), p_(static_cast<unsigned char*>(GlobalAlloc(GPTR, size + 1))) {}
    ~Output() {
        if (p_) {
            OPENSSL_cleanse(p_, size_);
            GlobalFree(p_);
        }
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    unsigned char* get() const { return p_; }
    unsigned char* release() { return std::exchange(p_, nullptr); }

private:
    size_t size_;
    unsigned char* p_;
};

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

bool tag(const unsigned char* data, size_t length, unsigned char out[kTag]) {
    unsigned char full[32];
    unsigned int fullLength = 0;
    if (!HMAC(EVP_sha256(), gState.macKey, sizeof gState.macKey, data, length, full, &fullLength)) return false;
    std::memcpy(out, full, kTag);
    return true;
}

int checkCall(const unsigned char* in, unsigned int length, int flags, unsigned char** out, unsigned int* outLength) {
    if (out) *out = nullptr;
    if (outLength) *outLength = 0;
    if (!out || !outLength || (!in && length) || flags != 0 || length > kMaxData) return kBadArgument;
    if (!gState.initialised) return kNotInitialised;
    if (!gState.keyLength) return kNoKey;
    return kOk;
}

}  // namespace
}  // namespace platform::hxaes

// The C exports below stay outside any namespace and use the internals by name.
using namespace platform::hxaes;

int AESInitialize(int) {
    std::lock_guard lock(gMutex);
    if (gState.initialised) return kAlready;
    gState.initialised = true;
    return kOk;
}

int AESUninitialize(void) {
    std::lock_guard lock(gMutex);
    if (!gState.initialised) return kNotInitialised;
    gState.wipe();
    gState.initialised = false;
    return kOk;
}

int AESSetKey(const char* key) {
    if (!key) return kBadArgument;
    const size_t length = strnlen(key, kMaxKey + 1);
    if (length == 0 || length > kMaxKey) return kBadArgument;
    std::lock_guard lock(gMutex);
    if (!gState.initialised) return kNotInitialised;
    gState.setKey(reinterpret_cast<const unsigned char*>(key), static_cast<unsigned>(length));
    return kOk;
}

int AESGetKey(unsigned char* out, unsigned int* size) {
    if (!size) return kBadArgument;
    std::lock_guard lock(gMutex);
    if (!gState.initialised) return kNotInitialised;
    if (!gState.keyLength) return kNoKey;
    if (!out || *size < gState.keyLength + 1) {
        *size = gState.keyLength + 1;
        return kTooSmall;
    }
    std::memcpy(out, gState.material, gState.keyLength);
    out[gState.keyLength] = 0;
    *size = gState.keyLength;
    return kOk;
}

int AESGenerateKeyN(unsigned char* out, unsigned int length) {
    if (!out || length < 16 || length > 64) return kBadArgument;
    std::lock_guard lock(gMutex);
    if (!gState.initialised) return kNotInitialised;
    unsigned char key[64];
    if (RAND_bytes(key, static_cast<int>(length)) != 1) return kFailed;
    gState.setKey(key, length);
    std::memcpy(out, key, length);
    OPENSSL_cleanse(key, sizeof key);
    return kOk;
}

int AESGenerateKeyA(char* out, unsigned int size) {
    if (!out || size < 65) return kBadArgument;
    std::lock_guard lock(gMutex);
    if (!gState.initialised) return kNotInitialised;
    unsigned char raw[32];
    if (RAND_bytes(raw, sizeof raw) != 1) return kFailed;
    static const char kHex[] = "0123456789abcdef";
    char text[65];
    for (unsigned i = 0; i < sizeof raw; ++i) {
        text[2 * i] = kHex[raw[i] >> 4];
        text[2 * i + 1] = kHex[raw[i] & 15];
    }
    text[64] = '\0';
    gState.setKey(reinterpret_cast<const unsigned char*>(text), 64);
    std::memcpy(out, text, sizeof text);
    OPENSSL_cleanse(raw, sizeof raw);
    OPENSSL_cleanse(text, sizeof text);
    return kOk;
}

int AESEncrypt(const unsigned char* in, unsigned int length, int flags, unsigned char** out, unsigned int* outLength) {
    std::lock_guard lock(gMutex);
    if (int r = checkCall(in, length, flags, out, outLength); r != kOk) return r;
    const size_t cipherLength = (length / kBlock + 1) * kBlock;
    const size_t total = kBlock + cipherLength + kTag;
    Output sealed(total);
    CipherCtx ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!sealed.get() || !ctx) return kNoMemory;
    unsigned char* iv = sealed.get();
    unsigned char* body = iv + kBlock;
    int n1 = 0, n2 = 0;
    static const unsigned char kNothing = 0;
    if (RAND_bytes(iv, kBlock) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, gState.cipherKey, iv) != 1 ||
        EVP_EncryptUpdate(ctx.get(), body, &n1, length ? in : &kNothing, static_cast<int>(length)) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), body + n1, &n2) != 1 || static_cast<size_t>(n1 + n2) != cipherLength ||
        !tag(iv, kBlock + cipherLength, body + cipherLength))
        return kFailed;
    *outLength = static_cast<unsigned int>(total);
    *out = sealed.release();
    return kOk;
}

int AESDecrypt(const unsigned char* in, unsigned int length, int flags, unsigned char** out, unsigned int* outLength) {
    std::lock_guard lock(gMutex);
    if (int r = checkCall(in, length, flags, out, outLength); r != kOk) return r;
    if (length < kBlock + kBlock + kTag || (length - kBlock - kTag) % kBlock != 0) return kFailed;
    const size_t cipherLength = length - kBlock - kTag;
    unsigned char expected[kTag];
    // Authenticate before touching the ciphertext: no padding oracle, no garbage out.
    if (!tag(in, kBlock + cipherLength, expected) || CRYPTO_memcmp(expected, in + kBlock + cipherLength, kTag) != 0)
        return kFailed;
    Output plain(cipherLength + kBlock);  // room OpenSSL asks for, beyond the text
    CipherCtx ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!plain.get() || !ctx) return kNoMemory;
    int n1 = 0, n2 = 0;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, gState.cipherKey, in) != 1 ||
        EVP_DecryptUpdate(ctx.get(), plain.get(), &n1, in + kBlock, static_cast<int>(cipherLength)) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), plain.get() + n1, &n2) != 1)
        return kFailed;
    const size_t plainLength = static_cast<size_t>(n1 + n2);
    // Clear what the padding left behind, so the text ends in zeros.
    std::memset(plain.get() + plainLength, 0, cipherLength + kBlock - plainLength);
    *outLength = static_cast<unsigned int>(plainLength);
    *out = plain.release();
    return kOk;
}
