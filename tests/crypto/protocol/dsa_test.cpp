// DSA: the FIPS 186-2 SigGen (with the published k) and SigVer vectors,
// signatures crossing with OpenSSL, parameter generation against OpenSSL's
// from the same seed, validations, streams and refusals.
#include <openssl/dsa.h>

#include <cstring>

#include "crypto/protocol/integer_groups.h"
#include "tests/crypto/protocol/protocol_fixture.h"

namespace tess::crypto::test {
namespace {

class Library {
public:
    Library() {
        const ksOptionsList options = seededOptions(9);
        EXPECT_EQ(ks_initialize(nullptr, &options, KS_GLOBAL_DATA_SIZE, 0, gd(), nullptr), 0u);
    }
    ~Library() { ks_end(gd()); }
    ksGlobalData* gd() { return reinterpret_cast<ksGlobalData*>(storage_.data()); }

private:
    std::vector<uint64_t> storage_ = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
};

void put(const Bytes& v, uint8_t* area, uint32_t* length) {
    std::memcpy(area, v.data(), v.size());
    *length = uint32_t(v.size());
}

Bytes hexValue(const std::string& hex) {
    Bytes b = fromHex(hex.size() % 2 ? "0" + hex : hex);
    while (b.size() > 1 && b.front() == 0) b.erase(b.begin());
    return b;
}

ksDsaParameters paramsOf(const std::string& p, const std::string& q, const std::string& g) {
    ksDsaParameters params{};
    put(hexValue(p), params.p, &params.pLength);
    put(hexValue(q), params.q, &params.qLength);
    put(hexValue(g), params.g, &params.gLength);
    params.present = 7;
    return params;
}

ksDsaKey keyOf(const std::string& hex) {
    ksDsaKey k{};
    put(hexValue(hex), k.value, &k.length);
    return k;
}

class FixedK {
public:
    explicit FixedK(Bytes k) : k_(std::move(k)) { setDsaNonceSource(&FixedK::source, this); }
    ~FixedK() { setDsaNonceSource(nullptr, nullptr); }

private:
    static uint32_t source(void* arg, uint8_t* octets, uint32_t capacity, uint32_t* length) {
        const Bytes& k = static_cast<FixedK*>(arg)->k_;
        if (k.size() > capacity) return 1;
        std::memcpy(octets, k.data(), k.size());
        *length = uint32_t(k.size());
        return 0;
    }
    Bytes k_;
};

TEST(DsaVectors, SigGenWithThePublishedK) {
    Library lib;
    std::string p, q, g;
    int checked = 0;
    for (const auto& v : protocolVectors("dsa_siggen.txt")) {
        if (v.has("P")) {
            p = v.at("P"), q = v.at("Q"), g = v.at("G");
            continue;
        }
        SCOPED_TRACE(v.at("X"));
        const ksDsaParameters params = paramsOf(p, q, g);
        const ksDsaKey x = keyOf(v.at("X"));
        const ksDsaKey y = keyOf(v.at("Y"));
        const Bytes h = sha1(fromHex(v.at("Msg")));
        ksDsaSignature sig{};
        {
            FixedK k(hexValue(v.at("K")));
            ASSERT_EQ(ks_dsaNoHashSign(lib.gd(), &params, &x, 20, h.data(), &sig), 0u);
        }
        EXPECT_EQ(Bytes(sig.r, sig.r + sig.rLength), hexValue(v.at("R")));
        EXPECT_EQ(Bytes(sig.s, sig.s + sig.sLength), hexValue(v.at("S")));
        uint32_t valid = 7;
        ASSERT_EQ(ks_dsaNoHashVerify(lib.gd(), &params, &y, &sig, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 1u);
        ASSERT_EQ(ks_dsaValidatePublicKey(lib.gd(), &params, &y, &valid), 0u);
        EXPECT_EQ(valid, 1u);
        ++checked;
    }
    EXPECT_EQ(checked, 6);
}

TEST(DsaVectors, SigVer) {
    Library lib;
    std::string p, q, g;
    int checked = 0;
    for (const auto& v : protocolVectors("dsa_sigver.rsp")) {
        if (v.has("P")) {
            p = v.at("P"), q = v.at("Q"), g = v.at("G");
            continue;
        }
        SCOPED_TRACE(v.at("R") + " " + v.at("Result"));
        const ksDsaParameters params = paramsOf(p, q, g);
        const ksDsaKey y = keyOf(v.at("Y"));
        ksDsaSignature sig{};
        put(hexValue(v.at("R")), sig.r, &sig.rLength);
        put(hexValue(v.at("S")), sig.s, &sig.sLength);
        const Bytes h = sha1(fromHex(v.at("Msg")));
        uint32_t valid = 7;
        ASSERT_EQ(ks_dsaNoHashVerify(lib.gd(), &params, &y, &sig, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, v.at("Result")[0] == 'P' ? 1u : 0u);
        ++checked;
    }
    EXPECT_EQ(checked, 10);
}

struct DsaFree {
    void operator()(DSA* d) const { DSA_free(d); }
};
using DsaPtr = std::unique_ptr<DSA, DsaFree>;

Bn bnOf(const uint8_t* area, uint32_t length) { return Bn(BN_bin2bn(area, int(length), nullptr)); }

DsaPtr opensslDsa(const ksDsaParameters& params, const ksDsaKey& y, const ksDsaKey* x) {
    DsaPtr dsa(DSA_new());
    DSA_set0_pqg(dsa.get(), bnOf(params.p, params.pLength).release(), bnOf(params.q, params.qLength).release(),
                 bnOf(params.g, params.gLength).release());
    DSA_set0_key(dsa.get(), bnOf(y.value, y.length).release(), x ? bnOf(x->value, x->length).release() : nullptr);
    return dsa;
}

class DsaGenerated : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        lib = new Library;
        ASSERT_EQ(ks_dsaGenerateParameters(lib->gd(), 512, 0, nullptr, &params), 0u);
        ASSERT_EQ(ks_dsaGenerateKeyPair(lib->gd(), &params, &x, &y), 0u);
    }
    static void TearDownTestSuite() { delete lib; }
    static Library* lib;
    static ksDsaParameters params;
    static ksDsaKey x;
    static ksDsaKey y;
};
Library* DsaGenerated::lib = nullptr;
ksDsaParameters DsaGenerated::params{};
ksDsaKey DsaGenerated::x{};
ksDsaKey DsaGenerated::y{};

TEST_F(DsaGenerated, ParametersAndKeysHoldTogether) {
    EXPECT_EQ(params.present, 7u);
    EXPECT_EQ(params.qLength, 20u);
    EXPECT_EQ(params.pLength, 64u);
    uint32_t valid = 7;
    ASSERT_EQ(ks_dsaValidateParameters(lib->gd(), &params, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    ASSERT_EQ(ks_dsaValidatePublicKey(lib->gd(), &params, &y, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    // y = g^x mod p, as OpenSSL computes it.
    BnCtx ctx(BN_CTX_new());
    Bn expected = newBn();
    BN_mod_exp(expected.get(), bnOf(params.g, params.gLength).get(), bnOf(x.value, x.length).get(),
               bnOf(params.p, params.pLength).get(), ctx.get());
    EXPECT_EQ(BN_cmp(expected.get(), bnOf(y.value, y.length).get()), 0);

    struct Case {
        const char* what;
        Bn value;
        uint32_t valid;
    };
    Bn q = bnOf(params.q, params.qLength);
    Bn one = newBn();
    BN_one(one.get());
    Bn zero = newBn();
    Case privateCases[] = {{"1", std::move(one), 1}, {"0", std::move(zero), 0}, {"q", std::move(q), 0}};
    for (Case& c : privateCases) {
        ksDsaKey k{};
        k.length = uint32_t(BN_num_bytes(c.value.get()));
        BN_bn2bin(c.value.get(), k.value);
        if (k.length == 0) k.length = 1;  // the value 0 in one octet
        ASSERT_EQ(ks_dsaValidatePrivateKey(lib->gd(), &params, &k, &valid), 0u) << c.what;
        EXPECT_EQ(valid, c.valid) << c.what;
    }
    // A 161-bit prime q makes the parameters invalid.
    ksDsaParameters wide = params;
    Bn q161 = newBn();
    BN_generate_prime_ex(q161.get(), 161, 0, nullptr, nullptr, nullptr);
    wide.qLength = uint32_t(BN_bn2bin(q161.get(), wide.q));
    ASSERT_EQ(ks_dsaValidateParameters(lib->gd(), &wide, &valid), 0u);
    EXPECT_EQ(valid, 0u);
}

TEST_F(DsaGenerated, SignaturesCrossWithOpenssl) {
    const Bytes message = {'d', 's', 'a', ' ', 'd', 'a', 't', 'a'};
    const Bytes h = sha1(message);
    DsaPtr dsa = opensslDsa(params, y, &x);

    ksDsaContext ctx{};
    ksDsaSignature ours{};
    ASSERT_EQ(ks_dsaSignBegin(lib->gd(), &ctx), 0u);
    ASSERT_EQ(ks_dsaSign(lib->gd(), 3, message.data(), &ctx), 0u);
    ASSERT_EQ(ks_dsaSign(lib->gd(), uint32_t(message.size() - 3), message.data() + 3, &ctx), 0u);
    ASSERT_EQ(ks_dsaSignEnd(lib->gd(), &params, &x, &ours, &ctx), 0u);
    DSA_SIG* sig = DSA_SIG_new();
    DSA_SIG_set0(sig, bnOf(ours.r, ours.rLength).release(), bnOf(ours.s, ours.sLength).release());
    EXPECT_EQ(DSA_do_verify(h.data(), 20, sig, dsa.get()), 1);
    DSA_SIG_free(sig);

    DSA_SIG* theirs = DSA_do_sign(h.data(), 20, dsa.get());
    ASSERT_NE(theirs, nullptr);
    ksDsaSignature converted{};
    const BIGNUM *tr = nullptr, *ts = nullptr;
    DSA_SIG_get0(theirs, &tr, &ts);
    converted.rLength = uint32_t(BN_bn2bin(tr, converted.r));
    converted.sLength = uint32_t(BN_bn2bin(ts, converted.s));
    DSA_SIG_free(theirs);
    uint32_t valid = 7;
    ASSERT_EQ(ks_dsaVerifyBegin(lib->gd(), &ctx), 0u);
    ASSERT_EQ(ks_dsaVerify(lib->gd(), uint32_t(message.size()), message.data(), &ctx), 0u);
    ASSERT_EQ(ks_dsaVerifyEnd(lib->gd(), &params, &y, &converted, &ctx, &valid), 0u);
    EXPECT_EQ(valid, 1u);
    ASSERT_EQ(ks_dsaNoHashVerify(lib->gd(), &params, &y, &ours, 20, h.data(), &valid), 0u);
    EXPECT_EQ(valid, 1u);

    Bytes changed = message;
    changed[0] ^= 1;
    const Bytes h2 = sha1(changed);
    ASSERT_EQ(ks_dsaNoHashVerify(lib->gd(), &params, &y, &ours, 20, h2.data(), &valid), 0u);
    EXPECT_EQ(valid, 0u);
    // A component of more than 20 octets is not a signature.
    ksDsaSignature wide = ours;
    std::memmove(wide.r + 1, wide.r, wide.rLength);
    wide.r[0] = 0;
    wide.rLength += 1;
    if (wide.rLength > 20) {
        ASSERT_EQ(ks_dsaNoHashVerify(lib->gd(), &params, &y, &wide, 20, h.data(), &valid), 0u);
        EXPECT_EQ(valid, 0u);
    }
}

TEST_F(DsaGenerated, StreamsAndRefusals) {
    ksDsaContext ctx{};
    ksDsaSignature sig{};
    uint32_t valid = 0;
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(ks_dsaVerifyBegin(lib->gd(), &ctx), 0u);
    EXPECT_EQ(ks_dsaSign(lib->gd(), 4, data, &ctx), 0x0Au);
    EXPECT_EQ(ks_dsaSignEnd(lib->gd(), &params, &x, &sig, &ctx), 0x0Au);
    ASSERT_EQ(ks_dsaVerify(lib->gd(), 4, data, &ctx), 0u);
    ASSERT_EQ(ks_dsaSignBegin(lib->gd(), &ctx), 0u);
    ASSERT_EQ(ks_dsaSignEnd(lib->gd(), &params, &x, &sig, &ctx), 0u);
    EXPECT_EQ(ks_dsaSign(lib->gd(), 4, data, &ctx), 0x0Au) << "an ended stream";

    ksDsaParameters out{};
    const uint8_t seed[20] = {};
    ksDsaKey empty{};
    struct Case {
        const char* what;
        ksErrorCode got;
        ksErrorCode expected;
    };
    const Case cases[] = {
        {"520 bits", ks_dsaGenerateParameters(lib->gd(), 520, 0, nullptr, &out), 0xE00},
        {"1088 bits", ks_dsaGenerateParameters(lib->gd(), 1088, 0, nullptr, &out), 0xE00},
        {"seed of 19", ks_dsaGenerateParameters(lib->gd(), 512, 19, seed, &out), 4},
        {"no seed", ks_dsaGenerateParameters(lib->gd(), 512, 20, nullptr, &out), 8},
        {"no parameters", ks_dsaGenerateParameters(lib->gd(), 512, 0, nullptr, nullptr), 0xE01},
        {"no library", ks_dsaNoHashSign(nullptr, &params, &x, 4, data, &sig), 2},
        {"empty key", ks_dsaNoHashSign(lib->gd(), &params, &empty, 4, data, &sig), 0x702},
        {"no digest", ks_dsaNoHashSign(lib->gd(), &params, &x, 4, nullptr, &sig), 8},
        {"empty digest", ks_dsaNoHashSign(lib->gd(), &params, &x, 0, data, &sig), 4},
        {"no signature", ks_dsaNoHashSign(lib->gd(), &params, &x, 4, data, nullptr), 0xF01},
        {"no public key", ks_dsaNoHashVerify(lib->gd(), &params, nullptr, &sig, 4, data, &valid), 0x707},
        {"no flag", ks_dsaNoHashVerify(lib->gd(), &params, &y, &sig, 4, data, nullptr), 0x0F},
        {"no context", ks_dsaSignBegin(lib->gd(), nullptr), 5},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(DsaParameters, SameSeedAsOpenssl) {
    // A seed that gives a prime q, from our own search, then both generators on it.
    Library lib;
    Bn p = newBn(), q = newBn(), g = newBn();
    FfcSeed used{};
    ASSERT_TRUE(generateFfcParameters(lib.gd(), 512, 160, nullptr, 0, 0, &used, p.get(), q.get(), g.get()));
    ASSERT_EQ(used.length, 20u);
    ksDsaParameters ours{};
    ASSERT_EQ(ks_dsaGenerateParameters(lib.gd(), 512, 20, used.octets, &ours), 0u);

    DsaPtr dsa(DSA_new());
    int counter = -1;
    unsigned long h = 0;
    ASSERT_EQ(DSA_generate_parameters_ex(dsa.get(), 512, used.octets, 20, &counter, &h, nullptr), 1);
    const BIGNUM *tp = nullptr, *tq = nullptr, *tg = nullptr;
    DSA_get0_pqg(dsa.get(), &tp, &tq, &tg);
    EXPECT_EQ(BN_cmp(tp, bnOf(ours.p, ours.pLength).get()), 0);
    EXPECT_EQ(BN_cmp(tq, bnOf(ours.q, ours.qLength).get()), 0);
    EXPECT_EQ(BN_cmp(tg, bnOf(ours.g, ours.gLength).get()), 0);
    EXPECT_EQ(uint32_t(counter), used.counter);
}

}  // namespace
}  // namespace tess::crypto::test
