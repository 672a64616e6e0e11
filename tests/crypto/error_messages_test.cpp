// ks_errorMessage: texts, the unknown-code answer and the buffer checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crypto/kestrel.h"

namespace {

TEST(ErrorMessages, TextsAndCodes) {
    struct Case {
        uint32_t code;
        uint32_t size;
        bool buffer;
        uint32_t result;
        const char* text;
    } cases[] = {
        {0x0, 37, true, 0, "Successfully completed the operation"},
        {0x0, 36, true, 7, nullptr},
        {0x10, 100, true, 0, "Not implemented"},
        {0x11, 100, true, 0x500, nullptr},
        {0x207, 100, true, 0, "No cyphertext buffer"},
        {0x208, 100, true, 0x500, nullptr},
        {0x603, 100, true, 0, "Bad options list"},
        {0x1207, 100, true, 0, "No public key reconstruction value"},
        {0x1208, 100, true, 0x500, nullptr},
        {0x1300, 100, true, 0x500, nullptr},
        {0x500, 100, true, 0, "Bad error return code"},
        {0x10601, 100, true, 0, "Bad elliptic curve parameters"},
        {0xC00, 100, true, 0, "This code is reserved for WRP"},
        {0x70D, 100, true, 0, "Invalid new-style public key"},
        {0x0, 0, false, 7, nullptr},
        {0x0, 100, false, 13, nullptr},
    };
    for (const auto& c : cases) {
        char buffer[128];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(ks_errorMessage(c.code, c.size, c.buffer ? buffer : nullptr), c.result) << std::hex << c.code;
        if (c.text != nullptr) {
            EXPECT_STREQ(buffer, c.text);
        } else if (c.buffer) {
            EXPECT_EQ(buffer[0], '#') << "buffer written on failure for " << std::hex << c.code;
        }
    }
}

TEST(ErrorMessages, EveryGroupHasItsLastTextAndNoMore) {
    // Entry counts per group, 0..18.
    const uint32_t counts[] = {17, 8, 8, 2, 9, 1, 10, 14, 6, 2, 2, 2, 1, 1, 2, 2, 1, 2, 8};
    char buffer[128];
    for (uint32_t g = 0; g < 19; ++g) {
        EXPECT_EQ(ks_errorMessage(g * 256 + counts[g] - 1, sizeof buffer, buffer), 0u) << g;
        EXPECT_GT(std::strlen(buffer), 0u);
        EXPECT_EQ(ks_errorMessage(g * 256 + counts[g], sizeof buffer, buffer), 0x500u) << g;
    }
}

}  // namespace
