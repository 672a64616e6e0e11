// Arbitrary octets where the library receives them from a peer: as a
// certificate, an ECAES ciphertext (both forms), an ECES wrapped message, a
// public key in both forms and two shares. No crash, no overrun; a refused
// decryption leaves nothing behind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/curve/curve_record.h"
#include "crypto/kestrel_protocols.h"

namespace {

struct Context {
    std::vector<uint64_t> data = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heap;
    ksPrivateKey priv{};
    ksPublicKey pub{};
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(data.data()); }
    Context() {
        uint32_t heapSize = 0;
        ks_heapSize(&tess::crypto::kSect163k1Record, &heapSize);
        heap.resize(heapSize / 8 + 1);
        ksOptionsList o{};
        o.pointCompression = 1;
        o.ecesCompression = 1;
        o.rngType = 1;
        o.seedLength = 32;
        if (ks_initialize(&tess::crypto::kSect163k1Record, &o, KS_GLOBAL_DATA_SIZE, heapSize, gd(),
                          reinterpret_cast<ksHeap*>(heap.data())) != 0 ||
            ks_genKeyPair(gd(), &priv, &pub) != 0)
            std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Context c;
    if (size == 0 || size > 512) return 0;
    const uint32_t n = uint32_t(size);

    ksCertificate cert{};
    cert.length = n <= sizeof cert.certificate ? n : uint32_t(sizeof cert.certificate);
    std::memcpy(cert.certificate, data, cert.length);
    ksCertificateInfo info{};
    ks_ecdsaParseCert(c.gd(), &cert, &info);
    uint32_t valid = 0;
    ks_ecdsaVerifyCert(c.gd(), &cert, &c.pub, &valid);
    ks_ecnrVerifyCert(c.gd(), &cert, &c.pub, &valid);

    std::vector<uint8_t> out(size);
    for (int br = 0; br < 2; ++br) {
        uint32_t outLength = n;
        const ksErrorCode rc =
            br ? ks_ecaesBRDecrypt(c.gd(), &c.priv, 0, nullptr, 0, nullptr, n, data, &outLength, out.data(), &valid)
               : ks_ecaesDecrypt(c.gd(), &c.priv, 0, nullptr, n, data, &outLength, out.data(), &valid);
        if (rc == 0 && valid == 0 && outLength != 0) std::abort();
        if (outLength > n) std::abort();
    }
    uint32_t outLength = n;
    ks_ecesUnwrap(c.gd(), &c.priv, n, data, &outLength, out.data());
    if (outLength > n) std::abort();

    ksPublicKey key{};
    key.length = n <= sizeof key.key ? n : uint32_t(sizeof key.key);
    std::memcpy(key.key, data, key.length);
    ksPublicKey converted{};
    ks_old2newPublicKey(c.gd(), &key, &converted);
    ks_new2oldPublicKey(c.gd(), &key, &converted);
    uint8_t z[32];
    uint32_t zLength = sizeof z;
    ks_dhRawSharedSecret(c.gd(), &key, &c.priv, &zLength, z);

    ksShare shares[2] = {};
    for (int i = 0; i < 2; ++i) {
        const size_t take = size < sizeof shares[i].share ? size : sizeof shares[i].share;
        std::memcpy(shares[i].share, data + (i ? size - take : 0), take);
        shares[i].length = uint32_t(take);
    }
    ksPrivateKey combined{};
    ks_shadowCombine(c.gd(), shares, &combined);
    return 0;
}
