// Account files of any shape: decoding stays inside the bytes given, every text keeps a
// terminator inside its field, and what is decoded encodes and decodes to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "accounts/account_file.h"

using namespace tess::accounts;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AccountFileImage image;
    DecodeAccountFile({data, size}, image);
    for (auto f : layout::kHandheldScrambled)
        if (!std::memchr(image.handheld.data() + f.offset, 0, f.width)) std::abort();
    for (auto f : layout::kDesktopScrambled)
        if (!std::memchr(image.desktop.data() + f.offset, 0, f.width)) std::abort();
    if (image.tags.size() * 4 > size) std::abort();

    const auto bytes = EncodeAccountFile(image);
    AccountFileImage again;
    DecodeAccountFile(bytes, again);
    if (again.head != image.head || again.desktop != image.desktop || again.handheld != image.handheld ||
        again.tags != image.tags)
        std::abort();
    return 0;
}
