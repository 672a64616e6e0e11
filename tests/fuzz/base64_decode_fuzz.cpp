// The base64 decoders over arbitrary text: never past their output, always a zero byte
// behind the data, and mail decoding the same as refusing decoding of the text with the
// foreign bytes taken out.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/base64.h"

namespace {

bool Foreign(unsigned char c) {
    return !(std::isalnum(c) || c == '+' || c == '/' || c == '=' || c == '}' || c == '\r' || c == '\n' || c == ' ' ||
             c == '\t');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> out;
    uint32_t count = 0;
    const int strict = tess::Base64Decode(text, out, &count);
    if (strict == tess::kBase64Ok) {
        if (count >= out.size() || out[count] != 0) std::abort();
    } else if (count != 0) {
        std::abort();
    }

    std::vector<uint8_t> skipped;
    uint32_t skippedCount = 0;
    if (tess::Base64Decode(text, skipped, &skippedCount, tess::Base64Foreign::kSkip) != tess::kBase64Ok) std::abort();
    if (skippedCount >= skipped.size() || skipped[skippedCount] != 0) std::abort();
    std::string clean;
    for (unsigned char c : text) {
        if (!Foreign(c)) clean += static_cast<char>(c);
    }
    std::vector<uint8_t> expected;
    uint32_t expectedCount = 0;
    if (tess::Base64Decode(clean, expected, &expectedCount) != tess::kBase64Ok) std::abort();
    if (expectedCount != skippedCount ||
        !std::equal(expected.begin(), expected.begin() + expectedCount, skipped.begin()))
        std::abort();
    if (strict == tess::kBase64Ok &&
        (count != skippedCount || !std::equal(out.begin(), out.begin() + count, skipped.begin())))
        std::abort();

    if (size >= 5) {
        uint8_t quad[6];
        tess::Base64DecodeQuad(reinterpret_cast<const char*>(data), data[4], quad, sizeof quad);
    }
    return 0;
}
