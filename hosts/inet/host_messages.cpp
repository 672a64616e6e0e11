#include "hosts/inet/host_messages.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/base64.h"
#include "hosts/inet/text_lines.h"
#include "platform/core/os.h"

namespace inet {

using tess::CMsg;
using tess::FreeMailMsgBlock;
using tess::MailMsg;

bool DecodePartBody(const MimePart& part, std::string& out) {
    out.clear();
    if (!ContainsNoCase(part.transferEncoding, "base64")) {
        out = part.body;
        return true;
    }
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    if (tess::Base64Decode(part.body, bytes, &count, tess::Base64Foreign::kSkip) != 0) return false;
    out.assign(reinterpret_cast<const char*>(bytes.data()), count);
    return true;
}

std::string NormalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    // A line at a time: its CR before the LF, if any, gives way to the one CRLF.
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            out.append(text.substr(start));
            break;
        }
        const std::size_t end = lf > start && text[lf - 1] == '\r' ? lf - 1 : lf;
        out.append(text.substr(start, end - start));
        out += "\r\n";
        start = lf + 1;
    }
    return out;
}

std::string ChooseBody(const ParsedMessage& parsed, bool preferHtml) {
    const MimePart& first = preferHtml ? parsed.html : parsed.text;
    const MimePart& second = preferHtml ? parsed.text : parsed.html;
    const MimePart& chosen = first.body.empty() ? second : first;
    std::string body;
    // A body whose base64 is broken is shown as it came rather than lost.
    if (!DecodePartBody(chosen, body)) body = chosen.body;
    // The body is text: it ends at a NUL the decoded bytes may hold.
    body.resize(std::strlen(body.c_str()));
    return NormalizeLineEnds(body);
}

std::string WriteAttachmentFile(const std::filesystem::path& dir, const std::string& fileName, std::string_view bytes) {
    // The name comes from the mail: only a plain file name inside the given directory.
    std::string name = platform::safeFileName(fileName);
    // Attachment paths travel as one comma-separated list: a comma would split the path.
    std::replace(name.begin(), name.end(), ',', '_');
    const std::size_t dot = name.find('.');
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = name;
        if (n > 0) {
            const std::string counter = "(" + std::to_string(n) + ")";
            candidate = dot == std::string::npos ? name + counter : name.substr(0, dot) + counter + name.substr(dot);
        }
        const std::filesystem::path path = dir / candidate;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return {};
        }
        std::size_t written = 0;
        while (written < bytes.size()) {
            ssize_t w = ::write(fd, bytes.data() + written, bytes.size() - written);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            written += static_cast<std::size_t>(w);
        }
        const bool closed = ::close(fd) == 0;
        if (written != bytes.size() || !closed) {
            std::error_code ec;
            std::filesystem::remove(path, ec);
            return {};
        }
        return path.string();
    }
    return {};
}

bool HandOutBlocks(std::vector<MailMsg*>& blocks, MailMsg*** out, int* count) {
    *count = 0;
    if (blocks.empty()) return true;
    auto** array = static_cast<MailMsg**>(std::calloc(blocks.size(), sizeof(MailMsg*)));
    if (!array) {
        for (MailMsg* block : blocks) FreeMailMsgBlock(block);
        blocks.clear();
        return false;
    }
    std::memcpy(array, blocks.data(), blocks.size() * sizeof(MailMsg*));
    *out = array;
    *count = static_cast<int>(blocks.size());
    blocks.clear();
    return true;
}

void TakeHeaders(const ParsedMessage& parsed, CMsg& msg) {
    const auto& h = parsed.headers;
    msg.ReplyTo = h[kHdrReplyTo].empty() ? h[kHdrFrom] : h[kHdrReplyTo];
    msg.From = h[kHdrFrom];
    msg.To = h[kHdrTo];
    msg.Cc = h[kHdrCc];
    msg.Subject = h[kHdrSubject];
    msg.dateText = h[kHdrDate];
}

}  // namespace inet
