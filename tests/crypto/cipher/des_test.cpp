// DES, DESX and triple DES: NIST CAVP known-answer and multi-block vectors,
// every algorithm differential against OpenSSL (legacy provider for single
// DES and DESX), weak and parity keys against OpenSSL's checks, key
// generation, and the exports' check order and codes.
#define OPENSSL_SUPPRESS_DEPRECATED  // the DES_* key checks are the reference here
#include <gtest/gtest.h>
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <memory>
#include <random>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"
#include "tests/crypto/crypto_test_util.h"

using namespace tess::crypto::test;

namespace {

struct Providers {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    ~Providers() {
        if (legacy) OSSL_PROVIDER_unload(legacy);
        if (base) OSSL_PROVIDER_unload(base);
    }
};

Bytes evpCrypt(const char* name, const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt) {
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(EVP_CIPHER_fetch(nullptr, name, nullptr),
                                                                   EVP_CIPHER_free);
    if (!cipher) ADD_FAILURE() << "OpenSSL has no " << name;
    if (!cipher) return {};
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_CipherInit_ex(ctx.get(), cipher.get(), nullptr, key.data(), iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    Bytes out(in.size() + 16);
    int n = 0, m = 0;
    EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size()));
    EVP_CipherFinal_ex(ctx.get(), out.data() + n, &m);
    out.resize(size_t(n + m));
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ksDesContextRequest makeRequest(uint32_t algorithm, std::initializer_list<Bytes> values) {
    static const uint32_t counts[12] = {1, 2, 3, 4, 3, 4, 2, 2, 4, 4, 4, 4};
    ksDesContextRequest r{};
    r.algorithm = algorithm;
    r.keyCount = counts[algorithm];
    size_t slot = 0;
    for (const auto& v : values) std::memcpy(r.keys[slot++], v.data(), 8);
    return r;
}

Bytes runLibrary(const ksDesContextRequest& r, const Bytes& in, bool encrypt) {
    ksDesContext ctx;
    EXPECT_EQ(ks_desBegin(nullptr, &r, &ctx), 0u);
    Bytes out(in.size());
    const uint32_t rc = encrypt ? ks_desEncrypt(nullptr, &ctx, in.data(), uint32_t(in.size()), out.data())
                                : ks_desDecrypt(nullptr, &ctx, in.data(), uint32_t(in.size()), out.data());
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(ks_desEnd(nullptr, &ctx), 0u);
    return out;
}

struct VectorFamily {
    const char* file;
    uint32_t algorithm;
};

TEST(Des, CavpKnownAnswersSingleKey) {
    // One key for all three stages: the answers are single DES.
    const VectorFamily families[] = {
        {"TCBCinvperm.rsp", 1},  {"TCBCpermop.rsp", 1},  {"TCBCsubtab.rsp", 1},
        {"TCBCvarkey.rsp", 1},   {"TCBCvartext.rsp", 1}, {"TCFB64permop.rsp", 6},
        {"TCFB64subtab.rsp", 6}, {"TOFBpermop.rsp", 7},  {"TOFBsubtab.rsp", 7},
    };
    int checked = 0;
    for (const auto& f : families) {
        for (const auto& v : readVectorFile(f.file)) {
            if (!v.has("KEYs")) continue;
            const auto r = makeRequest(f.algorithm, {fromHex(v.at("KEYs")), fromHex(v.at("IV"))});
            const bool encrypt = v.section == "[ENCRYPT]";
            const Bytes in = fromHex(v.at(encrypt ? "PLAINTEXT" : "CIPHERTEXT"));
            EXPECT_EQ(toHex(runLibrary(r, in, encrypt)), v.at(encrypt ? "CIPHERTEXT" : "PLAINTEXT"))
                << f.file << " " << v.section << " COUNT " << v.at("COUNT");
            ++checked;
        }
    }
    EXPECT_GT(checked, 600);
}

TEST(Des, CavpTripleDesMultiBlock) {
    const VectorFamily families[] = {
        {"TECBMMT2.rsp", 2},   {"TECBMMT3.rsp", 2},   {"TCBCMMT2.rsp", 3}, {"TCBCMMT3.rsp", 3},
        {"TCFB64MMT2.rsp", 8}, {"TCFB64MMT3.rsp", 8}, {"TOFBMMT2.rsp", 9}, {"TOFBMMT3.rsp", 9},
    };
    int checked = 0;
    for (const auto& f : families) {
        for (const auto& v : readVectorFile(f.file)) {
            if (!v.has("KEY1")) continue;
            const Bytes iv = v.has("IV") ? fromHex(v.at("IV")) : Bytes(8);
            const auto r =
                makeRequest(f.algorithm, {fromHex(v.at("KEY1")), fromHex(v.at("KEY2")), fromHex(v.at("KEY3")), iv});
            const bool encrypt = v.section == "[ENCRYPT]";
            const Bytes in = fromHex(v.at(encrypt ? "PLAINTEXT" : "CIPHERTEXT"));
            EXPECT_EQ(toHex(runLibrary(r, in, encrypt)), v.at(encrypt ? "CIPHERTEXT" : "PLAINTEXT"))
                << f.file << " " << v.section << " COUNT " << v.at("COUNT");
            ++checked;
        }
    }
    EXPECT_EQ(checked, 8 * 20);
}

// DESX in a mode OpenSSL lacks: its single DES (ECB) with the whitening
// applied around it, inside the mode's feedback loop.
Bytes desxReference(uint32_t mode, const Bytes& key, const Bytes& inW, const Bytes& outW, const Bytes& iv,
                    const Bytes& in, bool encrypt) {
    auto whitened = [&](const Bytes& block) {
        Bytes x(8);
        for (int i = 0; i < 8; ++i) x[i] = block[i] ^ inW[i];
        Bytes y = evpCrypt("DES-ECB", key, {}, x, true);
        for (int i = 0; i < 8; ++i) y[i] ^= outW[i];
        return y;
    };
    Bytes out, f = iv;
    for (size_t pos = 0; pos < in.size(); pos += 8) {
        Bytes block(in.begin() + long(pos), in.begin() + long(pos) + 8);
        Bytes o(8);
        if (mode == 1) {
            if (encrypt) {
                o = whitened(block);
            } else {
                Bytes x(8);
                for (int i = 0; i < 8; ++i) x[i] = block[i] ^ outW[i];
                x = evpCrypt("DES-ECB", key, {}, x, false);
                for (int i = 0; i < 8; ++i) o[i] = x[i] ^ inW[i];
            }
        } else {
            const Bytes k = whitened(f);
            for (int i = 0; i < 8; ++i) o[i] = block[i] ^ k[i];
            f = mode == 24 ? (encrypt ? o : block) : k;
        }
        out.insert(out.end(), o.begin(), o.end());
    }
    return out;
}

TEST(Des, EveryAlgorithmAgainstOpenSsl) {
    Providers providers;
    ASSERT_NE(providers.legacy, nullptr) << "OpenSSL's legacy provider is needed for single DES";
    std::mt19937 rng(6);
    auto random = [&](size_t n) {
        Bytes b(n);
        for (auto& x : b) x = uint8_t(rng());
        return b;
    };
    const char* singleNames[] = {"DES-ECB", "DES-CBC", "DES-CFB", "DES-OFB"};
    const char* tripleNames[] = {"DES-EDE3-ECB", "DES-EDE3-CBC", "DES-EDE3-CFB", "DES-EDE3-OFB"};
    struct Alg {
        uint32_t id;
        int structure;  // 0 DES, 1 DESX, 2 triple
        int mode;       // index into the names: ECB, CBC, CFB, OFB
    } algs[] = {{0, 0, 0}, {1, 0, 1}, {2, 2, 0}, {3, 2, 1}, {4, 1, 0},  {5, 1, 1},
                {6, 0, 2}, {7, 0, 3}, {8, 2, 2}, {9, 2, 3}, {10, 1, 2}, {11, 1, 3}};
    const uint32_t modeCodes[] = {1, 2, 24, 20};
    for (int round = 0; round < 40; ++round) {
        for (const auto& a : algs) {
            const Bytes k1 = random(8), k2 = random(8), k3 = random(8), iv = random(8);
            const Bytes data = random(8 * (1 + rng() % 40));
            for (bool encrypt : {true, false}) {
                Bytes expected;
                ksDesContextRequest r;
                if (a.structure == 0) {
                    r = makeRequest(a.id, {k1, iv});
                    expected = evpCrypt(singleNames[a.mode], k1, a.mode ? iv : Bytes{}, data, encrypt);
                } else if (a.structure == 2) {
                    r = makeRequest(a.id, {k1, k2, k3, iv});
                    expected =
                        evpCrypt(tripleNames[a.mode], concat({k1, k2, k3}), a.mode ? iv : Bytes{}, data, encrypt);
                } else {
                    r = makeRequest(a.id, {k1, k2, k3, iv});
                    expected = a.mode == 1 ? evpCrypt("DESX-CBC", concat({k1, k2, k3}), iv, data, encrypt)
                                           : desxReference(modeCodes[a.mode], k1, k2, k3, iv, data, encrypt);
                }
                ASSERT_EQ(toHex(runLibrary(r, data, encrypt)), toHex(expected))
                    << "algorithm " << a.id << (encrypt ? " encrypt" : " decrypt");

                // In place, and split across two calls, give the same bytes.
                ksDesContext ctx;
                ASSERT_EQ(ks_desBegin(nullptr, &r, &ctx), 0u);
                Bytes buf = data;
                const uint32_t first = uint32_t(8 * (rng() % (data.size() / 8 + 1)));
                auto call = encrypt ? ks_desEncrypt : ks_desDecrypt;
                ASSERT_EQ(call(nullptr, &ctx, buf.data(), first, buf.data()), 0u);
                ASSERT_EQ(call(nullptr, &ctx, buf.data() + first, uint32_t(buf.size()) - first, buf.data() + first),
                          0u);
                ASSERT_EQ(buf, expected) << "in place, split at " << first;
            }
        }
    }
}

TEST(Des, WeakAndParityKeysAgreeWithOpenSsl) {
    std::mt19937 rng(7);
    std::vector<Bytes> keys;
    const char* published[] = {"0101010101010101", "fefefefefefefefe", "1f1f1f1f0e0e0e0e", "e0e0e0e0f1f1f1f1",
                               "01fe01fe01fe01fe", "fe01fe01fe01fe01", "1fe01fe00ef10ef1", "e01fe01ff10ef10e",
                               "01e001e001f101f1", "e001e001f101f101", "1ffe1ffe0efe0efe", "fe1ffe1ffe0efe0e",
                               "011f011f010e010e", "1f011f010e010e01", "e0fee0fef1fef1fe", "fee0fee0fef1fef1"};
    for (const char* hex : published) {
        Bytes k = fromHex(hex);
        keys.push_back(k);
        Bytes flipped = k;  // the same key with every parity bit inverted
        for (auto& b : flipped) b ^= 1;
        keys.push_back(flipped);
        Bytes one = k;  // one key bit changed: no longer weak
        one[3] ^= 0x10;
        keys.push_back(one);
    }
    for (int i = 0; i < 2000; ++i) {
        Bytes k(8);
        for (auto& b : k) b = uint8_t(rng());
        keys.push_back(k);
    }
    const Bytes iv(8, 0);
    for (const auto& k : keys) {
        DES_cblock block;
        std::memcpy(block, k.data(), 8);
        const bool parityOk = DES_check_key_parity(&block) == 1;
        DES_set_odd_parity(&block);
        const bool weak = DES_is_weak_key(&block) == 1;

        ksDesContextRequest r = makeRequest(1, {k, iv});
        ksDesContext ctx;
        r.weakKeyCheck = 1;
        EXPECT_EQ(ks_desBegin(nullptr, &r, &ctx), weak ? 0x201u : 0u) << toHex(k);
        r.weakKeyCheck = 0;
        r.parityCheck = 1;
        EXPECT_EQ(ks_desBegin(nullptr, &r, &ctx), parityOk ? 0u : 0x202u) << toHex(k);
        r.weakKeyCheck = 1;  // parity is judged first
        EXPECT_EQ(ks_desBegin(nullptr, &r, &ctx), !parityOk ? 0x202u : (weak ? 0x201u : 0u));
    }
}

bool allZero(const ksDesContext& c) {
    for (uint32_t w : c.words) {
        if (w != 0) return false;
    }
    return true;
}

TEST(Des, BeginCheckOrderAndCodes) {
    const Bytes good = fromHex("133457799bbcdff1"), weak = fromHex("0101010101010101");
    const Bytes badParity = fromHex("133457799bbcdff0"), iv(8, 0x11);
    struct Case {
        const char* name;
        ksDesContextRequest request;
        uint32_t code;
    } cases[] = {
        {"algorithm 12", makeRequest(0, {good}), 0x200},
        {"count 5 for DESX-CBC", makeRequest(5, {good, iv, iv, iv}), 0x204},
        {"count 3 for DESX-CBC", makeRequest(5, {good, iv, iv, iv}), 0x204},
        {"parity flag 2", makeRequest(0, {good}), 0x203},
        {"weak flag 2", makeRequest(0, {good}), 0x203},
        {"DESX key weak", makeRequest(5, {weak, iv, iv, iv}), 0x201},
        {"DESX key weak without parity bits", makeRequest(5, {fromHex("0000000000000000"), iv, iv, iv}), 0x201},
        {"DESX any parity accepted", makeRequest(5, {badParity, iv, iv, iv}), 0},
        {"parity before weak", makeRequest(2, {fromHex("0101010101010100"), good, good}), 0x202},
        {"triple: parity of key 3 before weak key 2", makeRequest(2, {good, weak, badParity}), 0x202},
        {"triple: weak key 3", makeRequest(2, {good, good, weak}), 0x201},
    };
    cases[0].request.algorithm = 12;
    cases[1].request.keyCount = 5;
    cases[2].request.keyCount = 3;
    cases[3].request.parityCheck = 2;
    cases[4].request.weakKeyCheck = 2;
    for (int i = 5; i < 8; ++i) cases[i].request.weakKeyCheck = 1;
    for (int i = 8; i < 11; ++i) {
        cases[i].request.parityCheck = 1;
        cases[i].request.weakKeyCheck = 1;
    }
    for (auto& c : cases) {
        ksDesContext ctx;
        std::memset(&ctx, 0x3C, sizeof ctx);
        ctx.words[0] = KS_MAGIC;  // a valid context is invalidated by any failure
        EXPECT_EQ(ks_desBegin(nullptr, &c.request, &ctx), c.code) << c.name;
        EXPECT_EQ(ctx.words[0] == KS_MAGIC, c.code == 0) << c.name;
        if (c.code == 0x201 || c.code == 0x202) {
            // Schedules built before the failing test must not stay behind.
            EXPECT_TRUE(allZero(ctx)) << c.name;
        }
    }
    ksDesContextRequest r = makeRequest(0, {good});
    EXPECT_EQ(ks_desBegin(nullptr, nullptr, nullptr), 0x205u);
    EXPECT_EQ(ks_desBegin(nullptr, &r, nullptr), 5u);
}

TEST(Des, StreamCheckOrderAndCodes) {
    const auto r = makeRequest(5, {fromHex("133457799bbcdff1"), Bytes(8, 1), Bytes(8, 2), Bytes(8, 3)});
    uint8_t buf[24] = {};
    struct Case {
        const char* name;
        bool encrypt;
        bool begun;
        const uint8_t* in;
        uint32_t length;
        uint8_t* out;
        uint32_t code;
        bool validAfter;
    } cases[] = {
        {"not begun", true, false, buf, 8, buf, 10, false},
        {"length 0, no buffers", true, true, nullptr, 0, nullptr, 0, true},
        {"encrypt, no plaintext", true, true, nullptr, 8, buf, 0x206, false},
        {"encrypt, length 12", true, true, buf, 12, buf, 4, false},
        {"encrypt, no ciphertext", true, true, buf, 8, nullptr, 0x207, false},
        {"decrypt, no ciphertext", false, true, nullptr, 8, buf, 0x207, false},
        {"decrypt, no plaintext", false, true, buf, 8, nullptr, 0x206, false},
        {"decrypt, length 12", false, true, buf, 12, buf, 4, false},
    };
    for (const auto& c : cases) {
        ksDesContext ctx;
        std::memset(&ctx, 0x3C, sizeof ctx);
        if (c.begun) ks_desBegin(nullptr, &r, &ctx);
        auto call = c.encrypt ? ks_desEncrypt : ks_desDecrypt;
        EXPECT_EQ(call(nullptr, &ctx, c.in, c.length, c.out), c.code) << c.name;
        EXPECT_EQ(allZero(ctx), !c.validAfter) << c.name;
        if (!c.validAfter) {
            EXPECT_EQ(call(nullptr, &ctx, buf, 8, buf), 10u) << c.name;
        }
    }
    EXPECT_EQ(ks_desEncrypt(nullptr, nullptr, buf, 8, buf), 5u);
    ksDesContext ctx;
    ks_desBegin(nullptr, &r, &ctx);
    EXPECT_EQ(ks_desSetIV(nullptr, nullptr, &ctx), 11u);
    EXPECT_EQ(ctx.words[0], KS_MAGIC);
    EXPECT_EQ(ks_desSetIV(nullptr, buf, nullptr), 5u);
    EXPECT_EQ(ks_desEnd(nullptr, &ctx), 0u);
    EXPECT_TRUE(allZero(ctx));
    EXPECT_EQ(ks_desEnd(nullptr, &ctx), 10u);
    EXPECT_EQ(ks_desSetIV(nullptr, buf, &ctx), 10u);
    EXPECT_EQ(ks_desEnd(nullptr, nullptr), 5u);
}

TEST(Des, ChainsCarryAcrossCallsAndRestart) {
    const auto r = makeRequest(5, {fromHex("0123456789abcdef"), fromHex("1122334455667788"),
                                   fromHex("99aabbccddeeff00"), fromHex("0f1e2d3c4b5a6978")});
    Bytes plain(24);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t(i * 13);
    const Bytes whole = runLibrary(r, plain, true);
    ksDesContext ctx;
    ks_desBegin(nullptr, &r, &ctx);
    Bytes out(24);
    ks_desEncrypt(nullptr, &ctx, plain.data(), 8, out.data());
    ks_desEncrypt(nullptr, &ctx, plain.data() + 8, 16, out.data() + 8);
    EXPECT_EQ(out, whole);
    // A new begin, or setting the IV, starts a fresh chain.
    ks_desBegin(nullptr, &r, &ctx);
    ks_desEncrypt(nullptr, &ctx, plain.data(), 24, out.data());
    EXPECT_EQ(out, whole);
    ks_desSetIV(nullptr, r.keys[3], &ctx);
    ks_desEncrypt(nullptr, &ctx, plain.data(), 24, out.data());
    EXPECT_EQ(out, whole);
}

struct Library {
    std::vector<uint8_t> block = std::vector<uint8_t>(KS_GLOBAL_DATA_SIZE);
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(block.data()); }
    explicit Library(uint8_t seedByte) {
        ksOptionsList o{};
        o.rngType = 1;
        o.seedLength = 32;
        std::memset(o.seed, seedByte, 32);
        o.seed[0] = 0;
        EXPECT_EQ(ks_initialize(nullptr, &o, KS_GLOBAL_DATA_SIZE, 0, gd(), nullptr), 0u);
    }
    ~Library() { ks_end(gd()); }
};

TEST(Des, GeneratedKeys) {
    struct Case {
        uint32_t algorithm;
        uint32_t count;
        uint32_t draws;  // 8-byte draws when no key is weak
    } cases[] = {{0, 1, 1}, {1, 2, 2}, {2, 3, 3}, {3, 4, 4}, {4, 3, 3},  {5, 4, 4},
                 {6, 2, 2}, {7, 2, 2}, {8, 4, 4}, {9, 4, 4}, {10, 4, 4}, {11, 4, 4}};
    for (const auto& c : cases) {
        for (uint32_t parity : {0u, 1u}) {
            Library lib(uint8_t(c.algorithm + 1)), twin(uint8_t(c.algorithm + 1));
            ksDesContextRequest r{};
            std::memset(r.keys, 0xEE, sizeof r.keys);
            r.algorithm = c.algorithm;
            r.parityCheck = parity;
            r.weakKeyCheck = 1;
            ASSERT_EQ(ks_desGenerateKeys(lib.gd(), &r), 0u);
            EXPECT_EQ(r.keyCount, c.count);
            // The slots are the generator's next draws, one 8-byte request each.
            Bytes expected(8 * c.draws);
            for (uint32_t i = 0; i < c.draws; ++i) a3391(twin.gd(), 8, expected.data() + 8 * i);
            const bool triple = c.algorithm == 2 || c.algorithm == 3 || c.algorithm == 8 || c.algorithm == 9;
            for (uint32_t i = 0; i < c.count; ++i) {
                Bytes slot(r.keys[i], r.keys[i] + 8);
                Bytes draw(expected.begin() + 8 * i, expected.begin() + 8 * i + 8);
                const bool isKey = i == 0 || (triple && i < 3);
                if (isKey && parity == 1) {
                    DES_cblock b;
                    std::memcpy(b, draw.data(), 8);
                    DES_set_odd_parity(&b);
                    draw.assign(b, b + 8);
                }
                EXPECT_EQ(toHex(slot), toHex(draw)) << "algorithm " << c.algorithm << " slot " << i;
            }
            for (uint32_t i = c.count; i < 4; ++i) EXPECT_EQ(r.keys[i][0], 0xEE);
            ksDesContext ctx;
            EXPECT_EQ(ks_desBegin(nullptr, &r, &ctx), 0u);
        }
    }
}

TEST(Des, GenerateKeysCheckOrder) {
    Library lib(9);
    ksDesContextRequest r{};
    EXPECT_EQ(ks_desGenerateKeys(nullptr, &r), 2u);
    std::vector<uint8_t> junk(KS_GLOBAL_DATA_SIZE, 0);
    EXPECT_EQ(ks_desGenerateKeys(reinterpret_cast<ksGlobalData*>(junk.data()), &r), 1u);
    EXPECT_EQ(ks_desGenerateKeys(lib.gd(), nullptr), 0x205u);
    r.algorithm = 12;
    EXPECT_EQ(ks_desGenerateKeys(lib.gd(), &r), 0x200u);
    r.algorithm = 2;
    r.parityCheck = 3;
    r.keyCount = 0;
    std::memset(r.keys, 0xAB, sizeof r.keys);
    EXPECT_EQ(ks_desGenerateKeys(lib.gd(), &r), 0x203u);
    EXPECT_EQ(r.keyCount, 3u);  // written before the flag checks
    EXPECT_EQ(r.keys[0][0], 0xAB);
}

}  // namespace
