// The text of every result code, and ks_errorMessage.
#include <array>
#include <cstring>
#include <span>
#include <string_view>

#include "crypto/kestrel.h"
#include "crypto/result_codes.h"

namespace {

using Texts = std::span<const std::string_view>;

constexpr std::string_view kGeneral[] = {"Successfully completed the operation",
                                         "Not initialized",
                                         "No global data",
                                         "Unsuccessfully completed operation",
                                         "Buffer length out of range",
                                         "No context",
                                         "Input buffer length out of range",
                                         "Output buffer length out of range",
                                         "No buffer",
                                         "No buffer length",
                                         "Context is not initialized",
                                         "No input buffer",
                                         "No input buffer length",
                                         "No output buffer",
                                         "No output buffer length",
                                         "No flag",
                                         "Not implemented"};
constexpr std::string_view kCertificate[] = {
    "Bad certificate",      "Bad certificate length", "Bad certificate information length", "Bad signature length",
    "Bad user data length", "No certificate",         "No certificate information",         "No user data"};
constexpr std::string_view kDes[] = {
    "Unrecognized DES algorithm",         "Weak DES key",           "Bad DES key parity",  "Bad DES context request",
    "Too few DES keys for DES algorithm", "No DES context request", "No plaintext buffer", "No cyphertext buffer"};
constexpr std::string_view kControl[] = {"Missing control information buffer", "No length"};
constexpr std::string_view kKeyAgreement[] = {
    "Bad remote key", "Bad local key",        "Bad local private key",   "Bad remote public key", "No local key",
    "No remote key",  "No remote public key", "Bad protected local key", "No protected local key"};
constexpr std::string_view kUnknown[] = {"Bad error return code"};
constexpr std::string_view kInit[] = {"Bad data size",
                                      "Bad elliptic curve parameters",
                                      "Bad heap size",
                                      "Bad options list",
                                      "Bad point compression flag",
                                      "No data space",
                                      "No heap space",
                                      "No options list",
                                      "No elliptic curve parameters",
                                      "Bad ECES compression flag option"};
constexpr std::string_view kKeys[] = {"Out-of-range new password length",
                                      "Out-of-range password length",
                                      "Bad private key",
                                      "Bad protected private key",
                                      "Bad public key",
                                      "No private key",
                                      "No protected private key",
                                      "No public key",
                                      "No new password",
                                      "No password",
                                      "Null pointer passed for old-style public key",
                                      "Null pointer passed for new-style public key",
                                      "Invalid old-style public key",
                                      "Invalid new-style public key"};
constexpr std::string_view kRng[] = {"Seed is not initialized",
                                     "Bad random input",
                                     "Random number generator type out-of-range",
                                     "Bad seed length",
                                     "No random number generator type",
                                     "No seed"};
constexpr std::string_view kArc4[] = {"No ARC4 context request", "Bad ARC4 key size"};
constexpr std::string_view kEcdsa[] = {"Bad EC-DSA signature", "No EC-DSA signature"};
constexpr std::string_view kEcnr[] = {"Bad EC-NR signature", "No EC-NR signature"};
constexpr std::string_view kWrp[] = {"This code is reserved for WRP"};
constexpr std::string_view kSha[] = {"This code is reserved for SHA"};
constexpr std::string_view kPublicParams[] = {"Bad public parameters", "No public parameters"};
constexpr std::string_view kDsa[] = {"Bad DSA signature", "No DSA signature"};
constexpr std::string_view kReserved[] = {"This code is reserved"};
constexpr std::string_view kHmac[] = {"Bad HMAC key", "No HMAC key"};
constexpr std::string_view kContributions[] = {"No user private key contribution",
                                               "No user public key contribution",
                                               "No CA private key contribution",
                                               "No CA public key contribution",
                                               "No CA's private key",
                                               "No CA's public key",
                                               "No private key reconstruction value",
                                               "No public key reconstruction value"};

constexpr std::array<Texts, 19> kGroups = {
    Texts(kGeneral), Texts(kCertificate), Texts(kDes),  Texts(kControl),      Texts(kKeyAgreement),
    Texts(kUnknown), Texts(kInit),        Texts(kKeys), Texts(kRng),          Texts(kArc4),
    Texts(kEcdsa),   Texts(kEcnr),        Texts(kWrp),  Texts(kSha),          Texts(kPublicParams),
    Texts(kDsa),     Texts(kReserved),    Texts(kHmac), Texts(kContributions)};

}  // namespace

ksErrorCode ks_errorMessage(ksErrorCode code, uint32_t size, char* buffer) {
    const uint32_t group = (code >> 8) & 0xFF;
    const uint32_t index = code & 0xFF;
    if (group >= kGroups.size()) return tess::crypto::kBadErrorCode;
    const Texts texts = kGroups[group];
    if (index >= texts.size()) return tess::crypto::kBadErrorCode;
    const std::string_view text = texts[index];
    // The buffer must hold the text and its NUL; the size is judged before the pointer.
    if (size <= text.size()) return tess::crypto::kOutputLength;
    if (buffer == nullptr) return tess::crypto::kNoOutput;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return tess::crypto::kOk;
}
