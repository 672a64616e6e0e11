// Kestrel's hashes and ciphers against OpenSSL's EVP in the same run, at
// 64 B, 1 KiB and 16 KiB; prints each pair's throughput ratio at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crypto/kestrel.h"
#include "crypto/hash/sha1_internal.h"

namespace {

constexpr int kSizes[] = {64, 1024, 16384};

std::vector<uint8_t> data(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 31 + 7);
    return v;
}

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

void opensslDigest(benchmark::State& state, const char* name) {
    const auto in = data(size_t(state.range(0)));
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    MdCtx ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx.get(), md, nullptr);
        EVP_DigestUpdate(ctx.get(), in.data(), in.size());
        EVP_DigestFinal_ex(ctx.get(), out, &n);
        benchmark::DoNotOptimize(out);
    }
    EVP_MD_free(md);
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void opensslCipher(benchmark::State& state, const char* name, size_t keyLength) {
    const auto in = data(size_t(state.range(0)));
    std::vector<uint8_t> out(in.size() + 16);
    const auto key = data(keyLength);
    const auto iv = data(8);
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (cipher == nullptr) {
        state.SkipWithError("cipher not available");
        return;
    }
    CipherCtx ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(ctx.get(), int(keyLength));
    EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.data());
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int n = 0;
    for (auto _ : state) {
        EVP_EncryptUpdate(ctx.get(), out.data(), &n, in.data(), int(in.size()));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_free(cipher);
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void opensslHmac(benchmark::State& state) {
    const auto in = data(size_t(state.range(0)));
    const auto key = data(20);
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    for (auto _ : state) {
        HMAC(EVP_sha1(), key.data(), int(key.size()), in.data(), in.size(), out, &n);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

template <typename Ctx>
void kestrelDigest(benchmark::State& state, ksErrorCode (*begin)(ksGlobalData*, Ctx*),
                   ksErrorCode (*hash)(ksGlobalData*, uint32_t, const uint8_t*, Ctx*),
                   ksErrorCode (*end)(ksGlobalData*, Ctx*, ksDigest*)) {
    const auto in = data(size_t(state.range(0)));
    Ctx ctx;
    ksDigest d;
    for (auto _ : state) {
        begin(nullptr, &ctx);
        hash(nullptr, uint32_t(in.size()), in.data(), &ctx);
        end(nullptr, &ctx, &d);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void kestrelSha1Portable(benchmark::State& state) {
    // Whole blocks through the portable compression, as on a CPU without SHA instructions.
    const auto in = data(size_t(state.range(0)));
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    for (auto _ : state) {
        tess::crypto::sha1CompressPortable(h, in.data(), in.size() / 64);
        benchmark::DoNotOptimize(h);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void kestrelHmac(benchmark::State& state) {
    const auto in = data(size_t(state.range(0)));
    const auto key = data(20);
    ksDigest d;
    for (auto _ : state) {
        ks_hmacSha1Message(nullptr, 20, key.data(), uint32_t(in.size()), in.data(), &d);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void kestrelArc4(benchmark::State& state) {
    const auto in = data(size_t(state.range(0)));
    std::vector<uint8_t> out(in.size());
    ksArc4ContextRequest r{};
    r.keyLength = 16;
    std::memcpy(r.key, data(16).data(), 16);
    ksArc4Context ctx;
    ks_arc4Begin(nullptr, &r, &ctx);
    for (auto _ : state) {
        ks_arc4Encrypt(nullptr, &ctx, in.data(), uint32_t(in.size()), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void kestrelDes(benchmark::State& state, uint32_t algorithm) {
    const auto in = data(size_t(state.range(0)));
    std::vector<uint8_t> out(in.size());
    ksDesContextRequest r{};
    r.algorithm = algorithm;
    r.keyCount = 4;
    if (algorithm == 1) r.keyCount = 2;
    const auto keys = data(32);
    std::memcpy(r.keys, keys.data(), 32);
    ksDesContext ctx;
    if (ks_desBegin(nullptr, &r, &ctx) != 0) {
        state.SkipWithError("begin failed");
        return;
    }
    for (auto _ : state) {
        ks_desEncrypt(nullptr, &ctx, in.data(), uint32_t(in.size()), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// Collects each run's time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions the median stands for the pair; otherwise the single run.
        for (const auto& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Iteration || median) {
                times_[r.run_name.str()] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios(const std::vector<std::string>& families) const {
        std::printf("\nThroughput of Kestrel relative to OpenSSL (OpenSSL = 1.00):\n");
        std::printf("%-16s %8s %8s %8s\n", "", "64 B", "1 KiB", "16 KiB");
        for (const auto& f : families) {
            std::printf("%-16s", f.c_str());
            for (int size : kSizes) {
                const auto k = times_.find("Kestrel/" + f + "/" + std::to_string(size));
                const auto o = times_.find("OpenSSL/" + f + "/" + std::to_string(size));
                const std::string ref = f == "SHA1-portable" ? "OpenSSL/SHA1/" : "";
                const auto o2 = ref.empty() ? o : times_.find(ref + std::to_string(size));
                if (k == times_.end() || o2 == times_.end() || k->second <= 0) {
                    std::printf(" %8s", "-");
                } else {
                    std::printf(" %8.2f", o2->second / k->second);
                }
            }
            std::printf("\n");
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    std::printf("SHA-1 compression: %s\n", tess::crypto::sha1UsesShaExtensions() ? "CPU SHA extensions" : "portable");
    auto reg = [](const std::string& name, auto fn) {
        auto* b = benchmark::RegisterBenchmark(name.c_str(), fn);
        for (int s : kSizes) b->Arg(s);
    };
    reg("Kestrel/SHA1", [](benchmark::State& s) { kestrelDigest(s, ks_sha1Begin, ks_sha1Hash, ks_sha1End); });
    reg("OpenSSL/SHA1", [](benchmark::State& s) { opensslDigest(s, "SHA1"); });
    reg("Kestrel/SHA1-portable", kestrelSha1Portable);
    reg("Kestrel/MD5", [](benchmark::State& s) { kestrelDigest(s, ks_md5Begin, ks_md5Hash, ks_md5End); });
    reg("OpenSSL/MD5", [](benchmark::State& s) { opensslDigest(s, "MD5"); });
    reg("Kestrel/HMAC-SHA1", kestrelHmac);
    reg("OpenSSL/HMAC-SHA1", opensslHmac);
    reg("Kestrel/ARC4", kestrelArc4);
    reg("OpenSSL/ARC4", [](benchmark::State& s) { opensslCipher(s, "RC4", 16); });
    reg("Kestrel/DES-CBC", [](benchmark::State& s) { kestrelDes(s, 1); });
    reg("OpenSSL/DES-CBC", [](benchmark::State& s) { opensslCipher(s, "DES-CBC", 8); });
    reg("Kestrel/DESX-CBC", [](benchmark::State& s) { kestrelDes(s, 5); });
    reg("OpenSSL/DESX-CBC", [](benchmark::State& s) { opensslCipher(s, "DESX-CBC", 24); });
    reg("Kestrel/3DES-CBC", [](benchmark::State& s) { kestrelDes(s, 3); });
    reg("OpenSSL/3DES-CBC", [](benchmark::State& s) { opensslCipher(s, "DES-EDE3-CBC", 24); });

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({"SHA1", "SHA1-portable", "MD5", "HMAC-SHA1", "ARC4", "DES-CBC", "DESX-CBC", "3DES-CBC"});
    benchmark::Shutdown();
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (base) OSSL_PROVIDER_unload(base);
    return 0;
}
