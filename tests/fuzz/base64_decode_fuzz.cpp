// The base64 decoders over arbitrary text: never past their output, and always a zero
// byte behind the data.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> out;
    uint32_t count = 0;
    if (tess::Base64Decode(text, out, &count) == tess::kBase64Ok) {
        if (count >= out.size() || out[count] != 0) std::abort();
    } else if (count != 0) {
        std::abort();
    }
    if (size >= 5) {
        uint8_t quad[6];
        tess::Base64DecodeQuad(reinterpret_cast<const char*>(data), data[4], quad, sizeof quad);
    }
    return 0;
}
