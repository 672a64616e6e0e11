#pragma once
// Fields at fixed offsets of a fixed block (the account file's blocks, the handheld's
// preference records), read and written through the shared bounded reader and writer.
// An access outside the block reads as 0 or empty and writes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "common/byte_io.h"

namespace tess::accounts {

class ByteView {
public:
    explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    bool has(size_t offset, size_t width) const { return offset <= bytes_.size() && width <= bytes_.size() - offset; }
    uint8_t u8(size_t offset) const { return read<uint8_t>(offset, &tess::ByteReader::u8); }
    uint16_t u16le(size_t offset) const { return read<uint16_t>(offset, &tess::ByteReader::u16le); }
    uint16_t u16be(size_t offset) const { return read<uint16_t>(offset, &tess::ByteReader::u16be); }
    uint32_t u32le(size_t offset) const { return read<uint32_t>(offset, &tess::ByteReader::u32le); }
    // Text of a fixed field: up to its NUL, never past the field or the block.
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
    template <typename T>
    T read(size_t offset, bool (tess::ByteReader::*fn)(T&)) const {
        tess::ByteReader r(bytes_.data(), bytes_.size());
        T v{};
        return r.seek(offset) && (r.*fn)(v) ? v : T{};
    }
    std::span<const uint8_t> bytes_;
};

class ByteSpan {
public:
    explicit ByteSpan(std::span<uint8_t> bytes) : bytes_(bytes) {}

    bool has(size_t offset, size_t width) const { return offset <= bytes_.size() && width <= bytes_.size() - offset; }
    bool putU8(size_t offset, uint8_t v) { return at(offset).u8(v); }
    bool putU16le(size_t offset, uint16_t v) { return has(offset, 2) && at(offset).u16le(v); }
    bool putU16be(size_t offset, uint16_t v) { return has(offset, 2) && at(offset).u16be(v); }
    bool putU32le(size_t offset, uint32_t v) { return has(offset, 4) && at(offset).u32le(v); }
    // Writes the text and zero-fills the rest of the field. Refuses a text that leaves
    // no room for its terminator.
    bool putText(size_t offset, size_t width, std::string_view text) {
        if (!has(offset, width) || text.size() + 1 > width) return false;
        tess::ByteWriter w = at(offset);
        return w.bytes(text) && w.zeros(width - text.size());
    }
    // As putText, cutting the text to the field instead of refusing it.
    bool putTextCut(size_t offset, size_t width, std::string_view text) {
        if (width == 0) return false;
        return putText(offset, width, text.substr(0, std::min(text.size(), width - 1)));
    }
    bool zero(size_t offset, size_t width) { return has(offset, width) && at(offset).zeros(width); }
    bool copy(size_t offset, std::span<const uint8_t> from) {
        return has(offset, from.size()) && at(offset).bytes(from.data(), from.size());
    }

private:
    tess::ByteWriter at(size_t offset) {
        return offset <= bytes_.size() ? tess::ByteWriter(bytes_.data() + offset, bytes_.size() - offset)
                                       : tess::ByteWriter(nullptr, 0);
    }
    std::span<uint8_t> bytes_;
};

}  // namespace tess::accounts
