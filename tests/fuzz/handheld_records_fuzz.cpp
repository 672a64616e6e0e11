// Every record reader over arbitrary bytes; a message read back must pack within the
// record limit again, and its headers read the same from the record kept without its body.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/handheld_records.h"
#include "common/message_record_codec.h"
#include "common/msg_record.h"

using platform::mfc::CArchive;

using tess::AttachmentEntry;
using tess::CIdCacheRecord;
using tess::CMsg;
using tess::CPartInfoRecord;
using tess::HandheldRecord;
using tess::kMaxRecordBytes;
using tess::PackMessageRecord;
using tess::UnpackMessageRecord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    HandheldRecord r;
    r.attributes = data[0];
    r.id = size > 4 ? uint32_t(data[1]) << 8 | data[2] : 0;
    r.data.assign(data + 1, data + size);

    CMsg msg;
    if (UnpackMessageRecord(r, msg) >= 0) {
        HandheldRecord again;
        PackMessageRecord(1056, again, msg, 4096, 0, true);
        if (again.data.size() > kMaxRecordBytes) std::abort();
    }
    // The record kept without its body reads as the record does.
    {
        HandheldRecord kept;
        tess::HeadersOnlyRecord(r, kept);
        CMsg a, b;
        bool hasA = false, hasB = false;
        if (tess::UnpackMessageHeaders(r, a, hasA) != tess::UnpackMessageHeaders(kept, b, hasB) || hasA != hasB ||
            a.Subject != b.Subject || a.ReplyTo != b.ReplyTo || a.size != b.size ||
            !std::equal(std::begin(a.partIds), std::end(a.partIds), std::begin(b.partIds)))
            std::abort();
    }
    AttachmentEntry entry;
    entry.Unpack(r);
    CPartInfoRecord part;
    part.Unpack(r);
    CIdCacheRecord cache;
    cache.Unpack(r);

    std::vector<unsigned char> bytes(data + 1, data + size);
    CArchive ar(bytes, CArchive::load);
    CMsg loaded;
    loaded.Serialize(ar);
    return 0;
}
