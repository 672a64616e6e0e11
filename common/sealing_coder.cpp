// The sealing coder over the library's DESX-CBC (algorithm 5).
#include "common/sealing_coder.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/curve/curve_record.h"
#include "crypto/wipe.h"

namespace tess {
namespace {

constexpr uint32_t kDesxCbc = 5;
constexpr uint8_t kMarker[4] = {'F', 'J', 'D', 'J'};
constexpr uint8_t kFiller = 0x01;
constexpr unsigned kLineLength = 70;
constexpr uint32_t kMaxSealedSize = 0xFFFF;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int alphabetValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// SealedTextSize without the 16-bit wrap, so that callers can check the range.
uint32_t sealedSize(uint32_t bytes, bool lineBreaks) {
    uint32_t s = 4 * bytes / 3 + (4 * bytes) % 3 + 1;
    if (s < 16) {
        s = 21;
    } else if (s % 4 != 0) {
        s = s + 5 - s % 4;
    }
    if (lineBreaks) {
        s += 2 * (s / kLineLength);
        if (s >= kLineLength + 1) s += 2;
    }
    return s;
}

// The writer's text length for n bytes with line breaks (the NUL not counted).
uint32_t sealedCharacters(uint32_t n) {
    const uint32_t data = 4 * ((n + 2) / 3);
    return data + 2 * (data / kLineLength) + (n >= kLineLength + 1 ? 2 : 0);
}

// The sealed-text writer. Writes at most capacity bytes (NUL included); returns the
// text length, or -1 when the text would not fit.
int writeSealed(const uint8_t* in, uint32_t n, bool lineBreaks, bool bracePadding, char* out, uint32_t capacity) {
    uint32_t pos = 0;
    unsigned column = 0;
    const char pad = bracePadding ? '}' : '=';
    auto put = [&](char c) {
        if (pos + 1 >= capacity) return false;  // keep room for the NUL
        out[pos++] = c;
        return true;
    };
    for (uint32_t i = 0; i < n; i += 3) {
        const uint32_t left = n - i;
        const uint32_t b0 = in[i];
        const uint32_t b1 = left > 1 ? in[i + 1] : 0;
        const uint32_t b2 = left > 2 ? in[i + 2] : 0;
        const uint32_t group = (b0 << 16) | (b1 << 8) | b2;
        const char chars[4] = {kAlphabet[(group >> 18) & 63], kAlphabet[(group >> 12) & 63],
                               left > 1 ? kAlphabet[(group >> 6) & 63] : pad, left > 2 ? kAlphabet[group & 63] : pad};
        for (char c : chars) {
            if (!put(c)) return -1;
            if (lineBreaks && ++column == kLineLength) {
                if (!put('\r') || !put('\n')) return -1;
                column = 0;
            }
        }
    }
    if (lineBreaks && n >= kLineLength + 1) {
        if (!put('\r') || !put('\n')) return -1;
    }
    if (capacity == 0) return -1;
    out[pos] = '\0';
    return int(pos);
}

// The sealed-text reader, in place over m characters. Returns the byte count; a zero
// byte follows the bytes when the buffer has room (it always has for m > 0).
uint32_t readSealed(char* buffer, uint32_t m) {
    uint8_t* out = reinterpret_cast<uint8_t*>(buffer);
    uint32_t values[4];
    unsigned have = 0;
    unsigned pads = 0;
    uint32_t groups = 0;
    uint32_t count = 0;
    for (uint32_t i = 0; i < m; ++i) {
        const unsigned char c = static_cast<unsigned char>(buffer[i]);
        if (c < 32 || c > 127) continue;
        int v;
        if (c == '=' || c == '}') {
            v = 0;
            ++pads;
        } else {
            v = alphabetValue(c);
            if (v < 0) continue;
        }
        values[have++] = uint32_t(v);
        if (have < 4) continue;
        // The four characters are read before their three bytes are written, and the
        // write position (3 per group) never passes the read position (4 per group).
        const uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
        out[3 * groups] = uint8_t(group >> 16);
        out[3 * groups + 1] = uint8_t(group >> 8);
        out[3 * groups + 2] = uint8_t(group);
        ++groups;
        count += 3 - (pads > 3 ? 3 : pads);
        have = 0;
        pads = 0;
    }
    if (count < m) out[count] = 0;
    return count;
}

// Copies the key bytes into the DES request; a text record is decoded in place first.
int loadKey(uint8_t* record, ksDesContextRequest& des) {
    if (record[0] == kSealKeyText) {
        char* text = reinterpret_cast<char*>(record + 1);
        const size_t length = strnlen(text, kMaxSealedSize);
        if (readSealed(text, uint32_t(length)) < kSealKeyBytes) return kSealShortKey;
        record[0] = kSealKeyRaw;
    } else if (record[0] != kSealKeyRaw) {
        return kSealShortKey;  // neither form: no key bytes to trust
    }
    std::memcpy(des.keys, record + 1, kSealKeyBytes);
    des.keyCount = 4;
    return kSealOk;
}

bool osRandom(uint8_t* out, size_t n) {
    while (n > 0) {
        const ssize_t got = getrandom(out, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out += got;
        n -= size_t(got);
    }
    return true;
}

// Frees what a context holds; the library data is ended (and so wiped) when it
// was initialised.
void releaseContext(SealContext* c, bool initialised) {
    if (initialised) ks_end(c->cryptoData);
    std::free(c->cryptoHeap);
    std::free(c->cryptoData);
    tess::crypto::wipeObject(*c);
    std::free(c);
}

// Every seal and unseal starts from a fresh chain.
int restartChain(SealContext* c) { return int(ks_desBegin(c->cryptoData, &c->des, &c->desContext)); }

bool ready(const SealContext* c) { return c != nullptr && c->keyed == 1; }

}  // namespace

uint16_t SealedTextSize(uint16_t bytes, bool lineBreaks) { return uint16_t(sealedSize(bytes, lineBreaks)); }

uint16_t SealedTextCapacity(uint16_t characters) {
    // The largest n whose sealed text (marker, filler and length word included) with
    // line breaks fits; the sealed length grows with n, so a bisection finds it.
    auto fits = [characters](uint32_t n) {
        const uint32_t inner = n + sizeof kMarker;
        return sealedCharacters(inner + (8 - inner % 8) % 8 + 2) <= characters;
    };
    if (!fits(0)) return 0;
    uint32_t low = 0;         // fits
    uint32_t high = 0x10000;  // does not
    while (high - low > 1) {
        const uint32_t mid = (low + high) / 2;
        (fits(mid) ? low : high) = mid;
    }
    return uint16_t(low);
}

int CreateSealContext(SealContext** context, uint8_t* keyRecord) {
    if (context == nullptr) return kSealNotReady;
    auto* c = static_cast<SealContext*>(std::calloc(1, sizeof(SealContext)));
    if (c == nullptr) return kSealNotReady;

    ksOptionsList options{};
    tess::crypto::WipeOnExit<ksOptionsList> wipeOptions(options);
    options.pointCompression = 1;
    options.ecesCompression = 1;
    options.rngType = 1;
    options.seedLength = sizeof options.seed;
    if (!osRandom(options.seed, sizeof options.seed)) {
        releaseContext(c, false);
        return kSealNotReady;
    }

    uint32_t dataSize = 0;
    uint32_t heapSize = 0;
    int rc = int(ks_dataSize(&tess::crypto::kSect163k1Record, &dataSize));
    if (rc == 0) rc = int(ks_heapSize(&tess::crypto::kSect163k1Record, &heapSize));
    if (rc != 0) {
        releaseContext(c, false);
        return rc;
    }
    c->cryptoData = static_cast<ksGlobalData*>(std::malloc(dataSize));
    if (c->cryptoData == nullptr) {
        releaseContext(c, false);
        return kSealNoLibraryMemory;
    }
    c->cryptoHeap = heapSize > 0 ? static_cast<ksHeap*>(std::malloc(heapSize)) : nullptr;
    if (c->cryptoHeap == nullptr) heapSize = 0;
    rc =
        int(ks_initialize(&tess::crypto::kSect163k1Record, &options, dataSize, heapSize, c->cryptoData, c->cryptoHeap));
    if (rc != 0) {
        releaseContext(c, false);
        return rc;
    }

    c->des.algorithm = kDesxCbc;
    c->des.parityCheck = 0;
    c->des.weakKeyCheck = 1;
    if (keyRecord != nullptr) {
        rc = loadKey(keyRecord, c->des);
        if (rc == 0) rc = restartChain(c);
        if (rc != 0) {
            releaseContext(c, true);
            return rc;
        }
        c->keyed = 1;
    }
    *context = c;
    return kSealOk;
}

int DestroySealContext(SealContext** context) {
    if (context == nullptr || *context == nullptr) return kSealNotReady;
    SealContext* c = *context;
    // The library is ended even when ending DES fails, so that the key never
    // outlives the context.
    const int desRc = int(ks_desEnd(c->cryptoData, &c->desContext));
    const int endRc = int(ks_end(c->cryptoData));
    if (desRc == 0 && endRc == 0) c->keyed = 0;
    releaseContext(c, false);
    *context = nullptr;
    return desRc != 0 ? desRc : endRc;
}

int SealText(SealContext* context, const uint8_t* text, uint16_t length, bool lineBreaks, bool bracePadding,
             char** sealed, uint16_t* sealedLength) {
    if (sealed != nullptr) *sealed = nullptr;
    if (sealedLength != nullptr) *sealedLength = 0;
    if (!ready(context) || sealed == nullptr || sealedLength == nullptr) return kSealNotReady;
    if (text == nullptr && length > 0) return kSealNotReady;

    const uint32_t inner = uint32_t(length) + sizeof kMarker;
    const uint32_t plainLength = inner + (8 - inner % 8) % 8;
    const uint32_t capacity = sealedSize(plainLength + 2, true);
    if (capacity > kMaxSealedSize) return kSealNotReady;  // the sealed text would pass 16 bits

    std::vector<uint8_t> plain(plainLength, kFiller);
    std::memcpy(plain.data(), kMarker, sizeof kMarker);
    if (length > 0) std::memcpy(plain.data() + sizeof kMarker, text, length);
    std::vector<uint8_t> block(plainLength + 2);
    block[0] = uint8_t(inner >> 8);
    block[1] = uint8_t(inner);
    int rc = int(ks_desEncrypt(context->cryptoData, &context->desContext, plain.data(), plainLength, block.data() + 2));
    tess::crypto::wipe(plain.data(), plain.size());
    const int restartRc = restartChain(context);
    if (rc == 0) rc = restartRc;
    if (rc != 0) return rc;

    char* out = static_cast<char*>(std::malloc(capacity));
    if (out == nullptr) return kSealNotReady;
    const int written = writeSealed(block.data(), uint32_t(block.size()), lineBreaks, bracePadding, out, capacity);
    if (written < 0) {  // the size rule always leaves room; refuse rather than overrun
        std::free(out);
        return kSealNotReady;
    }
    *sealed = out;
    *sealedLength = uint16_t(written);
    return kSealOk;
}

int UnsealText(SealContext* context, char* sealed, uint16_t length, uint8_t** text, uint16_t* textLength) {
    if (text != nullptr) *text = nullptr;
    if (textLength != nullptr) *textLength = 0;
    if (!ready(context) || text == nullptr || textLength == nullptr) return kSealNotReady;
    if (sealed == nullptr && length > 0) return kSealNotReady;

    const uint32_t decoded = length > 0 ? readSealed(sealed, length) : 0;
    if (decoded == 0) return kSealOk;
    // A length word and whole cipher blocks, or the text is damaged.
    if (decoded < 2 + 8 || (decoded - 2) % 8 != 0) return kSealDamaged;
    const uint32_t cipherLength = decoded - 2;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(sealed);

    auto* plain = static_cast<uint8_t*>(std::malloc(cipherLength));
    if (plain == nullptr) return kSealNotReady;
    int rc = int(ks_desDecrypt(context->cryptoData, &context->desContext, bytes + 2, cipherLength, plain));
    const int restartRc = restartChain(context);
    if (rc == 0) rc = restartRc;

    uint32_t inner = (uint32_t(bytes[0]) << 8) | bytes[1];
    if (inner > cipherLength) inner = cipherLength;
    if (rc == 0 && (std::memcmp(plain, kMarker, sizeof kMarker) != 0 || inner < sizeof kMarker)) rc = kSealDamaged;
    if (rc != 0) {
        tess::crypto::wipe(plain, cipherLength);
        std::free(plain);
        return rc;
    }
    const uint32_t n = inner - sizeof kMarker;
    std::memmove(plain, plain + sizeof kMarker, n);
    tess::crypto::wipe(plain + n, cipherLength - n);  // the zero behind the text, and no stale bytes
    *text = plain;
    *textLength = uint16_t(n);
    return kSealOk;
}

int GenerateSealKey(SealContext* context, uint8_t** record) {
    if (context == nullptr || context->keyed != 0 || record == nullptr) return kSealNotReady;
    auto* out = static_cast<uint8_t*>(std::calloc(1, kSealKeyRecordSize));
    if (out == nullptr) return kSealNoKeyMemory;
    int rc = int(ks_desGenerateKeys(context->cryptoData, &context->des));
    if (rc == 0) rc = restartChain(context);
    if (rc != 0) {
        tess::crypto::wipeObject(context->des.keys);
        std::free(out);
        return rc;
    }
    out[0] = kSealKeyText;
    writeSealed(context->des.keys[0], kSealKeyBytes, false, false, reinterpret_cast<char*>(out + 1),
                kSealKeyRecordSize - 1);
    context->keyed = 1;
    *record = out;
    return kSealOk;
}

std::string NewSealKeyRecord() {
    SealContext* context = nullptr;
    if (CreateSealContext(&context, nullptr) != kSealOk) return {};
    std::string key;
    uint8_t* record = nullptr;
    if (GenerateSealKey(context, &record) == kSealOk && record) {
        key.assign(reinterpret_cast<const char*>(record),
                   strnlen(reinterpret_cast<const char*>(record), kSealKeyRecordSize));
        std::free(record);
    }
    DestroySealContext(&context);
    return key;
}

}  // namespace tess
