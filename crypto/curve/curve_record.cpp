// Curve records: checksum, validation, loading into the library context,
// curve membership, and the steps ks_initialize takes for a record.
#include "crypto/curve/curve_record.h"

#include <cstring>
#include <initializer_list>

#include "crypto/curve/internal.h"
#include "crypto/field/internal.h"
#include "crypto/field/binary_field_modules.h"
#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/curve_steps.h"
#include "crypto/curve/koblitz_engine.h"
#include "crypto/mp/internal.h"
#include "crypto/result_codes.h"

using namespace tess::crypto::mp;

namespace tess::crypto {

namespace {

// Offsets of the record's fields.
enum : uint32_t {
    kOid = 0,
    kVersion = 32,
    kReserved = 33,
    kChecksum = 34,
    kFieldBits = 38,
    kElementLength = 40,
    kFieldType = 41,
    kReduction = 42,
    kInstallId = 76,
    kEngineId = 80,
    kA = 84,
    kB = 116,
    kG = 148,
    kOrder = 212,
    kCofactor = 246,
    kCurveOrder = 280,
    kExtra1 = 314,
    kExtra2 = 346,
};

constexpr uint32_t kValueArea = 32;
constexpr uint8_t kInternalFieldType[6] = {0, 1, 4, 2, 3, 6};
constexpr uint8_t kRecordPrimeField = 4;

uint16_t be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t le32(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t valueOctets(uint32_t bits) { return bits == 0 ? 0 : (bits - 1) / 8 + 1; }

struct ElfHash {
    uint32_t h = 0;
    bool ok = true;
    void add(const uint8_t* p, uint32_t n) {
        if (n == 0) ok = false;
        for (uint32_t i = 0; i < n; ++i) {
            h = (h << 4) + p[i];
            const uint32_t g = h & 0xF0000000u;
            if (g != 0) h ^= g >> 24;
            h &= ~g;
        }
    }
};

// The fixed binary-field modules by install entry number, with their degrees.
struct InstallEntry {
    uint32_t id;
    uint32_t degree;
};

constexpr InstallEntry kInstallEntries[] = {
    {3088, 113}, {3112, 131}, {3097, 163}, {3124, 163}, {3115, 191}, {3103, 233}, {3106, 239}, {3118, 239},
};

const InstallEntry* installEntry(uint32_t id) {
    for (const InstallEntry& e : kInstallEntries)
        if (e.id == id) return &e;
    return nullptr;
}

using EngineInit = uint32_t (*)(ksGlobalData*, ksHeap*, uint32_t*);

EngineInit engineInit(uint32_t id) {
    return id == kKoblitzEngineId ? tess::crypto::koblitzEngineInit : extraEngineInit(id);
}

// Install entry, engine, field kind and degree must belong together: every
// module here is a fixed binary field of one degree, and the Koblitz engine
// serves binary fields only.
bool entriesMatch(const ksCurveParams* curve) {
    const uint8_t* r = curve->octets;
    if (const int extra = extraEntriesMatch(curve); extra >= 0) return extra == 1;
    const InstallEntry* install = installEntry(le32(r + kInstallId));
    if (install == nullptr || engineInit(le32(r + kEngineId)) == nullptr) return false;
    return r[kFieldType] != kRecordPrimeField && be16(r + kFieldBits) == install->degree;
}

}  // namespace

uint32_t curveChecksum(const ksCurveParams* curve, uint32_t* sum) {
    const uint8_t* r = curve->octets;
    if (r[kVersion] != 2 || r[kReserved] != 0) return 1;
    ElfHash hash;
    hash.add(r + kOid, 32);
    hash.add(r + kVersion, 1);
    hash.add(r + kReserved, 1);
    hash.add(r + kFieldBits, 2);
    hash.add(r + kElementLength, 1);
    const uint32_t m = be16(r + kFieldBits);
    const uint32_t len = r[kElementLength];
    if (len > kValueArea || m == 0 || len != valueOctets(m)) return 1;
    hash.add(r + kFieldType, 1);
    hash.add(r + kReduction, len);
    hash.add(r + kA, len);
    hash.add(r + kB, len);
    hash.add(r + kG, 2 * len);
    for (uint32_t off : {uint32_t(kOrder), uint32_t(kCofactor), uint32_t(kCurveOrder)}) {
        hash.add(r + off, 2);
        const uint32_t k = valueOctets(be16(r + off));
        if (k == 0 || k > kValueArea) return 1;
        hash.add(r + off + 2, k);
    }
    hash.add(r + kExtra1, len);
    hash.add(r + kExtra2, len);
    if (!hash.ok) return 1;
    *sum = hash.h;
    return 0;
}

uint32_t curveHeapSize(const ksCurveParams* curve, uint32_t* size) {
    const EngineInit init = engineInit(le32(curve->octets + kEngineId));
    uint32_t id = 0;
    if (init == nullptr || init(nullptr, nullptr, &id) != 0) return 1;
    const ksCurveEngine* engine = curveEngineForId(id);
    if (engine == nullptr) return 1;
    return engine->heapSize(be16(curve->octets + kFieldBits), size);
}

uint32_t curveEngineInit(const ksCurveParams* curve, ksGlobalData* gd, ksHeap* heap) {
    const EngineInit init = engineInit(le32(curve->octets + kEngineId));
    if (init == nullptr) return 1;
    return init(gd, heap, &layoutOf(gd)->engineTableId) != 0 ? 1 : 0;
}

uint32_t curveBasePointCheck(ksGlobalData* gd, uint32_t* onCurve) {
    GlobalDataLayout* l = layoutOf(gd);
    return tess::crypto::curvePointOnCurve(gd, &l->g, &l->a, &l->b, onCurve);
}

}  // namespace tess::crypto

ksErrorCode tess::crypto::curveValidate(const ksCurveParams* curve) {
    using namespace tess::crypto;
    if (curve == nullptr) return kNoCurve;
    uint32_t sum = 0;
    if (curveChecksum(curve, &sum) != 0) return kBadCurve;
    return be32(curve->octets + kChecksum) == sum ? kOk : kBadCurve;
}

ksErrorCode a1579(const ksCurveParams* curve) { return tess::crypto::curveValidate(curve); }

uint32_t tess::crypto::curveLoad(const ksCurveParams* curve, ksGlobalData* gd) {
    using namespace tess::crypto;
    if (curve == nullptr || gd == nullptr || tess::crypto::curveValidate(curve) != kOk) return 1;
    const uint8_t* r = curve->octets;
    GlobalDataLayout* l = layoutOf(gd);
    if (r[kFieldType] > 5 || !entriesMatch(curve)) return 1;
    l->fieldType = kInternalFieldType[r[kFieldType]];
    const uint32_t m = be16(r + kFieldBits);
    l->fieldBits = m;
    if (m == 0 || m > 256) return 1;
    const uint32_t len = r[kElementLength];
    if (const InstallEntry* install = installEntry(le32(r + kInstallId)))
        tess::crypto::installBinaryModule(gd, install->id);
    else if (extraInstall(le32(r + kInstallId), gd, r + kReduction) != 0)
        return 1;

    if (fieldFromOctets(gd, len, r + kA, &l->a) != 0) return 1;
    if (fieldFromOctets(gd, len, r + kB, &l->b) != 0) return 1;
    if (r[kOid + 1] >= 31) return 1;
    l->oidLength = r[kOid + 1] + 2u;
    std::memcpy(l->oid, r + kOid, l->oidLength);
    l->g = ksPoint{};
    if (fieldFromOctets(gd, len, r + kG, &l->g.x) != 0) return 1;
    if (fieldFromOctets(gd, len, r + kG + len, &l->g.y) != 0) return 1;

    struct Value {
        uint32_t offset;
        uint32_t* bits;
        ksIntReduced* value;
    } values[] = {{kOrder, &l->orderBits, &l->order},
                  {kCofactor, &l->cofactorBits, &l->cofactor},
                  {kCurveOrder, &l->curveOrderBits, &l->curveOrder}};
    for (Value& v : values) {
        const uint32_t bits = be16(r + v.offset);
        *v.bits = bits;
        if (bits == 0 || bits > 256) return 1;
        ksIntGeneral t;
        if (tess::crypto::mp::mpFromOctets(valueOctets(bits), r + v.offset + 2, asInt(&t)) != 0 ||
            t.count > kReducedDigits)
            return 1;
        v.value->count = t.count;
        std::memcpy(v.value->digits, t.digits, t.count * sizeof(uint16_t));
    }
    ksIntProduct product;
    uint32_t equal = 0;
    if (mpMultiply(asInt(&l->order), asInt(&l->cofactor), &product) != 0) return 1;
    if (mpEqual(asInt(&product), asInt(&l->curveOrder), &equal) != 0) return 1;
    if (equal == 0) return 1;
    if (fieldFromOctets(gd, len, r + kExtra1, &l->extra1) != 0) return 1;
    if (fieldFromOctets(gd, len, r + kExtra2, &l->extra2) != 0) return 1;
    return 0;
}

uint32_t a1684(const ksCurveParams* curve, ksGlobalData* gd) { return tess::crypto::curveLoad(curve, gd); }

uint32_t tess::crypto::curvePointOnCurve(ksGlobalData* gd, const ksPoint* p, const ksFieldElement* a,
                                         const ksFieldElement* b, uint32_t* flag) {
    using namespace tess::crypto;
    uint32_t zero = 1;
    if (fieldIsZero(gd, b, &zero) != 0 || zero == 0) return 1;
    const ksPoint copy = *p;
    uint32_t notInfinity = 1;
    if (ecIsInfinity(gd, &copy, &notInfinity) != 0) return 1;
    if (notInfinity == 0) {
        *flag = 1;
        return 0;
    }
    ksFieldElement left{}, right{}, t{};
    if (layoutOf(gd)->fieldType == 3) {
        if (fieldSquare(gd, &p->y, &left) != 0) return 1;
        if (fieldSquare(gd, &p->x, &right) != 0) return 1;
        if (fieldAdd(gd, &right, a, &right) != 0) return 1;
        if (fieldMultiply(gd, &right, &p->x, &right) != 0) return 1;
    } else {
        if (fieldAdd(gd, &p->y, &p->x, &t) != 0) return 1;
        if (fieldMultiply(gd, &t, &p->y, &left) != 0) return 1;
        if (fieldAdd(gd, &p->x, a, &t) != 0) return 1;
        if (fieldSquare(gd, &p->x, &right) != 0) return 1;
        if (fieldMultiply(gd, &right, &t, &right) != 0) return 1;
    }
    if (fieldAdd(gd, &right, b, &right) != 0) return 1;
    uint32_t differ = 1;
    if (fieldEqual(gd, &left, &right, &differ) != 0) return 1;
    *flag = differ == 0 ? 1 : 0;
    return 0;
}

uint32_t a1687(ksGlobalData* gd, const ksPoint* p, const ksFieldElement* a, const ksFieldElement* b, uint32_t* flag) {
    return tess::crypto::curvePointOnCurve(gd, p, a, b, flag);
}

ksErrorCode ks_getOID(ksGlobalData* gd, uint32_t* length, const uint8_t** oid) {
    using namespace tess::crypto;
    if (const ksErrorCode rc = checkGlobalData(gd)) return rc;
    *length = layoutOf(gd)->oidLength;
    *oid = layoutOf(gd)->oid;
    return kOk;
}
