// Outside input of the curve layer: point octet strings in every admitted
// form, and caller-built curve records. Nothing may crash or read past the
// input; accepted points must encode again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "crypto/curve/curve_record.h"
#include "crypto/kestrel.h"
#include "crypto/curve/point_octets.h"

namespace {

struct Context {
    std::vector<uint64_t> gdStorage = std::vector<uint64_t>(KS_GLOBAL_DATA_SIZE / 8 + 1);
    std::vector<uint64_t> heapStorage = std::vector<uint64_t>(24528 / 8 + 1);
    ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
    Context() {
        ksOptionsList o{};
        o.pointCompression = 1;
        o.ecesCompression = 1;
        o.rngType = 1;
        o.seedLength = 32;
        std::memset(o.seed, 0x21, 32);
        ks_initialize(&tess::crypto::kSect163k1Record, &o, KS_GLOBAL_DATA_SIZE, 24528, gd,
                      reinterpret_cast<ksHeap*>(heapStorage.data()));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Context context;
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if (mode < 8) {
        // Point octets under each point-format word and ECES compression word.
        ksGlobalData* gd = context.gd;
        layoutOf(gd)->pointFormat = mode & 3;
        layoutOf(gd)->ecesCompression = (mode >> 2) & 1;
        std::vector<uint8_t> copy(data, data + size);  // exact bounds for the sanitizer
        ksPoint p{};
        if (a1717(gd, uint32_t(copy.size()), copy.data(), &p) == 0) {
            uint8_t out[65];
            uint32_t len = 0;
            a1705(gd, &p, sizeof out, &len, out);
        }
        layoutOf(gd)->pointFormat = 3;
        layoutOf(gd)->ecesCompression = 1;
        return 0;
    }
    // A caller-built record: validated, and loaded when valid.
    ksCurveParams record;
    std::memcpy(record.octets, tess::crypto::kSect163k1Record.octets, sizeof record.octets);
    std::memcpy(record.octets, data, size < sizeof record.octets ? size : sizeof record.octets);
    if (a1579(&record) == 0) {
        std::vector<uint64_t> gdStorage(KS_GLOBAL_DATA_SIZE / 8 + 1);
        ksOptionsList o{};
        o.rngType = 1;
        o.seedLength = 32;
        std::memset(o.seed, 0x42, 32);
        ksGlobalData* gd = reinterpret_cast<ksGlobalData*>(gdStorage.data());
        ks_initialize(&record, &o, KS_GLOBAL_DATA_SIZE, 0, gd, nullptr);
        ks_end(gd);
    }
    return 0;
}
