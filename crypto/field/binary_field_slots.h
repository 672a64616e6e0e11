// Slot functions and method tables of the fixed binary-field modules, for
// one multiplication kind. Included once by the portable unit and once by
// the carry-less unit, each with its own KESTREL_GF2M_INSTR.
#pragma once

#include "crypto/field/binary_field_arith.h"
#include "crypto/field/binary_field_modules.h"
#include "crypto/wipe.h"

namespace tess::crypto::gf2m {
namespace {

struct F113 : Field<113, 9> {
    static constexpr int kTraceOne[] = {0};
};
struct F131 : Field<131, 7, 6, 5, 4, 1> {
    static constexpr int kTraceOne[] = {0, 125, 127};
};
struct F163 : Field<163, 7, 6, 3> {
    static constexpr int kTraceOne[] = {0, 157};
};
struct F191 : Field<191, 120> {
    static constexpr int kTraceOne[] = {0, 71, 142};
};
struct F233 : Field<233, 74> {
    static constexpr int kTraceOne[] = {0, 159};
};
struct F239 : Field<239, 158> {
    static constexpr int kTraceOne[] = {0, 81, 162};
};

using Conv = uint32_t (*)(ksGlobalData*, const ksFieldElement*, ksFieldElement*);

template <class F, bool I, Conv FromStd, Conv ToStd>
struct Module {
    static constexpr int n = F::kWords32;
    using Elem = typename F::Elem;

    static uint32_t add(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* o) {
        for (int i = 0; i < n; ++i) o->words[i] = a->words[i] ^ b->words[i];
        return 0;
    }
    static uint32_t invert(ksGlobalData*, const ksFieldElement* a, ksFieldElement* o) {
        Elem x, r;
        F::load(a, x);
        F::template inv<I>(x, r);
        F::store(r, o);
        return 0;
    }
    static uint32_t lowBit(ksGlobalData*, const ksFieldElement* a) { return a->words[0] & 1; }
    static uint32_t multiply(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b, ksFieldElement* o) {
        Elem x, y, r;
        F::load(a, x);
        F::load(b, y);
        F::template mul<I>(x, y, r);
        F::store(r, o);
        return 0;
    }
    static uint32_t one(ksGlobalData*, ksFieldElement* o) {
        o->words[0] = 1;
        for (int i = 1; i < n; ++i) o->words[i] = 0;
        return 0;
    }
    static uint32_t zero(ksGlobalData*, ksFieldElement* o) {
        for (int i = 0; i < n; ++i) o->words[i] = 0;
        return 0;
    }
    static uint32_t square(ksGlobalData*, const ksFieldElement* a, ksFieldElement* o) {
        Elem x, r;
        F::load(a, x);
        F::template sqr<I>(x, r);
        F::store(r, o);
        return 0;
    }
    static uint32_t equal(ksGlobalData*, const ksFieldElement* a, const ksFieldElement* b) {
        uint32_t d = 0;
        for (int i = 0; i < n; ++i) d |= a->words[i] ^ b->words[i];
        return d == 0;
    }
    static uint32_t isZero(ksGlobalData*, const ksFieldElement* a) {
        uint32_t d = 0;
        for (int i = 0; i < n; ++i) d |= a->words[i];
        return d == 0;
    }
    static uint32_t isOne(ksGlobalData*, const ksFieldElement* a) {
        uint32_t d = a->words[0] ^ 1;
        for (int i = 1; i < n; ++i) d |= a->words[i];
        return d == 0;
    }
    // z with z^2 + z = a (the half-trace) and 1; 0 when Tr(a) = 1.
    static uint32_t solveQuadratic(ksGlobalData*, const ksFieldElement* a, ksFieldElement* o) {
        uint32_t tr = 0;
        for (int p : F::kTraceOne) tr ^= (a->words[p / 32] >> (p % 32)) & 1;
        if (tr) return 0;
        Elem x, r;
        F::load(a, x);
        F::template halfTrace<I>(x, r);
        F::store(r, o);
        return 1;
    }

    static void condSwap(Elem a, Elem b, u64 mask) {
        for (int i = 0; i < F::kWords; ++i) {
            const u64 t = (a[i] ^ b[i]) & mask;
            a[i] ^= t;
            b[i] ^= t;
        }
    }

    static void ladder(const ksFieldElement* xe, const ksFieldElement* be, const uint32_t* bits, uint32_t nbits,
                       ksFieldElement* x1e, ksFieldElement* z1e, ksFieldElement* x2e, ksFieldElement* z2e) {
        Elem x, b, x1{}, z1{}, x2, z2{}, a, c, t1, t2;
        F::load(xe, x);
        F::load(be, b);
        bool bIsOne = b[0] == 1;
        for (int i = 1; i < F::kWords; ++i) bIsOne = bIsOne && b[i] == 0;
        if constexpr (I && F::kIs233) {
            Clmul233::LadderState s;
            Clmul233::ladder(Clmul233::load(x), Clmul233::load(b), bIsOne, bits, nbits, s);
            Clmul233::store(s.x1, x1);
            Clmul233::store(s.z1, z1);
            Clmul233::store(s.x2, x2);
            Clmul233::store(s.z2, z2);
            wipe(&s, sizeof s);
        } else {
            x1[0] = 1;
            z2[0] = 1;
            for (int i = 0; i < F::kWords; ++i) x2[i] = x[i];
            for (uint32_t i = nbits; i-- > 0;) {
                const u64 mask = 0 - u64((bits[i / 32] >> (i % 32)) & 1);
                condSwap(x1, x2, mask);
                condSwap(z1, z2, mask);
                F::template mul<I>(x1, z2, a);
                F::template mul<I>(x2, z1, c);
                for (int w = 0; w < F::kWords; ++w) t1[w] = a[w] ^ c[w];
                F::template sqr<I>(t1, z2);
                F::template mul<I>(a, c, t1);
                F::template mul<I>(x, z2, t2);
                for (int w = 0; w < F::kWords; ++w) x2[w] = t1[w] ^ t2[w];
                F::template sqr<I>(x1, t1);
                F::template sqr<I>(z1, t2);
                F::template mul<I>(t1, t2, z1);
                if (bIsOne) {
                    for (int w = 0; w < F::kWords; ++w) t1[w] ^= t2[w];
                    F::template sqr<I>(t1, x1);
                } else {
                    F::template sqr<I>(t1, t1);
                    F::template sqr<I>(t2, t2);
                    F::template mul<I>(t2, b, t2);
                    for (int w = 0; w < F::kWords; ++w) x1[w] = t1[w] ^ t2[w];
                }
                condSwap(x1, x2, mask);
                condSwap(z1, z2, mask);
            }
        }
        F::store(x1, x1e);
        F::store(z1, z1e);
        F::store(x2, x2e);
        F::store(z2, z2e);
        Elem* secrets[] = {&x1, &z1, &x2, &z2, &a, &c, &t1, &t2};
        for (Elem* e : secrets) wipe(*e, sizeof *e);
    }

    static constexpr ksFieldMethods table = {
        add,   invert,         lowBit,  multiply, one,     zero,    square,  equal, isZero,
        isOne, solveQuadratic, nullptr, nullptr,  nullptr, nullptr, FromStd, ToStd,
    };
};

constexpr bool kInstr = KESTREL_GF2M_INSTR;
using namespace tess::crypto::basis;

constexpr const ksFieldMethods* kTables[kBinaryModuleCount] = {
    &Module<F113, kInstr, copy4, copy4>::table,
    &Module<F131, kInstr, fromNormal131, toNormal131>::table,
    &Module<F163, kInstr, copy6, copy6>::table,
    &Module<F163, kInstr, reverse163, reverse163>::table,
    &Module<F191, kInstr, fromNormal191, toNormal191>::table,
    &Module<F233, kInstr, copy8, copy8>::table,
    &Module<F239, kInstr, copy8, copy8>::table,
    &Module<F239, kInstr, fromNormal239, toNormal239>::table,
};

constexpr BinaryLadder kLadders[kBinaryModuleCount] = {
    Module<F113, kInstr, copy4, copy4>::ladder,
    Module<F131, kInstr, fromNormal131, toNormal131>::ladder,
    Module<F163, kInstr, copy6, copy6>::ladder,
    Module<F163, kInstr, reverse163, reverse163>::ladder,
    Module<F191, kInstr, fromNormal191, toNormal191>::ladder,
    Module<F233, kInstr, copy8, copy8>::ladder,
    Module<F239, kInstr, copy8, copy8>::ladder,
    Module<F239, kInstr, fromNormal239, toNormal239>::ladder,
};

}  // namespace
}  // namespace tess::crypto::gf2m
