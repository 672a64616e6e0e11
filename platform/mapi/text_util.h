#pragma once
// Small text and time helpers of the MAPI stand-in.
#include <cctype>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/mapi/mapi_defs.h"

namespace platform::mapi {

inline std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

inline bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Seconds since 1970 to FILETIME and back.
constexpr FileTime kFileTimeUnixEpoch = 116444736000000000ull;
inline FileTime fileTimeFromUnix(time_t t) { return kFileTimeUnixEpoch + static_cast<FileTime>(t) * 10000000ull; }
inline time_t unixFromFileTime(FileTime ft) {
    return ft < kFileTimeUnixEpoch ? 0 : static_cast<time_t>((ft - kFileTimeUnixEpoch) / 10000000ull);
}

}  // namespace platform::mapi
