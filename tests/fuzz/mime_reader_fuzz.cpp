// The MIME reader over arbitrary mail text: no crash, no overrun, and a second parse
// with the same reader sees nothing of the first.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hosts/inet/mime_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto lines = inet::SplitLines(text);
    inet::CMimeMessage message;
    if (message.Parse(0, lines.size(), lines, true)) {
        inet::ParsedMessage parsed;
        message.CopyTo(parsed, true);
        if (parsed.attachmentCount > inet::ParsedMessage::kMaxAttachments) std::abort();
    }
    auto plain = inet::SplitLines("Subject: next\r\n\r\nbody\r\n");
    if (!message.Parse(0, plain.size(), plain, true)) std::abort();
    if (message.Parts().size() != 1 || message.Header(inet::kHdrSubject) != "next") std::abort();

    std::string copy(text);
    inet::CMimeMessage::DecodeEncodedWords(copy);
    copy.assign(text);
    inet::CMimeMessage::DecodeQuotedPrintable(copy);
    std::string out;
    inet::CMimeMessage::HtmlToText(text, out);
    return 0;
}
