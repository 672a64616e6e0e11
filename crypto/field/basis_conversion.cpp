// Standard forms of the fixed binary fields other than the polynomial basis:
// the type 2 optimal normal basis (m = 131, 191, 239) and the bit-reversed
// polynomial basis (m = 163). The arithmetic never sees them; they are
// applied only when an element enters or leaves as octets.
#include <array>
#include <cstring>

#include "crypto/field/binary_field_modules.h"

namespace tess::crypto::basis {
namespace {

inline bool bit(const ksFieldElement* e, int i) { return (e->words[i / 32] >> (i % 32)) & 1; }

template <int N>
uint32_t copyWords(const ksFieldElement* in, ksFieldElement* out) {
    for (int i = 0; i < N; ++i) out->words[i] = in->words[i];
    return 0;
}

// Two m-row matrices over GF(2): fromStd row i is the polynomial form of the
// basis element at standard bit i, beta^(2^(m-1-i)); toStd is its inverse,
// row i the standard form of x^i.
struct NormalBasis {
    int m;
    int n;
    std::array<ksFieldElement, 256> fromStd;
    std::array<ksFieldElement, 256> toStd;

    NormalBasis(BinaryModule module, int degree, const char* betaHex) : m(degree), n((degree + 31) / 32) {
        const ksFieldMethods* f = binaryModuleTable(module, true);
        ksFieldElement beta{};
        const int len = int(std::strlen(betaHex));
        for (int i = 0; i < len; ++i) {
            const char c = betaHex[len - 1 - i];
            const uint32_t v = uint32_t(c <= '9' ? c - '0' : c - 'a' + 10);
            beta.words[i / 8] |= v << (4 * (i % 8));
        }
        fromStd[m - 1] = beta;
        for (int i = m - 2; i >= 0; --i) {
            fromStd[i] = ksFieldElement{};
            f->square(nullptr, &fromStd[i + 1], &fromStd[i]);
        }
        invert();
    }

    // Gauss-Jordan on rows (polynomial part | standard part).
    void invert() {
        std::array<ksFieldElement, 256> poly{}, std{};
        for (int j = 0; j < m; ++j) {
            poly[j] = fromStd[j];
            std[j] = ksFieldElement{};
            std[j].words[j / 32] = 1u << (j % 32);
        }
        for (int col = 0; col < m; ++col) {
            int pivot = col;
            while (pivot < m && !bit(&poly[pivot], col)) ++pivot;
            if (pivot == m) continue;  // singular: cannot happen for a normal element
            std::swap(poly[pivot], poly[col]);
            std::swap(std[pivot], std[col]);
            for (int r = 0; r < m; ++r) {
                if (r != col && bit(&poly[r], col)) {
                    for (int w = 0; w < 8; ++w) {
                        poly[r].words[w] ^= poly[col].words[w];
                        std[r].words[w] ^= std[col].words[w];
                    }
                }
            }
        }
        for (int i = 0; i < m; ++i) toStd[i] = std[i];
    }

    void apply(const std::array<ksFieldElement, 256>& rows, const ksFieldElement* in, ksFieldElement* out) const {
        ksFieldElement r{};
        for (int i = m - 1; i >= 0; --i)
            if (bit(in, i))
                for (int w = 0; w < n; ++w) r.words[w] ^= rows[i].words[w];
        for (int w = 0; w < n; ++w) out->words[w] = r.words[w];
    }
};

const NormalBasis& basis131() {
    static const NormalBasis b(BinaryModule::F131Normal, 131, "5616ab8c1485ac0191eb08bed69fe751a");
    return b;
}
const NormalBasis& basis191() {
    static const NormalBasis b(BinaryModule::F191Normal, 191, "7954cb4e89201cf752d4d4026e227dffe59cf393e306b820");
    return b;
}
const NormalBasis& basis239() {
    static const NormalBasis b(BinaryModule::F239Normal, 239,
                               "49d6e3386d0c339c2d7cd07293992df0748e050dec6a37f0470f1cfb0ada");
    return b;
}

}  // namespace

uint32_t copy4(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) { return copyWords<4>(in, out); }
uint32_t copy6(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) { return copyWords<6>(in, out); }
uint32_t copy8(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) { return copyWords<8>(in, out); }

uint32_t fromNormal131(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis131().apply(basis131().fromStd, in, out);
    return 0;
}
uint32_t toNormal131(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis131().apply(basis131().toStd, in, out);
    return 0;
}
uint32_t fromNormal191(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis191().apply(basis191().fromStd, in, out);
    return 0;
}
uint32_t toNormal191(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis191().apply(basis191().toStd, in, out);
    return 0;
}
uint32_t fromNormal239(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis239().apply(basis239().fromStd, in, out);
    return 0;
}
uint32_t toNormal239(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    basis239().apply(basis239().toStd, in, out);
    return 0;
}

void reverseBits(int m, const ksFieldElement* in, ksFieldElement* out) {
    ksFieldElement r{};
    for (int i = 0; i < m; ++i)
        if (bit(in, i)) r.words[(m - 1 - i) / 32] |= 1u << ((m - 1 - i) % 32);
    *out = r;
}

uint32_t reverse163(ksGlobalData*, const ksFieldElement* in, ksFieldElement* out) {
    ksFieldElement r;
    reverseBits(163, in, &r);
    return copyWords<6>(&r, out);
}

}  // namespace tess::crypto::basis
