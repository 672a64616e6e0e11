// Choice between the carry-less and the portable module tables.
#include "crypto/binary_field_modules.h"

namespace ks {

bool cpuHasCarrylessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

const ksFieldMethods* binaryModuleTable(BinaryModule module, bool portable)
{
    const int i = int(module);
    if (i < 0 || i >= kBinaryModuleCount)
        return nullptr;
    if (!portable && cpuHasCarrylessMultiply())
        return gf2m_detail::kInstrTables[i];
    return gf2m_detail::kPortableTables[i];
}

int binaryModuleDegree(BinaryModule module)
{
    static constexpr int kDegree[kBinaryModuleCount] = {113, 131, 163, 163, 191, 233, 239, 239};
    const int i = int(module);
    return i >= 0 && i < kBinaryModuleCount ? kDegree[i] : 0;
}

}  // namespace ks
