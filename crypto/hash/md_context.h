#pragma once
// Begin/Hash/End rules shared by the MD5 and MD2 contexts: a missing data
// pointer or digest record is refused without wiping, and End ends the context.
#include "crypto/primitive_context.h"

namespace tess::crypto {

template <typename State>
struct MdContextLayout {
    uint32_t magic;
    State state;
};

template <typename State, typename Public, uint32_t (*Init)(State*)>
ksErrorCode mdBegin(Public* ctx) {
    if (ctx == nullptr) return kNoContext;
    auto* c = layoutAs<MdContextLayout<State>>(ctx);
    c->magic = 0;
    Init(&c->state);
    c->magic = KS_MAGIC;
    return kOk;
}

template <typename State, typename Public, uint32_t (*Update)(uint32_t, const uint8_t*, State*)>
ksErrorCode mdHash(Public* ctx, uint32_t length, const uint8_t* data) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (length == 0) return kOk;
    if (data == nullptr) return kNoInput;
    Update(length, data, &layoutAs<MdContextLayout<State>>(ctx)->state);
    return kOk;
}

template <typename State, typename Public, uint32_t (*Finish)(State*, uint8_t*)>
ksErrorCode mdEnd(Public* ctx, ksDigest* digest) {
    if (const ksErrorCode rc = checkPrimitive(ctx)) return rc;
    if (digest == nullptr) return kNoOutput;
    auto* c = layoutAs<MdContextLayout<State>>(ctx);
    Finish(&c->state, digest->digest);
    digest->length = 16;
    c->magic = 0;
    return kOk;
}

}  // namespace tess::crypto
