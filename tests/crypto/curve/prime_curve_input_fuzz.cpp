// Outside input on prime curves and caller-built records: point octets
// decoded (square roots in the fixed and generic prime modules) and
// multiplied by a scalar from the input, and records completed with any
// module and engine numbers, then loaded and used. Nothing may crash, hang
// or read past the input.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "crypto/curve/curve_engine.h"
#include "crypto/curve/curve_extensions.h"
#include "crypto/curve/point_octets.h"
#include "crypto/field/prime_field.h"
#include "tests/crypto/curve/curve_records.h"

namespace {

using namespace tess::crypto;

struct Context {
    std::vector<uint64_t> gdStorage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
    bool ok = false;
    Context(int nid, uint32_t install, uint32_t engine) {
        test::GroupPtr group(EC_GROUP_new_by_curve_name(nid));
        ksCurveParams record = test::recordFor(group.get(), test::oidOf(nid));
        if (!test::setEntries(&record, install, engine)) return;
        ksOptionsList o{};
        o.pointCompression = 1;
        o.ecesCompression = 1;
        o.rngType = 1;
        o.seedLength = 32;
        std::memset(o.seed, 0x21, 32);
        ok = ks_initialize(&record, &o, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr) == 0;
    }
};

Context& context(uint8_t which) {
    static Context p256(NID_X9_62_prime256v1, kPrimeP256Id, kPrimeMinus3EngineId);
    static Context p224(NID_secp224r1, kPrimeP224Id, kPrimeMinus3EngineId);
    static Context bp(NID_brainpoolP192r1, kPrimeGenericId, kPrimeGeneralEngineId);
    static Context k1(NID_secp256k1, kPrimeGenericId, kEndomorphismEngineId);
    Context* all[] = {&p256, &p224, &bp, &k1};
    return *all[which % 4];
}

constexpr uint32_t kEngines[] = {kPrimeGeneralEngineId, kPrimeMinus3EngineId,   kMontgomeryEngineId,
                                 kEndomorphismEngineId, kBinaryGenericEngineId, 1924};
constexpr uint32_t kInstalls[] = {kPrime160Id,     kPrimeP192Id,          kPrimeP224Id, kPrimeP256Id,
                                  kPrimeGenericId, kBinaryGenericFieldId, 3097,         3103};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode < 128) {
        // A point, then 32 scalar octets from the end of the input.
        Context& c = context(mode);
        if (!c.ok) return 0;
        layoutOf(c.gd)->pointFormat = (mode >> 2) & 3;
        const size_t scalarLength = size > 32 ? 32 : 0;
        std::vector<uint8_t> point(data, data + size - scalarLength);  // exact bounds
        ksPoint p{};
        if (a1717(c.gd, uint32_t(point.size()), point.data(), &p) != 0) return 0;
        ksIntGeneral k{};
        if (scalarLength == 0 || a1720(32, data + size - 32, mp::asInt(&k)) != 0) return 0;
        const ksCurveEngine* e = curveEngineOf(c.gd);
        ksPoint r{};
        ksFieldElement x{};
        e->multiply(c.gd, mp::asInt(&k), &p, &r);
        e->twinMultiplyX(c.gd, mp::asInt(&k), &p, mp::asInt(&k), &r, &x);
        uint8_t out[65];
        uint32_t len = 0;
        a1705(c.gd, &r, sizeof out, &len, out);
        return 0;
    }
    // A caller-built record, completed, then given the module and engine the
    // input names; loaded and used without a work area.
    if (size < 2) return 0;
    ksCurveParams record{};
    const uint8_t install = data[0], engine = data[1];
    data += 2;
    size -= 2;
    std::memcpy(record.octets, data, size < sizeof record.octets ? size : sizeof record.octets);
    if (ks_initializeCurve(&record) != 0) return 0;
    if (mode & 1) {
        if (!test::setEntries(&record, kInstalls[install % 8], kEngines[engine % 6])) return 0;
    }
    std::vector<uint64_t> storage(KS_GLOBAL_DATA_SIZE / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(storage.data());
    ksOptionsList o{};
    o.rngType = 1;
    o.seedLength = 32;
    std::memset(o.seed, 0x42, 32);
    if (ks_initialize(&record, &o, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr) == 0) {
        ksIntReduced k{};
        k.count = 1;
        k.digits[0] = 0x1234;
        ksPoint r{};
        a1996(gd, 1, &k, &r);
        ks_end(gd);
    }
    return 0;
}
