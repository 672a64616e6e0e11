#pragma once
// The one bounded byte reader and writer that every record codec uses. Byte order is
// explicit at each call; nothing reads or writes past the span it was given. A failed
// read or write leaves the cursor where it was and sets the sticky failure flag, so a
// codec can read a whole record and test ok() once.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

class ByteReader {
public:
    ByteReader(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}
    explicit ByteReader(const std::vector<uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    size_t position() const { return pos_; }
    size_t size() const { return size_; }
    size_t remaining() const { return size_ - pos_; }
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ >= size_; }

    bool seek(size_t pos) {
        if (pos > size_) return fail();
        pos_ = pos;
        return true;
    }
    bool skip(size_t n) { return n <= remaining() ? (pos_ += n, true) : fail(); }
    // Moves to the next multiple of n counted from the start (n > 0).
    bool alignTo(size_t n) { return skip((n - pos_ % n) % n); }

    bool u8(uint8_t& v) { return take(&v, 1); }
    bool u16be(uint16_t& v) { return uint(v, 2, true); }
    bool u32be(uint32_t& v) { return uint(v, 4, true); }
    bool u16le(uint16_t& v) { return uint(v, 2, false); }
    bool u32le(uint32_t& v) { return uint(v, 4, false); }
    bool i16le(int16_t& v) {
        uint16_t u;
        return u16le(u) ? (v = int16_t(u), true) : false;
    }
    bool i32le(int32_t& v) {
        uint32_t u;
        return u32le(u) ? (v = int32_t(u), true) : false;
    }
    bool i32be(int32_t& v) {
        uint32_t u;
        return u32be(u) ? (v = int32_t(u), true) : false;
    }

    bool bytes(void* out, size_t n) { return take(out, n); }
    bool bytes(std::vector<uint8_t>& out, size_t n) {
        if (n > remaining()) return fail();
        out.assign(p_ + pos_, p_ + pos_ + n);
        pos_ += n;
        return true;
    }
    // A NUL-terminated text; the cursor moves past the NUL. A text without its NUL
    // inside the span is a failure.
    bool cstring(std::string& out) {
        const void* nul = remaining() ? std::memchr(p_ + pos_, 0, remaining()) : nullptr;
        if (!nul) return fail();
        size_t n = static_cast<const uint8_t*>(nul) - (p_ + pos_);
        out.assign(reinterpret_cast<const char*>(p_ + pos_), n);
        pos_ += n + 1;
        return true;
    }
    const uint8_t* cursor() const { return p_ + pos_; }

private:
    bool fail() {
        ok_ = false;
        return false;
    }
    bool take(void* out, size_t n) {
        if (n > remaining()) return fail();
        if (n) std::memcpy(out, p_ + pos_, n);
        pos_ += n;
        return true;
    }
    template <typename T>
    bool uint(T& v, size_t n, bool big) {
        if (n > remaining()) return fail();
        uint32_t x = 0;
        for (size_t i = 0; i < n; ++i) {
            uint32_t b = p_[pos_ + (big ? i : n - 1 - i)];
            x = (x << 8) | b;
        }
        v = static_cast<T>(x);
        pos_ += n;
        return true;
    }

    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Writes into a caller's fixed buffer (a handheld record) or into a growing vector
// with a fixed capacity limit; never past that limit.
class ByteWriter {
public:
    ByteWriter(void* data, size_t capacity) : fixed_(static_cast<uint8_t*>(data)), cap_(data ? capacity : 0) {}
    // Grows a vector up to limit bytes.
    explicit ByteWriter(std::vector<uint8_t>& out, size_t limit = SIZE_MAX) : vec_(&out), cap_(limit) { vec_->clear(); }

    size_t position() const { return pos_; }
    size_t capacity() const { return cap_; }
    size_t remaining() const { return cap_ - pos_; }
    bool ok() const { return ok_; }

    bool u8(uint8_t v) { return put(&v, 1); }
    bool u16be(uint16_t v) {
        uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
        return put(b, 2);
    }
    bool u32be(uint32_t v) {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        return put(b, 4);
    }
    bool u16le(uint16_t v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        return put(b, 2);
    }
    bool u32le(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        return put(b, 4);
    }
    bool bytes(const void* data, size_t n) { return put(data, n); }
    bool bytes(std::string_view s) { return put(s.data(), s.size()); }
    // The text and one NUL.
    bool cstring(std::string_view s) {
        if (s.size() + 1 > remaining()) return fail();
        put(s.data(), s.size());
        return u8(0);
    }
    bool zeros(size_t n) {
        if (n > remaining()) return fail();
        for (size_t i = 0; i < n; ++i) u8(0);
        return true;
    }
    // Zero bytes up to the next multiple of n counted from the start (n > 0).
    bool padTo(size_t n) { return zeros((n - pos_ % n) % n); }

private:
    bool fail() {
        ok_ = false;
        return false;
    }
    bool put(const void* data, size_t n) {
        if (n > remaining()) return fail();
        if (n == 0) return true;
        if (vec_) {
            const uint8_t* b = static_cast<const uint8_t*>(data);
            vec_->insert(vec_->end(), b, b + n);
        } else {
            std::memcpy(fixed_ + pos_, data, n);
        }
        pos_ += n;
        return true;
    }

    uint8_t* fixed_ = nullptr;
    std::vector<uint8_t>* vec_ = nullptr;
    size_t cap_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace tess
