#pragma once
// Result codes: group * 256 + index. Texts in error_messages.cpp.
#include <cstdint>

namespace ks {

enum Code : uint32_t {
    kOk = 0,
    kNotInitialized = 0x01,
    kNoGlobalData = 0x02,
    kFailed = 0x03,
    kBufferLength = 0x04,
    kNoContext = 0x05,
    kInputLength = 0x06,
    kOutputLength = 0x07,
    kNoBuffer = 0x08,
    kContextNotInitialized = 0x0A,
    kNoInput = 0x0B,
    kNoOutput = 0x0D,
    kNotImplemented = 0x10,

    kDesBadAlgorithm = 0x200,
    kDesWeakKey = 0x201,
    kDesBadParity = 0x202,
    kDesBadRequest = 0x203,
    kDesKeyCount = 0x204,
    kDesNoRequest = 0x205,
    kDesNoPlaintext = 0x206,
    kDesNoCiphertext = 0x207,

    kBadErrorCode = 0x500,

    kBadDataSize = 0x600,
    kBadCurve = 0x601,
    kBadHeapSize = 0x602,
    kBadPointCompression = 0x604,
    kNoDataSpace = 0x605,
    kNoHeapSpace = 0x606,
    kNoOptions = 0x607,
    kNoCurve = 0x608,
    kBadEcesCompression = 0x609,

    kRngBadInput = 0x801,
    kRngBadType = 0x802,
    kRngBadSeedLength = 0x803,

    kArc4NoRequest = 0x900,
    kArc4BadKeySize = 0x901,

    kHmacBadKey = 0x1100,
    kHmacNoKey = 0x1101,
};

}  // namespace ks
