// The sealing coder: sealed texts read back by OpenSSL's command line, key records,
// round trips, the text layout and sizes, and the refusals of damaged input.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/sealing_coder.h"
#include "tests/crypto/crypto_test_util.h"
#include "tests/crypto/run_process.h"

using namespace tess;
using tess::crypto::test::Bytes;

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

Bytes fixedKey() {
    return tess::crypto::test::fromHex(
        "0123456789abcdef"
        "f1e2d3c4b5a69788"
        "1122334455667788"
        "a0b1c2d3e4f50617");
}

Bytes rawRecord(const Bytes& key) {
    Bytes record(1 + key.size(), kSealKeyRaw);
    std::copy(key.begin(), key.end(), record.begin() + 1);
    return record;
}

// OpenSSL's base64 of the bytes, as a form 1 record.
Bytes textRecord(const Bytes& key) {
    std::string text(4 * ((key.size() + 2) / 3) + 1, '\0');
    EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), key.data(), int(key.size()));
    Bytes record(1 + text.size(), kSealKeyText);
    std::copy(text.begin(), text.end(), record.begin() + 1);  // NUL included
    return record;
}

// Decoding by OpenSSL, after dropping the line breaks and turning "}" into "=".
Bytes opensslDecode(std::string text) {
    std::string clean;
    for (char c : text) {
        if (c != '\r' && c != '\n') clean += c == '}' ? '=' : c;
    }
    Bytes out(clean.size());
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(clean.data()), int(clean.size()));
    EXPECT_GE(n, 0) << clean;
    size_t pads = 0;
    while (pads < clean.size() && clean[clean.size() - 1 - pads] == '=') ++pads;
    out.resize(n < 0 ? 0 : size_t(n) - pads);
    return out;
}

class Sealing : public ::testing::Test {
protected:
    SealContext* context = nullptr;
    Bytes record = rawRecord(fixedKey());

    void SetUp() override { ASSERT_EQ(CreateSealContext(&context, record.data()), 0); }
    void TearDown() override {
        if (context) {
            EXPECT_EQ(DestroySealContext(&context), 0);
        }
        EXPECT_EQ(context, nullptr);
    }

    std::string seal(const Bytes& text, bool lineBreaks = true, bool brace = false, SealContext* with = nullptr) {
        char* out = nullptr;
        uint16_t length = 0;
        EXPECT_EQ(SealText(with ? with : context, text.data(), uint16_t(text.size()), lineBreaks, brace, &out, &length),
                  0);
        Owned<char> owned(out);
        if (!out) return {};
        EXPECT_EQ(std::strlen(out), length);
        return std::string(out, length);
    }

    // Result code and text of unsealing a copy of sealed.
    std::pair<int, Bytes> unseal(const std::string& sealed, SealContext* with = nullptr) {
        std::string buffer = sealed;
        uint8_t* out = nullptr;
        uint16_t length = 0;
        const int rc = UnsealText(with ? with : context, buffer.data(), uint16_t(buffer.size()), &out, &length);
        Owned<uint8_t> owned(out);
        if (!out) {
            EXPECT_EQ(length, 0);
            return {rc, {}};
        }
        EXPECT_EQ(out[length], 0) << "the text is followed by a zero byte";
        return {rc, Bytes(out, out + length)};
    }

    // A sealed text for the given decoded bytes.
    static std::string encode(const Bytes& bytes) {
        std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), int(bytes.size()));
        text.resize(std::strlen(text.c_str()));
        return text;
    }
};

Bytes textOf(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t('a' + i % 26);
    return b;
}

// OpenSSL's DESX-CBC (key, input whitening, output whitening; then the IV) on the
// cipher block of a sealed text.
Bytes opensslDecrypt(const Bytes& key, const Bytes& cipher) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("sealing_" + std::to_string(getpid()) + "_" + std::to_string(cipher.size()));
    std::filesystem::create_directories(dir);
    const auto in = dir / "cipher.bin";
    const auto out = dir / "plain.bin";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(cipher.data()), std::streamsize(cipher.size()));
    const std::string command = "openssl enc -desx-cbc -d -nopad -provider legacy -provider default -K " +
                                tess::crypto::test::toHex(key.data(), 24) + " -iv " +
                                tess::crypto::test::toHex(key.data() + 24, 8) + " -in " + in.string() + " -out " +
                                out.string() + " 2>&1";
    const auto result = tess::crypto::test::runProcess(command);
    EXPECT_EQ(result.status, 0) << command << (result.lines.empty() ? "" : "\n" + result.lines[0]);
    std::ifstream file(out, std::ios::binary);
    Bytes plain((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove_all(dir);
    return plain;
}

TEST_F(Sealing, OpensslReadsMarkerTextFillerAndLength) {
    struct Case {
        size_t length;
        size_t filler;
    };
    for (const Case c : {Case{0, 4}, Case{4, 0}, Case{5, 7}, Case{11, 1}, Case{300, 0}, Case{301, 7}}) {
        SCOPED_TRACE(c.length);
        const Bytes text = textOf(c.length);
        const Bytes decoded = opensslDecode(seal(text));
        ASSERT_GE(decoded.size(), 2u);
        EXPECT_EQ((decoded[0] << 8) | decoded[1], int(c.length + 4));
        const Bytes plain = opensslDecrypt(fixedKey(), Bytes(decoded.begin() + 2, decoded.end()));
        ASSERT_EQ(plain.size(), 4 + c.length + c.filler);
        EXPECT_EQ(std::string(plain.begin(), plain.begin() + 4), "FJDJ");
        EXPECT_EQ(Bytes(plain.begin() + 4, plain.begin() + 4 + long(c.length)), text);
        EXPECT_EQ(Bytes(plain.end() - long(c.filler), plain.end()), Bytes(c.filler, 0x01));
    }
}

TEST_F(Sealing, TextLayoutLineBreaksAndPadding) {
    // 301 bytes: 314 decoded bytes, one pad, 420 characters (a line break falls on the
    // end); 310 bytes: 322 decoded bytes, two pads, 432 characters.
    for (const auto& [n, pads] : {std::pair{301, 1}, std::pair{310, 2}}) {
        SCOPED_TRACE(n);
        const Bytes text = textOf(size_t(n));
        const std::string broken = seal(text, true, false);
        const std::string unbroken = seal(text, false, false);
        const std::string braced = seal(text, false, true);
        EXPECT_EQ(unbroken.find('\r'), std::string::npos);
        EXPECT_EQ(unbroken.substr(unbroken.size() - size_t(pads)), std::string(size_t(pads), '='));
        EXPECT_EQ(braced.substr(unbroken.size() - size_t(pads)), std::string(size_t(pads), '}'));
        EXPECT_EQ(braced.substr(0, braced.size() - size_t(pads)), unbroken.substr(0, unbroken.size() - size_t(pads)));
        // CR LF after every 70 characters, and one more at the end.
        std::string rebuilt;
        for (size_t i = 0; i < unbroken.size(); i += 70) {
            rebuilt += unbroken.substr(i, 70);
            if (i + 70 <= unbroken.size()) rebuilt += "\r\n";
        }
        EXPECT_EQ(broken, rebuilt + "\r\n");
        EXPECT_EQ(opensslDecode(broken), opensslDecode(unbroken));
    }
    // Short texts keep one line and no final break.
    const std::string shortText = seal(textOf(20), true, false);
    EXPECT_EQ(shortText.find('\r'), std::string::npos);
    EXPECT_EQ(shortText.size(), 4 * ((2 + 24 + 2) / 3u));
}

TEST_F(Sealing, RoundTripsWithEveryLayout) {
    for (size_t n : {0, 1, 3, 4, 5, 8, 67, 68, 200, 4000}) {
        for (bool lineBreaks : {false, true}) {
            for (bool brace : {false, true}) {
                SCOPED_TRACE(testing::Message() << n << " " << lineBreaks << brace);
                const Bytes text = textOf(n);
                auto [rc, back] = unseal(seal(text, lineBreaks, brace));
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(back, text);
            }
        }
    }
    // Sealing restarts the chain: the same text seals the same way twice.
    EXPECT_EQ(seal(textOf(50)), seal(textOf(50)));
    // The largest text that fits the 16-bit sealed length.
    const uint16_t most = SealedTextCapacity(65535);
    EXPECT_EQ(unseal(seal(textOf(most))).second, textOf(most));
}

TEST_F(Sealing, OtherKeyAndDamagedTextsAreRefused) {
    Bytes otherKey = fixedKey();
    otherKey[5] ^= 0x40;
    Bytes otherRecord = rawRecord(otherKey);
    SealContext* other = nullptr;
    ASSERT_EQ(CreateSealContext(&other, otherRecord.data()), 0);
    const std::string sealed = seal(textOf(30));
    EXPECT_EQ(unseal(sealed, other).first, kSealDamaged);
    EXPECT_EQ(DestroySealContext(&other), 0);

    const Bytes decoded = opensslDecode(sealed);  // 2 + 40 bytes
    auto withWord = [&](uint16_t word) {
        Bytes b = decoded;
        b[0] = uint8_t(word >> 8);
        b[1] = uint8_t(word);
        return encode(b);
    };
    struct Case {
        const char* what;
        std::string text;
        int rc;
        size_t length;
    };
    const Case cases[] = {
        {"empty", "", 0, 0},
        {"only characters outside the alphabet", "\r\n\t*#-", 0, 0},
        {"one decoded byte", "QQ==", kSealDamaged, 0},
        {"length word only", encode({0, 4}), kSealDamaged, 0},
        {"cipher not whole blocks", encode(Bytes(decoded.begin(), decoded.end() - 3)), kSealDamaged, 0},
        {"inner length below the marker", withWord(3), kSealDamaged, 0},
        {"inner length is the marker", withWord(4), 0, 0},
        {"inner length past the cipher is cut", withWord(0xFFFF), 0, 36},
        {"a cipher byte changed",
         [&] {
             Bytes b = decoded;
             b[2] ^= 1;
             return encode(b);
         }(),
         kSealDamaged, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto [rc, text] = unseal(c.text);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(text.size(), c.length);
    }
    // A cut length word still gives the text from its start.
    EXPECT_EQ(unseal(withWord(0xFFFF)).second, [&] {
        Bytes t = textOf(30);
        t.resize(36, 0x01);
        return t;
    }());
    // The context stays usable after each refusal.
    EXPECT_EQ(unseal(sealed).second, textOf(30));
}

TEST_F(Sealing, CallsOutsideTheRulesAreRefused) {
    SealContext* unkeyed = nullptr;
    ASSERT_EQ(CreateSealContext(&unkeyed, nullptr), 0);
    char* sealed = reinterpret_cast<char*>(1);
    uint16_t sealedLength = 7;
    const uint8_t text[4] = {1, 2, 3, 4};
    EXPECT_EQ(SealText(unkeyed, text, 4, true, false, &sealed, &sealedLength), kSealNotReady);
    EXPECT_EQ(sealed, nullptr);
    EXPECT_EQ(sealedLength, 0);
    std::string buffer = seal(textOf(10));
    uint8_t* plain = nullptr;
    uint16_t plainLength = 0;
    EXPECT_EQ(UnsealText(unkeyed, buffer.data(), uint16_t(buffer.size()), &plain, &plainLength), kSealNotReady);
    EXPECT_EQ(SealText(nullptr, text, 4, true, false, &sealed, &sealedLength), kSealNotReady);
    EXPECT_EQ(SealText(context, nullptr, 4, true, false, &sealed, &sealedLength), kSealNotReady);
    // A text whose sealed form would pass 65535 characters.
    const uint16_t most = SealedTextCapacity(65535);
    const Bytes tooLong = textOf(most + 8u);
    EXPECT_EQ(SealText(context, tooLong.data(), uint16_t(tooLong.size()), true, false, &sealed, &sealedLength),
              kSealNotReady);
    EXPECT_EQ(sealed, nullptr);

    uint8_t* newRecord = nullptr;
    EXPECT_EQ(GenerateSealKey(context, &newRecord), kSealNotReady);
    EXPECT_EQ(GenerateSealKey(nullptr, &newRecord), kSealNotReady);
    EXPECT_EQ(newRecord, nullptr);
    // Ending DES on a context that never had a key fails with the library's code,
    // and the context is released all the same.
    EXPECT_EQ(DestroySealContext(&unkeyed), 10);
    EXPECT_EQ(unkeyed, nullptr);
    EXPECT_EQ(DestroySealContext(&unkeyed), kSealNotReady);
}

TEST(SealKeys, GeneratedRecordIsBase64OfTheKeyOpensslUses) {
    SealContext* maker = nullptr;
    ASSERT_EQ(CreateSealContext(&maker, nullptr), 0);
    uint8_t* raw = nullptr;
    ASSERT_EQ(GenerateSealKey(maker, &raw), 0);
    Owned<uint8_t> record(raw);
    EXPECT_EQ(record.get()[0], kSealKeyText);
    const std::string text(reinterpret_cast<const char*>(record.get() + 1));
    ASSERT_EQ(text.size(), 44u);
    EXPECT_EQ(text.back(), '=');
    const Bytes key = opensslDecode(text);
    ASSERT_EQ(key.size(), 32u);

    char* sealed = nullptr;
    uint16_t sealedLength = 0;
    const Bytes plain = textOf(13);
    ASSERT_EQ(SealText(maker, plain.data(), 13, false, false, &sealed, &sealedLength), 0);
    Owned<char> sealedOwned(sealed);
    const Bytes decoded = opensslDecode(std::string(sealed, sealedLength));
    const Bytes opened = opensslDecrypt(key, Bytes(decoded.begin() + 2, decoded.end()));
    ASSERT_EQ(opened.size(), 24u);
    EXPECT_EQ(Bytes(opened.begin() + 4, opened.begin() + 17), plain);

    // Loading the record turns it into the raw form in place; the loaded context
    // reads what the maker sealed.
    SealContext* reader = nullptr;
    ASSERT_EQ(CreateSealContext(&reader, record.get()), 0);
    EXPECT_EQ(record.get()[0], kSealKeyRaw);
    EXPECT_EQ(Bytes(record.get() + 1, record.get() + 33), key);
    std::string buffer(sealed, sealedLength);
    uint8_t* out = nullptr;
    uint16_t outLength = 0;
    ASSERT_EQ(UnsealText(reader, buffer.data(), uint16_t(buffer.size()), &out, &outLength), 0);
    Owned<uint8_t> outOwned(out);
    EXPECT_EQ(Bytes(out, out + outLength), plain);

    // A second key comes from a fresh seed.
    SealContext* second = nullptr;
    ASSERT_EQ(CreateSealContext(&second, nullptr), 0);
    uint8_t* secondRaw = nullptr;
    ASSERT_EQ(GenerateSealKey(second, &secondRaw), 0);
    Owned<uint8_t> secondRecord(secondRaw);
    EXPECT_NE(std::memcmp(secondRecord.get(), record.get(), 45), 0);
    EXPECT_EQ(GenerateSealKey(second, &secondRaw), kSealNotReady);

    for (SealContext** c : {&maker, &reader, &second}) EXPECT_EQ(DestroySealContext(c), 0);
}

TEST(SealKeys, RecordForms) {
    const Bytes key = fixedKey();
    auto sealWith = [](Bytes record, int* rc) {
        SealContext* c = nullptr;
        *rc = CreateSealContext(&c, record.data());
        if (*rc != 0) return std::string();
        char* out = nullptr;
        uint16_t length = 0;
        const uint8_t text[6] = {'s', 'e', 'c', 'r', 'e', 't'};
        EXPECT_EQ(SealText(c, text, 6, false, false, &out, &length), 0);
        Owned<char> owned(out);
        EXPECT_EQ(DestroySealContext(&c), 0);
        return std::string(out, length);
    };
    int rc = -2;
    const std::string byRaw = sealWith(rawRecord(key), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(sealWith(textRecord(key), &rc), byRaw);
    EXPECT_EQ(rc, 0);
    // More than 32 decoded bytes: the first 32 are the key.
    Bytes longer = key;
    longer.insert(longer.end(), {9, 9, 9, 9});
    EXPECT_EQ(sealWith(textRecord(longer), &rc), byRaw);
    EXPECT_EQ(rc, 0);
    // Line breaks inside the text are skipped.
    Bytes broken = textRecord(key);
    broken.insert(broken.begin() + 20, {'\r', '\n'});
    EXPECT_EQ(sealWith(broken, &rc), byRaw);

    SealContext* c = nullptr;
    Bytes shortRecord = textRecord(Bytes(key.begin(), key.end() - 1));
    EXPECT_EQ(CreateSealContext(&c, shortRecord.data()), kSealShortKey);
    Bytes unknownForm = rawRecord(key);
    unknownForm[0] = 3;
    EXPECT_EQ(CreateSealContext(&c, unknownForm.data()), kSealShortKey);
    // A weak DES key is refused by the library's check, with its code.
    Bytes weak = key;
    std::fill(weak.begin(), weak.begin() + 8, 0x01);
    Bytes weakRecord = rawRecord(weak);
    EXPECT_EQ(CreateSealContext(&c, weakRecord.data()), 0x201);
    EXPECT_EQ(c, nullptr);
}

TEST(SealSizes, RulesAndTheirBounds) {
    EXPECT_EQ(SealedTextSize(32, false), 49);
    EXPECT_EQ(SealedTextSize(100, false), 137);
    EXPECT_EQ(SealedTextSize(100, true), 141);
    EXPECT_EQ(SealedTextSize(1, false), 21);
    // The capacity is the largest text that fits: one byte more no longer does.
    EXPECT_EQ(SealedTextCapacity(637), 452);
    EXPECT_EQ(SealedTextCapacity(10), 0) << "no text fits; never a wrapped count";
    EXPECT_EQ(SealedTextCapacity(0), 0);

    Bytes record = rawRecord(fixedKey());
    SealContext* c = nullptr;
    ASSERT_EQ(CreateSealContext(&c, record.data()), 0);
    // Texts cut to the capacity of a budget seal within it.
    for (uint16_t budget : {40, 69, 70, 71, 100, 141, 142, 637, 5128, 61440, 65535}) {
        SCOPED_TRACE(budget);
        const uint16_t n = SealedTextCapacity(budget);
        const Bytes text = textOf(n);
        char* out = nullptr;
        uint16_t length = 0;
        ASSERT_EQ(SealText(c, text.data(), n, true, false, &out, &length), 0);
        Owned<char> owned(out);
        EXPECT_LE(length, budget);
        if (n == 65535) continue;
        const Bytes more = textOf(n + 1u);
        if (SealText(c, more.data(), n + 1, true, false, &out, &length) == 0) {
            EXPECT_GT(length, budget);
            std::free(out);
        }
    }
    EXPECT_EQ(DestroySealContext(&c), 0);
}

}  // namespace
