#pragma once
// The general base64 coder (standard alphabet). The encoder breaks lines with CR LF
// after every 70 characters and pads with "=" or, when asked, "}". The decoders take
// either pad as the end mark.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tess {

enum : int {
    kBase64Ok = 0,
    kBase64InvalidCharacter = -1,  // a byte outside the alphabet, the pads and white space
    kBase64NoRoom = -2,            // the output buffer cannot take the group
};

// Appends the encoding of length bytes to out; 0 or less appends nothing. Returns 0.
int Base64Encode(const void* data, int length, std::string& out, bool bracePadding);
int Base64EncodeString(std::string_view in, std::string& out, bool bracePadding);

// What the decoders do with a byte outside the alphabet, the pads and white space.
// kRefuse is for texts this system wrote itself (record ids, sealed passwords): there a
// stray byte means damage, and a partly decoded id could name another message. kSkip is
// for mail, where MIME has decoders pass over such bytes (line noise, a mailer's
// markers) and decode the rest.
enum class Base64Foreign { kRefuse, kSkip };

// Decodes in into out (resized to in.size() + 1 zero bytes, so the data is always
// followed by a zero byte) and adds the number of bytes produced to *count. Line breaks,
// blanks and tabs are skipped; "=" or "}" ends the data. Any other byte outside the
// alphabet is skipped under kSkip; under kRefuse it fails the whole decode:
// kBase64InvalidCharacter, out all zero, *count unchanged. kBase64NoRoom (out all zero,
// *count unchanged) when the count would overflow.
int Base64Decode(std::string_view in, std::vector<uint8_t>& out, uint32_t* count,
                 Base64Foreign foreign = Base64Foreign::kRefuse);
// Decodes and keeps the result up to its first zero byte. 0, or Base64Decode's error.
int Base64DecodeString(std::string_view in, std::string& out, Base64Foreign foreign = Base64Foreign::kRefuse);

// One group of four characters into three bytes at out + (index / 4) * 3, within
// outCapacity bytes. Returns the number of pads (0, 1 or 2), kBase64InvalidCharacter for
// a character outside the alphabet (nothing written), kBase64NoRoom when the three bytes
// would not fit.
int Base64DecodeQuad(const char quad[4], int index, uint8_t* out, size_t outCapacity);
// Appends the four characters for three bytes to the NUL-terminated text in buf (of
// capacity bytes); pad 1 makes the fourth "=", 2 the third and the fourth. Returns 0, or
// kBase64NoRoom (text unchanged).
int Base64EncodeTriple(char* buf, size_t capacity, const uint8_t bytes[3], int pad);

}  // namespace tess
