#pragma once
// CArchive: serialises records to bytes and back. Integers are little-endian at their own
// width; a CString is a 32-bit length and its bytes. The form only has to round-trip
// inside this program; nothing persists it.
//
// Loading never reads past the data: a read that runs out sets the failed flag (sticky),
// gives zero or an empty text, and leaves the position at the end. Read() reports how many
// bytes it could give, for callers that take a short read as an answer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/export.h"
#include "platform/mfc/cstring.h"

namespace platform::mfc {

class TESS_EXPORT CArchive {
public:
    enum Mode { store = 0, load = 1 };
    // store: appends to `bytes`; load: reads `bytes` from the start. The buffer must
    // outlive the archive.
    CArchive(std::vector<unsigned char>& bytes, Mode mode) : bytes_(bytes), mode_(mode) {}
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    bool IsStoring() const { return mode_ == store; }
    bool IsLoading() const { return mode_ == load; }
    bool IsFailed() const { return failed_; }
    // Bytes left to load.
    size_t Remaining() const { return mode_ == load ? bytes_.size() - pos_ : 0; }

    void Write(const void* data, size_t length);
    size_t Read(void* data, size_t length);

    CArchive& operator<<(uint8_t v) { return put(v, 1); }
    CArchive& operator<<(int16_t v) { return put(static_cast<uint16_t>(v), 2); }
    CArchive& operator<<(uint16_t v) { return put(v, 2); }
    CArchive& operator<<(int32_t v) { return put(static_cast<uint32_t>(v), 4); }
    CArchive& operator<<(uint32_t v) { return put(v, 4); }
    CArchive& operator<<(int64_t v) { return put(static_cast<uint64_t>(v), 8); }
    CArchive& operator<<(uint64_t v) { return put(v, 8); }
    CArchive& operator<<(const CString& text);

    CArchive& operator>>(uint8_t& v) { return get(v); }
    CArchive& operator>>(int16_t& v) { return get(v); }
    CArchive& operator>>(uint16_t& v) { return get(v); }
    CArchive& operator>>(int32_t& v) { return get(v); }
    CArchive& operator>>(uint32_t& v) { return get(v); }
    CArchive& operator>>(int64_t& v) { return get(v); }
    CArchive& operator>>(uint64_t& v) { return get(v); }
    CArchive& operator>>(CString& text);

private:
    CArchive& put(uint64_t v, size_t width);
    uint64_t take(size_t width);
    template <class T>
    CArchive& get(T& v) {
        v = static_cast<T>(take(sizeof(T)));
        return *this;
    }

    std::vector<unsigned char>& bytes_;
    Mode mode_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace platform::mfc
