#pragma once
// Bounded reading and writing of fixed byte layouts with an explicit byte order.
// Every access is checked against the buffer; a failed access changes nothing and
// reports false, so a codec can stop at the first short field.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace tess::accounts {

class ByteView {
public:
    explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    bool has(size_t offset, size_t width) const {
        return offset <= bytes_.size() && width <= bytes_.size() - offset;
    }
    uint8_t u8(size_t offset) const { return has(offset, 1) ? bytes_[offset] : 0; }
    uint16_t u16le(size_t offset) const {
        return has(offset, 2) ? uint16_t(bytes_[offset] | bytes_[offset + 1] << 8) : 0;
    }
    uint16_t u16be(size_t offset) const {
        return has(offset, 2) ? uint16_t(bytes_[offset] << 8 | bytes_[offset + 1]) : 0;
    }
    uint32_t u32le(size_t offset) const {
        if (!has(offset, 4)) return 0;
        return uint32_t(bytes_[offset]) | uint32_t(bytes_[offset + 1]) << 8 |
               uint32_t(bytes_[offset + 2]) << 16 | uint32_t(bytes_[offset + 3]) << 24;
    }
    // Text of a fixed field: up to its NUL, never past the field or the buffer.
    std::string_view text(size_t offset, size_t width) const {
        if (offset >= bytes_.size()) return {};
        width = std::min(width, bytes_.size() - offset);
        const char* p = reinterpret_cast<const char*>(bytes_.data() + offset);
        return {p, strnlen(p, width)};
    }
    std::span<const uint8_t> bytes(size_t offset, size_t width) const {
        return has(offset, width) ? bytes_.subspan(offset, width) : std::span<const uint8_t>{};
    }

private:
    std::span<const uint8_t> bytes_;
};

class ByteSpan {
public:
    explicit ByteSpan(std::span<uint8_t> bytes) : bytes_(bytes) {}

    bool has(size_t offset, size_t width) const {
        return offset <= bytes_.size() && width <= bytes_.size() - offset;
    }
    bool putU8(size_t offset, uint8_t v) {
        if (!has(offset, 1)) return false;
        bytes_[offset] = v;
        return true;
    }
    bool putU16le(size_t offset, uint16_t v) {
        if (!has(offset, 2)) return false;
        bytes_[offset] = uint8_t(v);
        bytes_[offset + 1] = uint8_t(v >> 8);
        return true;
    }
    bool putU16be(size_t offset, uint16_t v) {
        if (!has(offset, 2)) return false;
        bytes_[offset] = uint8_t(v >> 8);
        bytes_[offset + 1] = uint8_t(v);
        return true;
    }
    bool putU32le(size_t offset, uint32_t v) {
        if (!has(offset, 4)) return false;
        for (int i = 0; i < 4; ++i) bytes_[offset + i] = uint8_t(v >> (8 * i));
        return true;
    }
    // Writes the text and zero-fills the rest of the field. Refuses a text that leaves
    // no room for its terminator.
    bool putText(size_t offset, size_t width, std::string_view text) {
        if (!has(offset, width) || text.size() + 1 > width) return false;
        std::memcpy(bytes_.data() + offset, text.data(), text.size());
        std::memset(bytes_.data() + offset + text.size(), 0, width - text.size());
        return true;
    }
    // As putText, cutting the text to the field instead of refusing it.
    bool putTextCut(size_t offset, size_t width, std::string_view text) {
        if (width == 0) return false;
        return putText(offset, width, text.substr(0, width - 1));
    }
    bool zero(size_t offset, size_t width) {
        if (!has(offset, width)) return false;
        std::memset(bytes_.data() + offset, 0, width);
        return true;
    }
    bool copy(size_t offset, std::span<const uint8_t> from) {
        if (!has(offset, from.size())) return false;
        if (!from.empty()) std::memcpy(bytes_.data() + offset, from.data(), from.size());
        return true;
    }

private:
    std::span<uint8_t> bytes_;
};

}  // namespace tess::accounts
