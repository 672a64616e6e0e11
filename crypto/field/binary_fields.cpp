// Choice between the carry-less and the portable module tables.
#include "crypto/field/binary_field_modules.h"
#include "crypto/field/internal.h"

namespace tess::crypto {

bool cpuHasCarrylessMultiply() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

const ksFieldMethods* binaryModuleTable(BinaryModule module, bool portable) {
    const int i = int(module);
    if (i < 0 || i >= kBinaryModuleCount) return nullptr;
    if (!portable && cpuHasCarrylessMultiply()) return gf2m_detail::kInstrTables[i];
    return gf2m_detail::kPortableTables[i];
}

int binaryModuleDegree(BinaryModule module) {
    static constexpr int kDegree[kBinaryModuleCount] = {113, 131, 163, 163, 191, 233, 239, 239};
    const int i = int(module);
    return i >= 0 && i < kBinaryModuleCount ? kDegree[i] : 0;
}

namespace {
struct InstallId {
    uint32_t id;
    BinaryModule module;
};
constexpr InstallId kInstallIds[kBinaryModuleCount] = {
    {3088, BinaryModule::F113},         {3112, BinaryModule::F131Normal}, {3097, BinaryModule::F163},
    {3124, BinaryModule::F163Reversed}, {3115, BinaryModule::F191Normal}, {3103, BinaryModule::F233},
    {3106, BinaryModule::F239},         {3118, BinaryModule::F239Normal},
};

}  // namespace

ksGlobalData* installBinaryModule(ksGlobalData* gd, uint32_t id) {
    if (gd != nullptr) layoutOf(gd)->fieldMethodsId = id;
    return gd;
}

const ksFieldMethods* binaryModuleForId(uint32_t id) {
    for (const InstallId& e : kInstallIds)
        if (e.id == id) return binaryModuleTable(e.module);
    return nullptr;
}

BinaryLadder binaryLadderForId(uint32_t id, bool portable) {
    for (const InstallId& e : kInstallIds)
        if (e.id == id) {
            const int i = int(e.module);
            return !portable && cpuHasCarrylessMultiply() ? gf2m_detail::kInstrLadders[i]
                                                          : gf2m_detail::kPortableLadders[i];
        }
    return nullptr;
}

}  // namespace tess::crypto

ksGlobalData* a3088(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3088); }
ksGlobalData* a3112(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3112); }
ksGlobalData* a3097(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3097); }
ksGlobalData* a3124(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3124); }
ksGlobalData* a3115(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3115); }
ksGlobalData* a3103(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3103); }
ksGlobalData* a3106(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3106); }
ksGlobalData* a3118(ksGlobalData* gd, const uint8_t*) { return tess::crypto::installBinaryModule(gd, 3118); }

uint32_t tess::crypto::binaryZero128(ksGlobalData*, ksFieldElement* out) {
    for (int i = 0; i < 4; ++i) out->words[i] = 0;
    return 0;
}

uint32_t a3178(ksGlobalData* gd, ksFieldElement* out) { return tess::crypto::binaryZero128(gd, out); }

uint32_t tess::crypto::reverseBitsBasis(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out) {
    const uint32_t m = layoutOf(gd)->fieldBits;
    tess::crypto::basis::reverseBits(m > 256 ? 256 : int(m), in, out);
    return 0;
}

uint32_t a2929(ksGlobalData* gd, const ksFieldElement* in, ksFieldElement* out) {
    return tess::crypto::reverseBitsBasis(gd, in, out);
}
