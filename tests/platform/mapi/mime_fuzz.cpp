// Maildir files and entry ids reach the store from outside: parsing either must never
// crash, and a parsed message must build again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/mapi/mime_codec.h"
#include "platform/mapi/store_objects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    tessmapi::StoredMessage m;
    if (tessmapi::parseRfc822(bytes, 0, m)) (void)tessmapi::buildRfc822(m, true, false);
    tessmapi::ParsedEntryId id;
    (void)tessmapi::parseEntryId(EntryId(data, data + size), std::vector<uint8_t>(16, 0), id);
    return 0;
}
