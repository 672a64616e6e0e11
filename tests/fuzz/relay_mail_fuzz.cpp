// The relay's SMTP mails over arbitrary texts from a user: the header block keeps every
// value on its own header line, no line is longer than SMTP allows, and the project's MIME
// part reader gets the body and the attachment back byte for byte. The second half of the
// input is read as server replies, through the reply reader the session waits with.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/base64.h"
#include "hosts/inet/mail_socket.h"
#include "hosts/inet/mime_message.h"
#include "relay/relay_smtp_session.h"

using tess::FilterMessage;

namespace {

// Readers differ in how a CR next to a line break comes back (the unit tests pin the
// exact bytes); every other byte must be the user's.
std::string Normal(std::string text) {
    std::erase(text, '\r');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // Server replies: whole or in pieces, the reply reader agrees with itself.
    inet::SmtpReplyEnd whole, pieces;
    const bool complete = whole.Complete(input);
    bool completePieces = false;
    for (size_t n = 0; n < size && !completePieces; n += 7) completePieces = pieces.Complete(input.substr(0, n + 7));
    if (complete != completePieces) std::abort();
    std::vector<std::string> fields;
    for (size_t at = 0; fields.size() < 5;) {
        const size_t end = input.find('\0', at);
        fields.emplace_back(input.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    fields.resize(5);
    const std::string& to = fields[0];
    const std::string& subject = fields[1];
    const std::string& body = fields[2];
    const std::string& name = fields[3];
    const std::string& attachment = fields[4];
    if (to.empty()) return 0;

    tess::relay::CRelaySmtpSession session(tess::relay::RelaySmtpSettings{});
    FilterMessage record{};
    record.senderAddress = "tess@tess.test";
    record.toRecipients = to.c_str();
    record.subject = subject.c_str();
    record.body = body.c_str();
    record.attachmentNames = "x";
    if (!session.StartMessage(record, false)) std::abort();
    std::string encoded;
    tess::Base64Encode(attachment.data(), static_cast<int>(attachment.size()), encoded, false);
    session.AddAttachment(name, encoded);
    const std::string text = session.PendingText() + "\r\n--" + tess::relay::kRelayBoundary + "--\r\n";

    // Lines end in CR LF and stay within 998 characters; the header block is header lines
    // and their folds only.
    const size_t headerEnd = text.find("\r\n\r\n");
    if (headerEnd == std::string::npos) std::abort();
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) std::abort();
        const std::string_view line(text.data() + at, end - at);
        if (line.size() > 998 || line.find_first_of("\r\n") != std::string_view::npos) std::abort();
        if (at < headerEnd && line[0] != ' ' && line.find(": ") == std::string_view::npos) std::abort();
        at = end + 2;
    }

    auto lines = inet::SplitLines(text);
    inet::CMimeMessage message;
    if (!message.Parse(0, lines.size(), lines, true)) std::abort();
    const inet::MimePart* textPart = message.FindTextPart(false);
    if (!textPart) std::abort();
    // The body comes back as written (CR LF read as LF), with at most line ends after it.
    const std::string want = Normal(body.empty() ? " " : body);
    const std::string got = Normal(textPart->body);
    if (got.compare(0, want.size(), want) != 0 || got.find_first_not_of('\n', want.size()) != std::string::npos)
        std::abort();
    // A part is an attachment to readers when its name has something left once quotes,
    // backslashes, line breaks and blanks are gone.
    if (name.find_first_not_of("\"\\\r\n \t") == std::string::npos) return 0;
    const auto attachments = message.Attachments();
    if (attachments.size() != 1) std::abort();
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    if (tess::Base64Decode(attachments[0]->body, bytes, &count) != tess::kBase64Ok) std::abort();
    if (std::string(bytes.begin(), bytes.begin() + count) != attachment) std::abort();

    return 0;
}
