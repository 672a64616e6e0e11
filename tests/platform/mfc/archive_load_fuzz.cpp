// Loading an archive of any bytes: every read stays inside the data.
#include <cstdint>
#include <vector>

#include "platform/mfc/archive.h"

using platform::mfc::CArchive;
using platform::mfc::CString;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    CArchive ar(bytes, CArchive::load);
    while (!ar.IsFailed()) {
        uint8_t kind = 0;
        ar >> kind;
        CString text;
        uint32_t u32;
        uint16_t u16;
        unsigned char buf[7];
        switch (kind % 4) {
        case 0: ar >> text; break;
        case 1: ar >> u32; break;
        case 2: ar >> u16; break;
        default: ar.Read(buf, sizeof buf);
        }
    }
    return 0;
}
