#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/core/module.h"
#include "platform/hxaes/hxaes.h"
#include "tests/support/test_home.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string hex(const unsigned char* p, size_t n) {
    std::string out;
    char buf[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", p[i]);
        out += buf;
    }
    return out;
}

Bytes readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The command's standard output, trimmed of its line end.
std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        if (pclose(p) != 0) return "failed: " + out;
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

class Hxaes : public ::testing::Test {
protected:
    void SetUp() override {
        AESUninitialize();
        ASSERT_EQ(AESInitialize(1), 0);
    }
    void TearDown() override { AESUninitialize(); }

    // Seals or opens; returns the result code and fills `out` from the module's buffer.
    static int call(bool seal, const Bytes& in, Bytes& out) {
        unsigned char* p = nullptr;
        unsigned int n = 12345;
        const int r = (seal ? AESEncrypt : AESDecrypt)(in.data(), static_cast<unsigned>(in.size()), 0, &p, &n);
        out.clear();
        if (r != 0) {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(n, 0u);
            return r;
        }
        EXPECT_NE(p, nullptr);
        out.assign(p, p + n);
        EXPECT_EQ(p[n], 0);  // the zero after the data
        EXPECT_EQ(GlobalFree(p), nullptr);
        return r;
    }
};

TEST_F(Hxaes, RoundTripsOfEveryShape) {
    ASSERT_EQ(AESSetKey("0123456789abcdef0123456789abcdef"), 0);
    for (size_t length : {0, 1, 15, 16, 17, 31, 32, 100, 4096}) {
        Bytes plain(length);
        for (size_t i = 0; i < length; ++i) plain[i] = static_cast<unsigned char>(i * 7);  // zeros included
        Bytes sealed, again, opened;
        ASSERT_EQ(call(true, plain, sealed), 0) << length;
        EXPECT_EQ(sealed.size(), 16 + 16 * (length / 16 + 1) + 16) << length;
        ASSERT_EQ(call(true, plain, again), 0);
        EXPECT_NE(sealed, again) << "each seal takes a fresh IV";
        ASSERT_EQ(call(false, sealed, opened), 0) << length;
        EXPECT_EQ(opened, plain) << length;
    }
}

TEST_F(Hxaes, WrongKeyAndDamageFailCleanly) {
    const Bytes plain{'p', 'a', 's', 's', 'w', 'o', 'r', 'd'};
    ASSERT_EQ(AESSetKey("right key"), 0);
    Bytes sealed, out;
    ASSERT_EQ(call(true, plain, sealed), 0);

    ASSERT_EQ(AESSetKey("wrong key"), 0);
    EXPECT_EQ(call(false, sealed, out), 5);
    ASSERT_EQ(AESSetKey("right ke"), 0);
    EXPECT_EQ(call(false, sealed, out), 5);

    ASSERT_EQ(AESSetKey("right key"), 0);
    for (size_t at : {size_t{0}, size_t{15}, size_t{16}, size_t{31}, sealed.size() - 16, sealed.size() - 1}) {
        Bytes damaged = sealed;
        damaged[at] ^= 0x01;
        EXPECT_EQ(call(false, damaged, out), 5) << "byte " << at;
    }
    for (size_t cut : {size_t{0}, size_t{1}, size_t{47}, sealed.size() - 1}) {
        const Bytes shortened(sealed.begin(), sealed.begin() + static_cast<long>(cut));
        EXPECT_EQ(call(false, shortened, out), 5) << "length " << cut;
    }
    Bytes longer = sealed;
    longer.push_back(0);
    EXPECT_EQ(call(false, longer, out), 5);
    ASSERT_EQ(call(false, sealed, out), 0);
    EXPECT_EQ(out, plain);
}

TEST_F(Hxaes, StateAndArguments) {
    Bytes out;
    const Bytes data{1, 2, 3};
    EXPECT_EQ(AESInitialize(1), 2);
    EXPECT_EQ(call(true, data, out), 4);  // no key yet
    EXPECT_EQ(AESSetKey(""), 1);
    EXPECT_EQ(AESSetKey(nullptr), 1);
    EXPECT_EQ(AESSetKey(std::string(1025, 'k').c_str()), 1);
    ASSERT_EQ(AESSetKey("k"), 0);
    unsigned char* p = reinterpret_cast<unsigned char*>(1);
    unsigned int n = 0;
    EXPECT_EQ(AESEncrypt(data.data(), 3, 1, &p, &n), 1);  // flags
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(AESEncrypt(nullptr, 3, 0, &p, &n), 1);
    EXPECT_EQ(AESEncrypt(data.data(), 3, 0, nullptr, &n), 1);
    EXPECT_EQ(AESDecrypt(data.data(), 3, 0, &p, nullptr), 1);

    ASSERT_EQ(AESUninitialize(), 0);
    EXPECT_EQ(AESUninitialize(), 3);
    EXPECT_EQ(call(true, data, out), 3);
    EXPECT_EQ(AESSetKey("k"), 3);
    ASSERT_EQ(AESInitialize(1), 0);
    EXPECT_EQ(call(true, data, out), 4) << "the key does not survive AESUninitialize";
}

TEST_F(Hxaes, KeysCanBeReadAndGenerated) {
    ASSERT_EQ(AESSetKey("abc"), 0);
    unsigned char buf[80];
    unsigned int size = 3;
    EXPECT_EQ(AESGetKey(buf, &size), 7);
    EXPECT_EQ(size, 4u);
    size = sizeof buf;
    ASSERT_EQ(AESGetKey(buf, &size), 0);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "abc");

    char text[65];
    EXPECT_EQ(AESGenerateKeyA(text, 64), 1);
    ASSERT_EQ(AESGenerateKeyA(text, sizeof text), 0);
    EXPECT_EQ(std::string(text).find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(std::string(text).size(), 64u);
    Bytes sealed, out;
    ASSERT_EQ(call(true, Bytes{'x'}, sealed), 0);
    ASSERT_EQ(AESSetKey("other"), 0);
    ASSERT_EQ(AESSetKey(text), 0);  // the generated text selects the same key again
    ASSERT_EQ(call(false, sealed, out), 0);
    EXPECT_EQ(out, Bytes{'x'});

    unsigned char raw[32];
    EXPECT_EQ(AESGenerateKeyN(raw, 8), 1);
    ASSERT_EQ(AESGenerateKeyN(raw, sizeof raw), 0);
    size = sizeof buf;
    ASSERT_EQ(AESGetKey(buf, &size), 0);
    ASSERT_EQ(size, sizeof raw);
    EXPECT_EQ(hex(buf, size), hex(raw, sizeof raw));
}

// The sealed form checked against OpenSSL's command line both ways.
TEST_F(Hxaes, MatchesOpensslCommandLine) {
    tess::test::TempHome home;
    const char* key = "handheld-security-info";
    unsigned char digest[SHA512_DIGEST_LENGTH];
    SHA512(reinterpret_cast<const unsigned char*>(key), std::strlen(key), digest);
    const std::string cipherKey = hex(digest, 32), macKey = hex(digest + 32, 32);
    const std::string plainText = "my secret password, 33 bytes long";
    const Bytes plain(plainText.begin(), plainText.end());
    const auto dir = home.path();
    ASSERT_EQ(AESSetKey(key), 0);

    // Ours -> openssl enc -d, and the tag -> openssl's HMAC.
    Bytes sealed;
    ASSERT_EQ(call(true, plain, sealed), 0);
    const Bytes body(sealed.begin() + 16, sealed.end() - 16);
    const Bytes signedPart(sealed.begin(), sealed.end() - 16);
    writeFile(dir / "body", body);
    writeFile(dir / "signed", signedPart);
    const std::string iv = hex(sealed.data(), 16);
    const std::string dec = run("openssl enc -d -aes-256-cbc -K " + cipherKey + " -iv " + iv + " -in '" +
                                (dir / "body").string() + "' -out '" + (dir / "plain").string() + "'");
    ASSERT_EQ(dec, "");
    EXPECT_EQ(readFile(dir / "plain"), plain);
    const std::string mac =
        run("openssl dgst -sha256 -mac HMAC -macopt hexkey:" + macKey + " -r '" + (dir / "signed").string() + "'");
    EXPECT_EQ(mac.substr(0, 32), hex(sealed.data() + sealed.size() - 16, 16));

    // A known case made by openssl enc -> ours.
    const std::string fixedIv = "000102030405060708090a0b0c0d0e0f";
    writeFile(dir / "in", plain);
    ASSERT_EQ(run("openssl enc -aes-256-cbc -K " + cipherKey + " -iv " + fixedIv + " -in '" + (dir / "in").string() +
                  "' -out '" + (dir / "enc").string() + "'"),
              "");
    Bytes made;
    for (int i = 0; i < 16; ++i) made.push_back(static_cast<unsigned char>(i));
    const Bytes enc = readFile(dir / "enc");
    ASSERT_EQ(enc.size(), 48u);
    made.insert(made.end(), enc.begin(), enc.end());
    writeFile(dir / "made", made);
    const std::string madeMac =
        run("openssl dgst -sha256 -mac HMAC -macopt hexkey:" + macKey + " -r '" + (dir / "made").string() + "'");
    ASSERT_GE(madeMac.size(), 32u);
    for (size_t i = 0; i < 32; i += 2)
        made.push_back(static_cast<unsigned char>(std::stoi(madeMac.substr(i, 2), nullptr, 16)));
    Bytes opened;
    ASSERT_EQ(call(false, made, opened), 0);
    EXPECT_EQ(opened, plain);
}

TEST(HxaesModule, BindsByNameWithAllEightExports) {
    HMODULE m = LoadLibraryA("HXAES.dll");
    ASSERT_NE(m, nullptr);
    for (const char* name : {"AESInitialize", "AESSetKey", "AESGetKey", "AESGenerateKeyN", "AESGenerateKeyA",
                             "AESEncrypt", "AESDecrypt", "AESUninitialize"})
        EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
    auto init = reinterpret_cast<int (*)(int)>(GetProcAddress(m, "AESInitialize"));
    auto uninit = reinterpret_cast<int (*)()>(GetProcAddress(m, "AESUninitialize"));
    ASSERT_TRUE(init && uninit);
    const int r = init(1);
    EXPECT_TRUE(r == 0 || r == 2) << r;
    EXPECT_EQ(uninit(), 0);
    FreeLibrary(m);
}

}  // namespace
