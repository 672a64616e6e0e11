// Message search and fetch of the IMAP command layer. Every fetch uses BODY.PEEK so
// that listing or fetching never marks unread mail read.
#include "hosts/imap/imap_connection.h"
#include "hosts/inet/mime_message.h"

namespace imap {
namespace {

std::string Uid(uint32_t uid) { return std::to_string(uid); }

// The multipart boundary and content type named in a header block.
void HeaderInfo(const std::string& header, std::string& contentType, std::string& boundary) {
    inet::CMimeMessage reader;
    std::vector<std::string> lines = inet::SplitLines(header);
    contentType.clear();
    boundary.clear();
    if (reader.Parse(0, lines.size(), lines, false)) {
        contentType = Lower(reader.Header(inet::kHdrContentType));
        boundary = reader.Header(inet::kHdrBoundary);
    }
}

// A header block ends in an empty line; make sure it does before a body follows it.
std::string HeaderBlock(std::string header) {
    while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) header.pop_back();
    return header + "\r\n\r\n";
}

}  // namespace

bool CImapConnection::FetchMessageParts(const std::string& folder, uint32_t uid, std::string& text, int* complete,
                                        bool headersOnly, int maxSize, bool wantAttachments) {
    text.clear();
    if (!complete) return false;
    std::vector<ParsedLine> lines;
    // The one body section asked for: the first the answer holds.
    auto fetch = [&](const std::string& item, std::string& out) {
        out.clear();
        // A batch fetched before may already hold it.
        const std::string peek = "BODY.PEEK[";
        bool nil = false;
        if (item.rfind(peek, 0) == 0 && item.back() == ']' &&
            TakeSection(folder, uid, item.substr(peek.size(), item.size() - peek.size() - 1), out, nil))
            return !nil;
        if (item == "BODY.PEEK[HEADER.FIELDS (Content-Type)]") {
            if (const Prefetched* p = Known(folder, uid); p && p->hasType) {
                out = p->typeHeader;
                return true;
            }
        }
        FetchData data;
        if (!Command("UID FETCH " + Uid(uid) + " " + item, lines)) return false;
        ParseResult read = FindFetchByUid(lines, uid, data);
        if (read.Ok() && data.bodies.empty()) {
            read = ParseResult::Fail(ParseError::kNotFound, "no BODY[] item");
        }
        if (!read.Ok()) {
            Log("IMAP: UID FETCH " + Uid(uid) + " " + item + ": " + read.text);
            return false;
        }
        if (data.bodies.front().nil) return false;
        out = std::move(data.bodies.front().text);
        return true;
    };

    int size = FetchSize(folder, uid);
    bool cut = false;
    if (maxSize > 0 && size > maxSize) {
        *complete = 0;
        cut = true;
    } else if (!wantAttachments) {
        cut = true;
    }
    if (headersOnly) return fetch("BODY.PEEK[HEADER]", text);
    if (!cut) {
        *complete = 1;
        return fetch("BODY.PEEK[]", text);
    }

    std::string typeHeader;
    if (fetch("BODY.PEEK[HEADER.FIELDS (Content-Type)]", typeHeader) &&
        Lower(typeHeader).find("multipart/mixed") == std::string::npos) {
        if (!fetch("BODY.PEEK[]", text)) return false;
        *complete = 1;
        return true;
    }
    *complete = 0;

    // Only the first text part, framed by the headers that let the reader find it.
    std::string header, outerType, outerBoundary;
    if (!fetch("BODY.PEEK[HEADER]", header)) return false;
    HeaderInfo(header, outerType, outerBoundary);
    if (outerBoundary.empty()) return false;

    std::string partHeader, partType, partBoundary;
    int part = 1;
    for (; part <= 4; ++part) {
        if (!fetch("BODY.PEEK[" + std::to_string(part) + ".MIME]", partHeader)) return false;
        std::string lower = Lower(partHeader);
        if (lower.find("multipart/alternative") != std::string::npos || lower.find("text/plain") != std::string::npos ||
            lower.find("text/html") != std::string::npos)
            break;
    }
    if (part > 4) {
        // No text part among the first four: the headers at least, not the attachments.
        text = HeaderBlock(header);
        return true;
    }
    HeaderInfo(partHeader, partType, partBoundary);
    const std::string n = std::to_string(part);
    const std::string outer = "--" + outerBoundary;

    if (partType.find("multipart/alternative") != std::string::npos && !partBoundary.empty()) {
        std::string h1, b1, h2, b2;
        if (!fetch("BODY.PEEK[" + n + ".1.MIME]", h1) || !fetch("BODY.PEEK[" + n + ".1]", b1) ||
            !fetch("BODY.PEEK[" + n + ".2.MIME]", h2) || !fetch("BODY.PEEK[" + n + ".2]", b2))
            return false;
        const std::string inner = "--" + partBoundary;
        text = HeaderBlock(header) + outer + "\r\n" + HeaderBlock(partHeader) + inner + "\r\n" + HeaderBlock(h1) + b1 +
               "\r\n" + inner + "\r\n" + HeaderBlock(h2) + b2 + "\r\n" + inner + "--\r\n\r\n" + outer + "--\r\n";
        return true;
    }
    std::string body;
    if (!fetch("BODY.PEEK[" + n + "]", body)) return false;
    text = HeaderBlock(header) + outer + "\r\n" + HeaderBlock(partHeader) + body + "\r\n" + outer + "--\r\n";
    return true;
}

}  // namespace imap
