#include "platform/mfc/archive.h"

#include <algorithm>
#include <cstring>

namespace platform::mfc {

void CArchive::Write(const void* data, size_t length) {
    if (mode_ != store || (!data && length)) {
        failed_ = true;
        return;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    bytes_.insert(bytes_.end(), p, p + length);
}

size_t CArchive::Read(void* data, size_t length) {
    if (mode_ != load || (!data && length)) {
        failed_ = true;
        return 0;
    }
    const size_t n = std::min(length, Remaining());
    if (n) std::memcpy(data, bytes_.data() + pos_, n);
    pos_ += n;
    if (n < length) failed_ = true;
    return n;
}

CArchive& CArchive::put(uint64_t v, size_t width) {
    unsigned char buf[8];
    for (size_t i = 0; i < width; ++i) buf[i] = static_cast<unsigned char>(v >> (8 * i));
    Write(buf, width);
    return *this;
}

uint64_t CArchive::take(size_t width) {
    if (Remaining() < width) {
        pos_ = bytes_.size();
        failed_ = true;
        return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes_[pos_ + i]) << (8 * i);
    pos_ += width;
    return v;
}

CArchive& CArchive::operator<<(const CString& text) {
    *this << static_cast<uint32_t>(text.GetLength());
    Write(text.GetString(), static_cast<size_t>(text.GetLength()));
    return *this;
}

CArchive& CArchive::operator>>(CString& text) {
    text.Empty();
    if (Remaining() < 4) {
        take(4);  // fails and marks it
        return *this;
    }
    const uint32_t length = static_cast<uint32_t>(take(4));
    if (length > Remaining()) {  // a length the data cannot hold: refuse before allocating
        pos_ = bytes_.size();
        failed_ = true;
        return *this;
    }
    text = CString(std::string_view(reinterpret_cast<const char*>(bytes_.data() + pos_), length));
    pos_ += length;
    return *this;
}

}  // namespace platform::mfc
