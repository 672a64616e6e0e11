// Unsealed control-mail bodies of any shape: parsing stays inside the text, every value it
// keeps is a piece of the text, and the message text is what follows the header.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "relay/mapi_redirect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    static tess::relay::CMAPIRedirect watcher(nullptr, nullptr, "handheld@wireless.test");
    for (int32_t code : {tess::relay::kRequestNewMail, tess::relay::kRequestCombined}) {
        tess::relay::RequestData request;
        request.code = code;
        watcher.ParseBodyIntoNewMsgDataStruct(body, request);
        for (const auto* list : {&request.to, &request.cc, &request.bcc, &request.entries, &request.entries2})
            for (const std::string& value : *list)
                if (body.find(value) == std::string::npos) std::abort();
        if (request.text.size() > size || request.subject.size() > size) std::abort();
        if (!request.text.empty() && body.compare(size - request.text.size(), std::string::npos, request.text) != 0)
            std::abort();
    }
    return 0;
}
