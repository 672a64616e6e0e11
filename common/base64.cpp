#include "common/base64.h"

#include <cstdint>
#include <cstring>

namespace tess {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kLineLength = 70;

// 0-63 for alphabet characters, kPad, kSpace, or kBad.
enum : int { kPad = 64, kSpace = 65, kBad = 66 };

// Attachments are decoded byte by byte: one look-up a character, no branches to guess.
struct ClassTable {
    uint8_t of[256];
    constexpr ClassTable() : of() {
        for (int c = 0; c < 256; ++c) of[c] = kBad;
        for (int i = 0; i < 64; ++i) of[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
        of[static_cast<unsigned char>('=')] = of[static_cast<unsigned char>('}')] = kPad;
        for (char c : {'\r', '\n', ' ', '\t'}) of[static_cast<unsigned char>(c)] = kSpace;
    }
};
constexpr ClassTable kClasses;

inline int classify(unsigned char c) { return kClasses.of[c]; }

}  // namespace

int Base64Encode(const void* data, int length, std::string& out, bool bracePadding) {
    if (!data || length <= 0) return kBase64Ok;
    const auto* b = static_cast<const uint8_t*>(data);
    const char pad = bracePadding ? '}' : '=';
    int count = 0;
    auto emit = [&](char c) {
        out += c;
        if (++count % kLineLength == 0) {
            out += "\r\n";
            count = 0;
        }
    };
    for (int i = 0; i < length; i += 3) {
        const int left = length - i;
        const uint32_t v = uint32_t(b[i]) << 16 | (left > 1 ? uint32_t(b[i + 1]) << 8 : 0) | (left > 2 ? b[i + 2] : 0);
        const int chars = left >= 3 ? 4 : left + 1;
        for (int k = 0; k < chars; ++k) emit(kAlphabet[(v >> (18 - 6 * k)) & 63]);
        for (int k = chars; k < 4; ++k) out += pad;
    }
    return kBase64Ok;
}

int Base64EncodeString(std::string_view in, std::string& out, bool bracePadding) {
    return Base64Encode(in.data(), static_cast<int>(in.size()), out, bracePadding);
}

int Base64Decode(std::string_view in, std::vector<uint8_t>& out, uint32_t* count, Base64Foreign foreign) {
    const uint32_t before = count ? *count : 0;
    // Every four characters give at most three bytes, so in.size() bytes always hold the
    // data; the count is what could overflow.
    if (in.size() >= UINT32_MAX - before) {
        out.assign(1, 0);
        return kBase64NoRoom;
    }
    out.assign(in.size() + 1, 0);
    size_t produced = 0;
    int group[4];
    int held = 0;
    auto put = [&](uint8_t b) {
        if (produced + 1 < out.size()) out[produced++] = b;  // the last byte stays zero
    };
    for (unsigned char c : in) {
        const int v = classify(c);
        if (v == kSpace) continue;
        if (v == kBad) {
            if (foreign == Base64Foreign::kSkip) continue;
            out.assign(in.size() + 1, 0);
            return kBase64InvalidCharacter;
        }
        if (v == kPad) {
            // A mark after one or two characters gives one byte, after three two bytes.
            for (int k = held; k < 4; ++k) group[k] = 0;
            if (held >= 1) put(uint8_t(group[0] << 2 | group[1] >> 4));
            if (held == 3) put(uint8_t((group[1] & 15) << 4 | group[2] >> 2));
            break;
        }
        group[held++] = v;
        if (held == 4) {
            put(uint8_t(group[0] << 2 | group[1] >> 4));
            put(uint8_t((group[1] & 15) << 4 | group[2] >> 2));
            put(uint8_t((group[2] & 3) << 6 | group[3]));
            held = 0;
        }
    }
    if (count) *count = before + static_cast<uint32_t>(produced);
    return kBase64Ok;
}

int Base64DecodeString(std::string_view in, std::string& out, Base64Foreign foreign) {
    std::vector<uint8_t> buf;
    uint32_t n = 0;
    const int rc = Base64Decode(in, buf, &n, foreign);
    if (rc < 0) return rc;
    out.assign(reinterpret_cast<const char*>(buf.data()));  // stops at the first zero byte
    return kBase64Ok;
}

int Base64DecodeQuad(const char quad[4], int index, uint8_t* out, size_t outCapacity) {
    if (!quad || !out || index < 0) return kBase64NoRoom;
    int v[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = classify(static_cast<unsigned char>(quad[k]));
        if (v[k] == kSpace || v[k] == kBad || (v[k] == kPad && k < 2)) return kBase64InvalidCharacter;
    }
    int pads = 0;
    if (v[3] == kPad) {
        pads = v[2] == kPad ? 2 : 1;
        v[3] = 0;
        if (v[2] == kPad) v[2] = 0;
    } else if (v[2] == kPad) {
        return kBase64InvalidCharacter;  // a pad in third place needs one in fourth
    }
    const size_t at = static_cast<size_t>(index / 4) * 3;
    if (at > outCapacity || outCapacity - at < 3) return kBase64NoRoom;
    const uint32_t value = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    out[at] = uint8_t(value >> 16);
    out[at + 1] = uint8_t(value >> 8);
    out[at + 2] = uint8_t(value);
    return pads;
}

int Base64EncodeTriple(char* buf, size_t capacity, const uint8_t bytes[3], int pad) {
    if (!buf || !bytes) return kBase64NoRoom;
    const size_t len = strnlen(buf, capacity);
    if (len == capacity || capacity - len < 5) return kBase64NoRoom;
    const uint32_t v = uint32_t(bytes[0]) << 16 | uint32_t(bytes[1]) << 8 | bytes[2];
    for (int k = 0; k < 4; ++k) buf[len + k] = kAlphabet[(v >> (18 - 6 * k)) & 63];
    if (pad >= 1) buf[len + 3] = '=';
    if (pad >= 2) buf[len + 2] = '=';
    buf[len + 4] = '\0';
    return kBase64Ok;
}

}  // namespace tess
