// Unsealing arbitrary text with a fixed key: no crash, no overrun, and a text
// that unseals is followed by its zero byte within the returned buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/sealing_coder.h"

namespace {

tess::SealContext* keyedContext() {
    static tess::SealContext* context = [] {
        uint8_t record[1 + tess::kSealKeyBytes] = {tess::kSealKeyRaw};
        for (unsigned i = 0; i < tess::kSealKeyBytes; ++i) record[1 + i] = uint8_t(17 * i + 3);
        tess::SealContext* c = nullptr;
        if (tess::CreateSealContext(&c, record) != 0) std::abort();
        return c;
    }();
    return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFF) return 0;
    std::vector<char> text(data, data + size);
    uint8_t* out = nullptr;
    uint16_t length = 0;
    const int rc = tess::UnsealText(keyedContext(), text.data(), uint16_t(size), &out, &length);
    if (out != nullptr) {
        if (rc != 0 || out[length] != 0) std::abort();
        std::free(out);
    } else if (length != 0) {
        std::abort();
    }
    return 0;
}
