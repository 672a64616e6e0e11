// The generator against an independent Python model of its construction
// (tests/crypto/model), run as a separate process on the same seeds and
// operations; and the generator exports' check order and codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "crypto/global_data.h"
#include "crypto/kestrel.h"
#include "tests/crypto/crypto_test_util.h"
#include "tests/crypto/run_process.h"
#include "tests/support/test_home.h"

using namespace tess::crypto::test;

namespace {

std::filesystem::path modelPath() {
    if (const char* p = std::getenv("KESTREL_RNG_MODEL")) return p;
    return tess::test::sourceDir() / "tests" / "crypto" / "model" / "fips186_rng_model.py";
}

std::string codeLine(uint32_t code) {
    std::ostringstream s;
    s << "error 0x" << std::hex << code;
    return s.str();
}

// Runs the model's operation language on a ks_rngInit context.
std::vector<std::string> runLibrary(uint32_t type, const Bytes& seed, const std::vector<std::string>& ops) {
    ksRngContext ctx;
    const uint32_t rc = ks_rngInit(&ctx, type, uint32_t(seed.size()), seed.data());
    if (rc != 0) return {codeLine(rc)};
    std::vector<std::string> lines;
    for (const auto& op : ops) {
        if (op.rfind("in:", 0) == 0) {
            const Bytes in = fromHex(op.substr(3));
            const uint32_t code = ks_rngSeedFIPS186(&ctx, uint32_t(in.size()), in.data());
            lines.push_back(code == 0 ? "ok" : codeLine(code));
        } else if (op.rfind("priv:", 0) == 0) {
            const auto colon = op.find(':', 5);
            const Bytes in = fromHex(op.substr(5, colon - 5));
            Bytes out(std::stoul(op.substr(colon + 1)));
            const uint8_t dummy = 0;
            const uint32_t code = ks_rngFIPS186Private(&ctx, uint32_t(in.size()), in.empty() ? &dummy : in.data(),
                                                       uint32_t(out.size()), out.data());
            lines.push_back(code == 0 ? toHex(out) : codeLine(code));
        } else {
            Bytes out(std::stoul(op));
            const uint32_t code = ks_rngFIPS186Session(&ctx, uint32_t(out.size()), out.data());
            lines.push_back(code == 0 ? toHex(out) : codeLine(code));
        }
    }
    return lines;
}

std::vector<std::string> runModel(uint32_t type, const Bytes& seed, const std::vector<std::string>& ops) {
    std::string cmd = "/usr/bin/python3 " + modelPath().string() + " --type " + std::to_string(type) + " " +
                      (seed.empty() ? "''" : toHex(seed));
    for (const auto& op : ops) cmd += " '" + op + "'";
    ProcessResult r = runProcess(cmd);
    EXPECT_EQ(r.status, 0) << cmd;
    return r.lines;
}

class GeneratorAgainstModel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(modelPath())) {
            GTEST_SKIP() << "generator model not present at " << modelPath();
        }
    }
};

TEST_F(GeneratorAgainstModel, SameBytesForEveryTypeAndOperationSequence) {
    Bytes seed32(32);
    for (size_t i = 0; i < 32; ++i) seed32[i] = uint8_t(0x11 * (i % 15) + i);
    struct Case {
        uint32_t type;
        Bytes seed;
        std::vector<std::string> ops;
    } cases[] = {
        {1, seed32, {"32", "11"}},
        {1, seed32, {"43"}},
        {1, seed32, {"45", "0", "1", "20", "19", "21"}},
        {1, fromHex("0001"), {"in:abcd", "20", "in:00ff", "in:0000", "in:ffff", "7"}},
        {1, seed32, {"priv:abcd:33", "priv::20", "priv:00:0", "priv:0000:5", "40"}},
        {2, seed32, {"20", "20", "in:0102030405", "61"}},
        {3, fromHex("ff00"), {"100", "priv:55:3", "3"}},
        {1, fromHex("00"), {"1"}},
        {1, Bytes(32, 0xFF), {"1"}},
        {0, seed32, {"1"}},
        {4, seed32, {"1"}},
        {4, fromHex("0000"), {"1"}},
    };
    for (const auto& c : cases) {
        const auto model = runModel(c.type, c.seed, c.ops);
        const auto library = runLibrary(c.type, c.seed, c.ops);
        EXPECT_EQ(library, model) << "type " << c.type << " seed " << toHex(c.seed);
    }
}

TEST_F(GeneratorAgainstModel, SplitRequestsDifferFromOneRequest) {
    Bytes seed(32, 0x42);
    const auto split = runLibrary(1, seed, {"32", "11"});
    const auto whole = runLibrary(1, seed, {"43"});
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0], whole[0].substr(0, 64));
    EXPECT_NE(split[1], whole[0].substr(64));
    EXPECT_EQ(split, runModel(1, seed, {"32", "11"}));
}

TEST_F(GeneratorAgainstModel, LibraryContextIsSeededFromTheOptionsList) {
    ksOptionsList options{};
    options.rngType = 0;
    options.seedLength = 32;
    for (int i = 0; i < 32; ++i) options.seed[i] = uint8_t(200 - i);
    std::vector<uint8_t> block(KS_GLOBAL_DATA_SIZE);
    auto* gd = reinterpret_cast<ksGlobalData*>(block.data());
    ASSERT_EQ(ks_initialize(nullptr, &options, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr), 0u);
    Bytes a(25), b(8);
    ASSERT_EQ(a3391(gd, 25, a.data()), 0u);
    ASSERT_EQ(a1393(gd, b.data(), 8), 0u);
    const Bytes seed(options.seed, options.seed + 32);
    EXPECT_EQ(std::vector<std::string>({toHex(a), toHex(b)}), runModel(1, seed, {"25", "8"}));
    // The head of the library context is itself a generator context.
    Bytes c(5);
    ASSERT_EQ(ks_rngFIPS186Session(reinterpret_cast<ksRngContext*>(gd), 5, c.data()), 0u);
    EXPECT_EQ(toHex(c), runModel(1, seed, {"25", "8", "5"})[2]);
    ks_end(gd);
}

TEST(Generator, CheckOrderAndCodes) {
    ksRngContext ctx;
    const uint8_t seed[2] = {0, 1};
    const uint8_t zeros[2] = {0, 0};
    uint8_t out[8];
    uint32_t size = 0;
    EXPECT_EQ(ks_rngSize(nullptr), 13u);
    EXPECT_EQ(ks_rngSize(&size), 0u);
    EXPECT_EQ(size, 148u);

    struct InitCase {
        ksRngContext* ctx;
        uint32_t type;
        uint32_t length;
        const uint8_t* seed;
        uint32_t code;
    } inits[] = {
        {nullptr, 1, 2, seed, 2},   {&ctx, 1, 2, nullptr, 11}, {&ctx, 1, 0, seed, 6},
        {&ctx, 9, 2, zeros, 0x801}, {&ctx, 0, 2, seed, 16},    {&ctx, 4, 2, seed, 16},
    };
    for (const auto& c : inits) {
        EXPECT_EQ(ks_rngInit(c.ctx, c.type, c.length, c.seed), c.code);
    }

    std::memset(&ctx, 0, sizeof ctx);
    EXPECT_EQ(ks_rngFIPS186Session(nullptr, 8, out), 2u);
    EXPECT_EQ(ks_rngFIPS186Session(&ctx, 8, out), 1u);
    EXPECT_EQ(ks_rngSeedFIPS186(&ctx, 2, seed), 1u);
    EXPECT_EQ(ks_rngFIPS186Private(&ctx, 2, seed, 8, out), 1u);
    ASSERT_EQ(ks_rngInit(&ctx, 1, 2, seed), 0u);
    EXPECT_EQ(ks_rngFIPS186Session(&ctx, 0, nullptr), 0u);
    EXPECT_EQ(ks_rngFIPS186Session(&ctx, 8, nullptr), 13u);
    EXPECT_EQ(ks_rngSeedFIPS186(&ctx, 2, nullptr), 11u);
    EXPECT_EQ(ks_fipsRngOptionalInput(&ctx, 0, seed), 6u);
    EXPECT_EQ(ks_fipsRngOptionalInput(&ctx, 2, zeros), 0x801u);
    EXPECT_EQ(ks_rngFIPS186Private(&ctx, 2, nullptr, 0, nullptr), 0u);
    EXPECT_EQ(ks_rngFIPS186Private(&ctx, 2, seed, 8, nullptr), 13u);
    EXPECT_EQ(ks_rngFIPS186Private(&ctx, 2, nullptr, 8, out), 11u);
    EXPECT_EQ(ks_rngFIPS186Private(&ctx, 0, nullptr, 8, out), 0u);
}

TEST(Generator, RejectedCallsLeaveTheStateUnchanged) {
    ksRngContext a, b;
    const uint8_t seed[3] = {9, 8, 7};
    const uint8_t ones[3] = {0xFF, 0xFF, 0xFF};
    ks_rngInit(&a, 1, 3, seed);
    ks_rngInit(&b, 1, 3, seed);
    uint8_t x[20], y[20];
    EXPECT_EQ(ks_rngSeedFIPS186(&a, 3, ones), 0x801u);
    EXPECT_EQ(ks_rngFIPS186Private(&a, 3, ones, 20, x), 0x801u);
    EXPECT_EQ(ks_rngFIPS186Private(&a, 3, ones, 0, x), 0u);
    ks_rngFIPS186Session(&a, 20, x);
    ks_rngFIPS186Session(&b, 20, y);
    EXPECT_EQ(std::memcmp(x, y, 20), 0);
}

TEST(Generator, StandaloneContextIsNeverReadPastItsEnd) {
    // Exactly 148 bytes on the heap: ASan reports any read of the word after it.
    auto block = std::make_unique<uint8_t[]>(KS_RNG_CONTEXT_SIZE);
    auto* ctx = reinterpret_cast<ksRngContext*>(block.get());
    const uint8_t seed[4] = {1, 2, 3, 4};
    for (uint32_t type : {2u, 3u}) {
        ASSERT_EQ(ks_rngInit(ctx, type, 4, seed), 0u);
        uint8_t out[24];
        EXPECT_EQ(ks_rngFIPS186Session(ctx, 24, out), 0u);
    }
}

TEST(Generator, ForgedOperationReferencesAreRefused) {
    ksRngContext ctx;
    const uint8_t seed[2] = {5, 6};
    ASSERT_EQ(ks_rngInit(&ctx, 1, 2, seed), 0u);
    auto* layout = reinterpret_cast<RngContextLayout*>(&ctx);
    layout->generateId ^= 1;
    layout->addInputId ^= 1;
    uint8_t out[4];
    EXPECT_EQ(ks_rngFIPS186Session(&ctx, 4, out), 3u);
    EXPECT_EQ(ks_rngSeedFIPS186(&ctx, 2, seed), 3u);
}

TEST(Generator, RandomIntegerLiesInRange) {
    ksRngContext ctx;
    const uint8_t seed[2] = {3, 4};
    ASSERT_EQ(ks_rngInit(&ctx, 1, 2, seed), 0u);
    struct Case {
        std::vector<uint16_t> n;
    } cases[] = {{{2}}, {{3}}, {{0xFFFF, 0x7FFF}}, {std::vector<uint16_t>(16, 0xFFFF)}};
    for (const auto& c : cases) {
        ksIntGeneral n{};
        n.count = uint32_t(c.n.size());
        std::copy(c.n.begin(), c.n.end(), n.digits);
        for (int i = 0; i < 50; ++i) {
            ksIntReduced out{};
            ASSERT_EQ(a3364(&ctx, KS_INT(&n), 0, nullptr, &out), 0u);
            ASSERT_GE(out.count, 1u);
            ASSERT_LE(out.count, n.count);
            if (out.count == n.count) {
                bool below = false;
                for (uint32_t d = n.count; d-- > 0;) {
                    if (out.digits[d] != n.digits[d]) {
                        below = out.digits[d] < n.digits[d];
                        break;
                    }
                }
                ASSERT_TRUE(below);
            }
        }
    }
    ksIntGeneral one{};
    one.count = 1;
    one.digits[0] = 1;
    ksIntReduced out;
    EXPECT_EQ(a3364(&ctx, KS_INT(&one), 0, nullptr, &out), 1u);
}

}  // namespace
