// The context's field module, looked up once per curve operation and called
// slot by slot in the inner loops.
#pragma once

#include "crypto/field/field_element.h"

namespace tess::crypto {

struct FieldOps {
    ksGlobalData* gd;
    const ksFieldMethods* f;

    explicit FieldOps(ksGlobalData* g) : gd(g), f(fieldMethodsOf(g)) {}
    bool ok() const { return f != nullptr; }

    void add(const ksFieldElement& a, const ksFieldElement& b, ksFieldElement& o) const { f->add(gd, &a, &b, &o); }
    void sub(const ksFieldElement& a, const ksFieldElement& b, ksFieldElement& o) const { f->subtract(gd, &a, &b, &o); }
    void mul(const ksFieldElement& a, const ksFieldElement& b, ksFieldElement& o) const { f->multiply(gd, &a, &b, &o); }
    void sqr(const ksFieldElement& a, ksFieldElement& o) const {
        const ksFieldElement t = a;
        f->square(gd, &t, &o);
    }
    void neg(const ksFieldElement& a, ksFieldElement& o) const { f->negate(gd, &a, &o); }
    void one(ksFieldElement& o) const { f->one(gd, &o); }
    void zero(ksFieldElement& o) const { f->zero(gd, &o); }
    bool isZero(const ksFieldElement& a) const { return f->isZero(gd, &a) == 1; }
    bool equal(const ksFieldElement& a, const ksFieldElement& b) const { return f->equal(gd, &a, &b) == 1; }
    // 1 and o untouched when a is zero.
    uint32_t inv(const ksFieldElement& a, ksFieldElement& o) const {
        if (isZero(a)) return 1;
        f->invert(gd, &a, &o);
        return 0;
    }
};

}  // namespace tess::crypto
