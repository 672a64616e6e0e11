// The MIME reader over arbitrary mail text: no crash, no overrun, a second parse with the
// same reader sees nothing of the first, and file name parameters stay bounded.
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

    // The first line as the parameters of an attachment part, where file names are read
    // in their plain and RFC 2231 forms.
    const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
    const std::string wrapped =
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
        "Content-Type: application/octet-stream; " +
        std::string(first) + "\r\nContent-Disposition: attachment; " + std::string(first) + "\r\n\r\nQUJD\r\n--b--\r\n";
    auto partLines = inet::SplitLines(wrapped);
    inet::CMimeMessage part;
    if (!part.Parse(0, partLines.size(), partLines, true)) std::abort();
    for (const inet::MimePart* attachment : part.Attachments()) {
        if (attachment->fileName.size() > first.size() * 2 + 1024) std::abort();
    }

    std::string copy(text);
    inet::CMimeMessage::DecodeEncodedWords(copy);
    copy.assign(text);
    inet::CMimeMessage::DecodeHeaderText(copy);
    copy.assign(text);
    inet::CMimeMessage::DecodeQuotedPrintable(copy);
    std::string out;
    inet::CMimeMessage::HtmlToText(text, out);
    return 0;
}
