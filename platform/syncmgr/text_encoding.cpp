#include "platform/syncmgr/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace platform::syncmgr {

bool convertText(const char* from, const char* to, const std::string& in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result(in.size() * 4 + 4, '\0');  // room for any 8-bit to UTF-8 growth
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = result.data();
    size_t dstLeft = result.size();
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    bool ok = rc != static_cast<size_t>(-1) && srcLeft == 0 &&
              iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return false;
    result.resize(result.size() - dstLeft);
    *out = std::move(result);
    return true;
}

}  // namespace platform::syncmgr
