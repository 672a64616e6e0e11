// Compact certificates: length-prefixed public key and user data, signed by a
// CA through the ECDSA or EC-NR streaming calls.
#include <cstring>

#include "crypto/global_data.h"
#include "crypto/kestrel_protocols.h"
#include "crypto/result_codes.h"
#include "crypto/wipe.h"

namespace tess::crypto {
namespace {

constexpr uint32_t kMaxKey = 65;
constexpr uint32_t kMaxUserData = 255;
constexpr uint32_t kMaxSignature = 64;
constexpr uint32_t kMaxCertificate = 389;

enum class Scheme { Ecdsa, Ecnr };

// A signing credential: the CA's private key, or its protected key and password.
struct Credential {
    const ksPrivateKey* key;
    uint32_t passwordLength;
    const uint8_t* password;
    const ksProtectedKey* protectedKey;
};

uint32_t readLength(const uint8_t* at, uint32_t width) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < width; ++i) v = (v << 8) | at[i];
    return v;
}

void writeLength(uint32_t v, uint32_t width, uint8_t* at) {
    for (uint32_t i = 0; i < width; ++i) at[i] = uint8_t(v >> (8 * (width - 1 - i)));
}

ksErrorCode mapSigning(ksErrorCode rc) {
    switch (rc) {
    case 0:
    case 1:
    case 2:
    case kBadPasswordLength:
    case kBadPrivateKey:
    case kBadProtectedKey:
    case kNoPrivateKey:
    case kNoProtectedKey:
    case kNoPassword: return rc;
    default: return kFailed;
    }
}

ksErrorCode mapVerifying(ksErrorCode rc) {
    switch (rc) {
    case 0:
    case 1:
    case 2:
    case kNoOutput:
    case kBadCertificateLength:
    case kBadPublicKey:
    case kNoPublicKey: return rc;
    default: return kFailed;
    }
}

ksErrorCode sign(ksGlobalData* gd, Scheme scheme, const uint8_t* data, uint32_t length, const Credential& c,
                 ksSignature* sig) {
    if (scheme == Scheme::Ecdsa) {
        ksEcdsaContext ctx{};
        ksErrorCode rc = ks_ecdsaSignBegin(gd, &ctx);
        if (rc == kOk) rc = ks_ecdsaSign(gd, length, data, &ctx);
        if (rc == kOk)
            rc = c.key ? ks_ecdsaSignEnd(gd, c.key, sig, &ctx)
                       : ks_ecdsaPwdSignEnd(gd, c.passwordLength, c.password, c.protectedKey, sig, &ctx);
        wipeObject(ctx);
        return rc;
    }
    ksEcnrContext ctx{};
    ksErrorCode rc = ks_ecnrSignBegin(gd, &ctx);
    if (rc == kOk) rc = ks_ecnrSign(gd, length, data, &ctx);
    if (rc == kOk)
        rc = c.key ? ks_ecnrSignEnd(gd, c.key, &ctx, sig)
                   : ks_ecnrPwdSignEnd(gd, c.passwordLength, c.password, c.protectedKey, &ctx, sig);
    wipeObject(ctx);
    return rc;
}

ksErrorCode issue(ksGlobalData* gd, Scheme scheme, const ksCertificateInfo* info, const Credential& credential,
                  ksCertificate* cert) {
    if (info == nullptr) return kNoCertificateInfo;
    if (cert == nullptr) return kNoCertificate;
    const uint32_t p = info->publicKey.length;
    const uint32_t u = info->userDataLength;
    if (p == 0 || p > kMaxKey) return kBadPublicKey;
    if (u == 0 || u > kMaxUserData) return kBadUserDataLength;
    uint8_t* out = cert->certificate;
    writeLength(p, 2, out);
    std::memcpy(out + 2, info->publicKey.key, p);
    writeLength(u, 1, out + 2 + p);
    std::memcpy(out + 3 + p, info->userData, u);
    const uint32_t t = p + u + 3;
    ksSignature sig{};
    if (const ksErrorCode rc = sign(gd, scheme, out, t, credential, &sig)) return mapSigning(rc);
    if (sig.length > kMaxSignature) return kFailed;
    writeLength(sig.length, 2, out + t);
    std::memcpy(out + t + 2, sig.signature, sig.length);
    cert->length = sig.length + t + 2;
    return kOk;
}

// The fields of a certificate, read within its 389-octet area.
struct Fields {
    uint32_t p, u, t, s;
    const uint8_t* key;
    const uint8_t* userData;
    const uint8_t* signature;
};

ksErrorCode readFields(const ksCertificate& cert, Fields* f) {
    const uint8_t* c = cert.certificate;
    f->p = readLength(c, 2);
    if (f->p > kMaxKey) return kFailed;
    if (f->p == 0) return kBadCertificate;
    f->key = c + 2;
    f->u = readLength(c + 2 + f->p, 1);
    if (f->u == 0) return kBadCertificate;
    f->userData = c + 3 + f->p;
    f->t = f->p + f->u + 3;
    f->s = readLength(c + f->t, 2);
    if (f->s > kMaxSignature) return kFailed;
    f->signature = c + f->t + 2;
    return kOk;
}

ksErrorCode verifyCertificate(ksGlobalData* gd, Scheme scheme, const ksCertificate* cert, const ksPublicKey* ca,
                              uint32_t* valid) {
    if (cert == nullptr) return kNoCertificate;
    if (valid == nullptr) return kNoOutput;
    if (cert->length == 0 || cert->length > kMaxCertificate) return kBadCertificateLength;
    Fields f{};
    if (const ksErrorCode rc = readFields(*cert, &f)) return rc;
    if (cert->length != f.s + f.t + 2) return kBadCertificateLength;
    ksSignature sig{};
    sig.length = f.s;
    std::memcpy(sig.signature, f.signature, f.s);
    uint32_t flag = 0;
    ksErrorCode rc;
    if (scheme == Scheme::Ecdsa) {
        ksEcdsaContext ctx{};
        rc = mapVerifying(ks_ecdsaVerifyBegin(gd, &ctx));
        if (rc == kOk) rc = mapSigning(ks_ecdsaVerify(gd, f.t, cert->certificate, &ctx));
        if (rc == kOk) rc = mapVerifying(ks_ecdsaVerifyEnd(gd, ca, &sig, &ctx, &flag));
        wipeObject(ctx);
    } else {
        ksEcnrContext ctx{};
        rc = mapVerifying(ks_ecnrVerifyBegin(gd, &ctx));
        if (rc == kOk) rc = mapSigning(ks_ecnrVerify(gd, f.t, cert->certificate, &ctx));
        if (rc == kOk) rc = mapVerifying(ks_ecnrVerifyEnd(gd, ca, &sig, &ctx, &flag));
        wipeObject(ctx);
    }
    if (rc != kOk) return rc;
    *valid = flag != 0 ? 1 : 0;
    return kOk;
}

}  // namespace
}  // namespace tess::crypto

using namespace tess::crypto;

ksErrorCode ks_ecdsaGenCert(ksGlobalData* gd, const ksCertificateInfo* info, const ksPrivateKey* caPrivateKey,
                            ksCertificate* certificate) {
    return issue(gd, Scheme::Ecdsa, info, Credential{caPrivateKey, 0, nullptr, nullptr}, certificate);
}

ksErrorCode ks_ecdsaPwdGenCert(ksGlobalData* gd, const ksCertificateInfo* info, uint32_t passwordLength,
                               const uint8_t* password, const ksProtectedKey* caProtectedKey,
                               ksCertificate* certificate) {
    return issue(gd, Scheme::Ecdsa, info, Credential{nullptr, passwordLength, password, caProtectedKey}, certificate);
}

ksErrorCode ks_ecnrGenCert(ksGlobalData* gd, const ksCertificateInfo* info, const ksPrivateKey* caPrivateKey,
                           ksCertificate* certificate) {
    return issue(gd, Scheme::Ecnr, info, Credential{caPrivateKey, 0, nullptr, nullptr}, certificate);
}

ksErrorCode ks_ecnrPwdGenCert(ksGlobalData* gd, const ksCertificateInfo* info, uint32_t passwordLength,
                              const uint8_t* password, const ksProtectedKey* caProtectedKey,
                              ksCertificate* certificate) {
    return issue(gd, Scheme::Ecnr, info, Credential{nullptr, passwordLength, password, caProtectedKey}, certificate);
}

ksErrorCode ks_ecdsaVerifyCert(ksGlobalData* gd, const ksCertificate* certificate, const ksPublicKey* caPublicKey,
                               uint32_t* valid) {
    return verifyCertificate(gd, Scheme::Ecdsa, certificate, caPublicKey, valid);
}

ksErrorCode ks_ecnrVerifyCert(ksGlobalData* gd, const ksCertificate* certificate, const ksPublicKey* caPublicKey,
                              uint32_t* valid) {
    return verifyCertificate(gd, Scheme::Ecnr, certificate, caPublicKey, valid);
}

ksErrorCode ks_ecdsaParseCert(ksGlobalData* gd, const ksCertificate* certificate, ksCertificateInfo* info) {
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    if (certificate == nullptr) return kNoCertificate;
    if (info == nullptr) return kNoCertificateInfo;
    if (certificate->length == 0 || certificate->length > kMaxCertificate) return kBadCertificateLength;
    const uint8_t* c = certificate->certificate;
    const uint32_t p = readLength(c, 2);
    if (p > kMaxKey) return kFailed;
    info->publicKey.length = p;
    std::memcpy(info->publicKey.key, c + 2, p);
    if (p == 0) return kBadCertificate;
    const uint32_t u = readLength(c + 2 + p, 1);
    info->userDataLength = u;
    std::memcpy(info->userData, c + 3 + p, u);
    if (u == 0) return kBadCertificate;
    Fields f{};
    if (const ksErrorCode rc = readFields(*certificate, &f)) return rc;
    return certificate->length == f.s + f.t + 2 ? kOk : kBadCertificateLength;
}

ksErrorCode ks_ecnrParseCert(ksGlobalData* gd, const ksCertificate* certificate, ksCertificateInfo* info) {
    return ks_ecdsaParseCert(gd, certificate, info);
}
