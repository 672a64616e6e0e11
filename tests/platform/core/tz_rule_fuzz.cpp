// The local zone from $TZ: a zone name, a file path or a POSIX rule, as a user may set it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/os.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    int64_t at;
    std::memcpy(&at, data, sizeof at);
    std::string tz(reinterpret_cast<const char*>(data + 8), size - 8);
    tz = tz.substr(0, tz.find('\0'));
    setenv("TZ", tz.c_str(), 1);
    std::error_code ec;
    (void)platform::zoneOffsetAt("", at, ec);
    (void)platform::timeZoneInfo("", static_cast<int>(at % 400000), ec);
    return 0;
}
