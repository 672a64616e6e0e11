// The Date header parser over arbitrary text: a result or a refusal, nothing else.
#include <cstdint>
#include <string>

#include "datamgr/ledgerly_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int64_t value = 0;
    tess::datamgr::ParseDateHeaderChecked(text.c_str(), size % 2, &value);
    return 0;
}
