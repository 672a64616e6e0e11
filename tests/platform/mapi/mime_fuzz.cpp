// Maildir files and entry ids reach the store from outside: parsing either must never
// crash, and a parsed message must build again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/mapi/mime_codec.h"
#include "platform/mapi/store_objects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    platform::mapi::StoredMessage m;
    if (platform::mapi::parseRfc822(bytes, 0, m)) (void)platform::mapi::buildRfc822(m, true, false);
    platform::mapi::ParsedEntryId id;
    (void)platform::mapi::parseEntryId(EntryId(data, data + size), std::vector<uint8_t>(16, 0), id);
    return 0;
}
