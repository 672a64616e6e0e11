// The base64 coder against RFC 4648 vectors, its line breaks and pads, and bad input.
#include <gtest/gtest.h>

#include "common/base64.h"

using namespace tess;

namespace {

std::string Decode(const std::string& in, int* rc = nullptr, Base64Foreign foreign = Base64Foreign::kRefuse) {
    std::vector<uint8_t> buf;
    uint32_t n = 0;
    const int r = Base64Decode(in, buf, &n, foreign);
    if (rc) *rc = r;
    EXPECT_GE(buf.size(), n + 1);  // always a zero byte behind the data
    if (buf.size() > n) {
        EXPECT_EQ(buf[n], 0);
    }
    return std::string(buf.begin(), buf.begin() + n);
}

}  // namespace

TEST(Base64, Rfc4648Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, coded] : vectors) {
        std::string out;
        EXPECT_EQ(Base64EncodeString(plain, out, false), 0);
        EXPECT_EQ(out, coded) << plain;
        EXPECT_EQ(Decode(coded), plain) << coded;
    }
}

TEST(Base64, EncoderPadsBreaksLinesAndAppends) {
    std::string out = "head:";
    Base64EncodeString("a", out, true);
    EXPECT_EQ(out, "head:YQ}}");

    const std::string data(53, '\xAB');
    std::string coded;
    Base64EncodeString(data, coded, false);
    ASSERT_EQ(coded.size(), 71u + 1 + 2);
    EXPECT_EQ(coded.substr(70, 2), "\r\n");
    EXPECT_EQ(coded.back(), '=');
    EXPECT_EQ(coded.find("\r\n", 72), std::string::npos);  // none at the end
    EXPECT_EQ(Decode(coded), data);

    // 52 bytes end on the 70th character: the break comes before the pads, which are
    // not counted.
    std::string seventy;
    Base64EncodeString(std::string(52, 'x'), seventy, false);
    EXPECT_EQ(seventy.size(), 74u);
    EXPECT_EQ(seventy.substr(70), "\r\n==");

    std::string none;
    EXPECT_EQ(Base64Encode("abc", 0, none, false), 0);
    EXPECT_EQ(Base64Encode("abc", -4, none, false), 0);
    EXPECT_TRUE(none.empty());
}

TEST(Base64, DecoderEndMarksAndWhiteSpace) {
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"YQ==", "a"},       {"YQ}}", "a"},        {"YQ=", "a"},         {"YQ", ""},     {"YWJj", "abc"},
        {"YW\r\nJj", "abc"}, {"YWJj=YWJj", "abc"}, {" Y W J j ", "abc"}, {"YWI=", "ab"}, {"=", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.in), c.out) << c.in;
}

TEST(Base64, InvalidCharactersFailInsteadOfShiftingBits) {
    for (const char* bad : {"YW*Jj", "YWJj\x01", "Y\xC3\xA9Jj", "YWJj-_"}) {
        int rc = 0;
        EXPECT_EQ(Decode(bad, &rc), "") << bad;
        EXPECT_EQ(rc, kBase64InvalidCharacter) << bad;
    }
    std::string s = "unchanged";
    EXPECT_EQ(Base64DecodeString("Y!Q=", s), kBase64InvalidCharacter);
}

// Mail decoding passes over every byte outside the alphabet and decodes the rest, as
// MIME asks; the "=" end mark still ends the data.
TEST(Base64, MailDecodingSkipsForeignBytes) {
    using namespace std::string_literals;
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"YW*Jj", "abc"},      {"YWJj-_", "abc"}, {"Y\xC3\xA9WJj", "abc"}, {"Z\0m9\x7Fv!Ym.FyYQ=\r\n=="s, "foobara"},
        {"Zm9v@=YmFy", "foo"}, {"!!!!", ""},      {"{Zm9v}YmFy", "foo"},  // "}" is this coder's other end mark
    };
    for (const auto& c : cases) {
        int rc = -9;
        EXPECT_EQ(Decode(c.in, &rc, Base64Foreign::kSkip), c.out) << c.in;
        EXPECT_EQ(rc, kBase64Ok) << c.in;
    }
    std::string s;
    EXPECT_EQ(Base64DecodeString("Y!Q=", s, Base64Foreign::kSkip), 0);
    EXPECT_EQ(s, "a");
}

TEST(Base64, CountThatWouldOverflowIsRefused) {
    for (Base64Foreign foreign : {Base64Foreign::kRefuse, Base64Foreign::kSkip}) {
        std::vector<uint8_t> buf;
        uint32_t n = UINT32_MAX - 3;
        EXPECT_EQ(Base64Decode("YWJj", buf, &n, foreign), kBase64NoRoom);
        EXPECT_EQ(n, UINT32_MAX - 3);
        for (uint8_t b : buf) EXPECT_EQ(b, 0);
        n = UINT32_MAX - 5;
        EXPECT_EQ(Base64Decode("YWJj", buf, &n, foreign), kBase64Ok);
        EXPECT_EQ(n, UINT32_MAX - 2);
    }
}

TEST(Base64, DecodeStringStopsAtAZeroByte) {
    std::string out;
    EXPECT_EQ(Base64DecodeString("YQBi", out), 0);  // "a\0b"
    EXPECT_EQ(out, "a");
}

TEST(Base64, CountIsAddedTo) {
    std::vector<uint8_t> buf;
    uint32_t n = 10;
    Base64Decode("YWJj", buf, &n);
    EXPECT_EQ(n, 13u);
}

TEST(Base64, QuadGroupsWithinTheirOutput) {
    struct Case {
        const char* quad;
        int index;
        int rc;
        std::string bytes;
    } cases[] = {
        {"YWJj", 0, 0, "abc"},
        {"YWI=", 4, 1, "ab\0"},
        {"YQ==", 0, 2, std::string("a\0\0", 3)},
        {"Y*Jj", 0, kBase64InvalidCharacter, ""},
        {"YW=j", 0, kBase64InvalidCharacter, ""},
        {"YWJj", 8, kBase64NoRoom, ""},  // would write bytes 6-8 of a 6-byte buffer
    };
    for (const Case& c : cases) {
        uint8_t out[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(Base64DecodeQuad(c.quad, c.index, out, sizeof out), c.rc) << c.quad;
        if (c.rc >= 0) {
            const size_t at = size_t(c.index / 4) * 3;
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + at, 3).substr(0, 3 - c.rc),
                      c.bytes.substr(0, 3 - c.rc));
        } else {
            for (uint8_t b : out) EXPECT_EQ(b, 0xEE);
        }
    }
}

TEST(Base64, EncodeTripleAppendsWithinItsBuffer) {
    char buf[9] = "ab";
    const uint8_t abc[3] = {'a', 'b', 'c'};
    EXPECT_EQ(Base64EncodeTriple(buf, sizeof buf, abc, 0), 0);
    EXPECT_STREQ(buf, "abYWJj");
    EXPECT_EQ(Base64EncodeTriple(buf, sizeof buf, abc, 2), kBase64NoRoom);
    EXPECT_STREQ(buf, "abYWJj");
    char two[8] = "";
    EXPECT_EQ(Base64EncodeTriple(two, sizeof two, abc, 2), 0);
    EXPECT_STREQ(two, "YW==");
}
