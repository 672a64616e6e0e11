#pragma once
// Unsigned integers on 16-bit digits (ksInt and its product and reduced
// records). Operations return 0; yes/no answers come back through a flag with
// 1 = yes. Reduced and product records share the general record's head, so
// they are passed through the asInt views below; no operation touches a digit
// beyond the capacity of the record it writes.
#include <cstdint>

#include "crypto/kestrel.h"

namespace tess::crypto::mp {

inline constexpr uint32_t kGeneralDigits = 32;
inline constexpr uint32_t kProductDigits = 34;
inline constexpr uint32_t kReducedDigits = 18;
inline constexpr uint32_t kModulusDigits = 16;

template <typename Record>
inline ksInt* asInt(Record* r) {
    return reinterpret_cast<ksInt*>(r);
}
template <typename Record>
inline const ksInt* asInt(const Record* r) {
    return reinterpret_cast<const ksInt*>(r);
}

// Outputs named `out` without another type are general records.
uint32_t mpAdd(const ksInt* a, const ksInt* b, ksInt* out);
uint32_t mpSubtract(const ksInt* a, const ksInt* b, ksInt* out);
uint32_t mpMultiply(const ksInt* a, const ksInt* b, ksIntProduct* out);
// quotient (a general record) may be null; the remainder may be a itself.
// 1 for a zero divisor or one above 16 digits.
uint32_t mpDivide(const ksInt* a, const ksInt* m, ksInt* quotient, ksIntReduced* remainder);
uint32_t mpDivideByDigit(const ksInt* a, uint16_t divisor, ksInt* quotient, uint16_t* remainder);
uint32_t mpMod(const ksInt* a, const ksInt* m, ksIntReduced* out);
uint32_t mpSetWord(ksInt* out, uint32_t value);
uint32_t mpShiftLeft(const uint16_t* digits, uint32_t count, uint32_t shift, uint16_t* out, uint32_t capacity,
                     uint32_t* outCount);
uint32_t mpShiftRight(const uint16_t* digits, uint32_t count, uint32_t shift, uint16_t* out, uint32_t capacity,
                      uint32_t* outCount);
uint32_t mpModInverse(const ksInt* a, const ksInt* n, ksIntReduced* out, uint32_t* flag);
uint32_t mpModSubtract(const ksInt* a, const ksInt* b, const ksInt* n, ksIntReduced* out);
uint32_t mpBitLength(const ksInt* a, uint32_t* bits);
uint32_t mpByteLength(const ksInt* a, uint32_t* length);
// 1 (output untouched) when the index is not below 16 * count.
uint32_t mpTestBit(const ksInt* a, uint32_t index, uint32_t* bit);
uint32_t mpEqual(const ksInt* a, const ksInt* b, uint32_t* flag);
uint32_t mpLessOrEqual(const ksInt* a, const ksInt* b, uint32_t* flag);
uint32_t mpLess(const ksInt* a, const ksInt* b, uint32_t* flag);

}  // namespace tess::crypto::mp
