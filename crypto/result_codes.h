#pragma once
// Result codes: group * 256 + index, every group of the library defined here
// once. Texts in error_messages.cpp, in the same order.
#include <cstdint>

namespace tess::crypto {

enum Code : uint32_t {
    // General.
    kOk = 0,
    kNotInitialized = 0x01,
    kNoGlobalData = 0x02,
    kFailed = 0x03,
    kBufferLength = 0x04,
    kNoContext = 0x05,
    kInputLength = 0x06,
    kOutputLength = 0x07,
    kNoBuffer = 0x08,
    kNoBufferLength = 0x09,
    kContextNotInitialized = 0x0A,
    kNoInput = 0x0B,
    kNoOutput = 0x0D,
    kNoLength = 0x0E,
    kNoFlag = 0x0F,
    kNotImplemented = 0x10,

    // Certificates.
    kBadCertificate = 0x100,
    kBadCertificateLength = 0x101,
    kBadUserDataLength = 0x104,
    kNoCertificate = 0x105,
    kNoCertificateInfo = 0x106,

    // DES.
    kDesBadAlgorithm = 0x200,
    kDesWeakKey = 0x201,
    kDesBadParity = 0x202,
    kDesBadRequest = 0x203,
    kDesKeyCount = 0x204,
    kDesNoRequest = 0x205,
    kDesNoPlaintext = 0x206,
    kDesNoCiphertext = 0x207,

    // Control information (ECES and ECAES).
    kNoInformation = 0x300,
    kNoLengthReference = 0x301,

    // Key agreement.
    kBadRemoteKey = 0x400,
    kBadLocalKey = 0x401,
    kBadLocalPrivateKey = 0x402,
    kBadRemotePublicKey = 0x403,
    kNoLocalKey = 0x404,
    kNoRemoteKey = 0x405,
    kNoRemotePublicKey = 0x406,
    kBadProtectedLocalKey = 0x407,
    kNoProtectedLocalKey = 0x408,

    kBadErrorCode = 0x500,

    // Library context and curve.
    kBadDataSize = 0x600,
    kBadCurve = 0x601,
    kBadHeapSize = 0x602,
    kBadPointCompression = 0x604,
    kNoDataSpace = 0x605,
    kNoHeapSpace = 0x606,
    kNoOptions = 0x607,
    kNoCurve = 0x608,
    kBadEcesCompression = 0x609,

    // Keys and passwords.
    kBadNewPasswordLength = 0x700,
    kBadPasswordLength = 0x701,
    kBadPrivateKey = 0x702,
    kBadProtectedKey = 0x703,
    kBadPublicKey = 0x704,
    kNoPrivateKey = 0x705,
    kNoProtectedKey = 0x706,
    kNoPublicKey = 0x707,
    kNoNewPassword = 0x708,
    kNoPassword = 0x709,
    kNoOldStyleKey = 0x70A,
    kNoNewStyleKey = 0x70B,
    kBadOldStyleKey = 0x70C,
    kBadNewStyleKey = 0x70D,

    // Random number generator.
    kRngBadInput = 0x801,
    kRngBadType = 0x802,
    kRngBadSeedLength = 0x803,

    // ARC4.
    kArc4NoRequest = 0x900,
    kArc4BadKeySize = 0x901,

    // Signatures: ECDSA, EC-NR, DSA.
    kEcdsaBadSignature = 0xA00,
    kEcdsaNoSignature = 0xA01,
    kEcnrBadSignature = 0xB00,
    kEcnrNoSignature = 0xB01,

    // Integer-group public parameters (DSA, integer Diffie-Hellman).
    kBadParameters = 0xE00,
    kNoParameters = 0xE01,

    kDsaBadSignature = 0xF00,
    kDsaNoSignature = 0xF01,

    // HMAC.
    kHmacBadKey = 0x1100,
    kHmacNoKey = 0x1101,
};

}  // namespace tess::crypto
