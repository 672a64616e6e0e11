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

int CImapConnection::SearchMessages(const std::string& folder, std::vector<uint32_t>& uids) {
    uids.clear();
    if (!Ready() || folder.empty()) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    if (existsCount_ <= 0) return kImapOk;
    std::size_t limit = static_cast<std::size_t>(existsCount_);

    std::string command = "UID SEARCH NOT DELETED";
    if (!settings_.sinceDate.empty()) command += " SINCE " + settings_.sinceDate;
    if (settings_.unreadOnly) command += " NOT SEEN";
    std::vector<ResponseLine> lines;
    if (Command(command, lines)) {
        // The answer is the untagged SEARCH line; an empty one is an empty folder window.
        return ParseSearch(lines, uids, limit) ? kImapOk : kImapNothing;
    }

    // Servers without UID SEARCH: walk the sequence numbers (no date window here).
    for (int n = 1; n <= existsCount_; ++n) {
        if (settings_.unreadOnly) {
            if (!Command("FETCH " + std::to_string(n) + " FLAGS", lines)) continue;
            if (FetchFlags(lines).find("\\seen") != std::string::npos) continue;
        }
        uint64_t uid = 0;
        if (Command("FETCH " + std::to_string(n) + " UID", lines) &&
            FetchNumber(lines, "UID", uid) && uid > 0 && uid <= UINT32_MAX) {
            uids.push_back(static_cast<uint32_t>(uid));
        }
    }
    return uids.empty() ? kImapNothing : kImapOk;
}

int CImapConnection::FetchSeenAndReceived(const std::string& folder, uint32_t uid, int* seen,
                                          std::string& receivedText) {
    receivedText.clear();
    if (!Ready() || folder.empty() || uid == 0 || !seen) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    std::vector<ResponseLine> lines;
    if (!Command("UID FETCH " + Uid(uid) + " (FLAGS BODY.PEEK[HEADER.FIELDS (Received)])", lines))
        return kImapNothing;
    *seen = FetchFlags(lines).find("\\seen") != std::string::npos ? 1 : 0;
    std::string header;
    if (!FetchLiteral(lines, header)) return kImapOk;
    // The first Received header: the date after its last ';' (folded lines joined).
    std::vector<std::string> headerLines = inet::SplitLines(header);
    std::string value;
    for (std::size_t i = 0; i < headerLines.size(); ++i) {
        if (Lower(headerLines[i]).rfind("received:", 0) != 0) continue;
        value = headerLines[i];
        while (i + 1 < headerLines.size() && !headerLines[i + 1].empty() &&
               (headerLines[i + 1][0] == ' ' || headerLines[i + 1][0] == '\t')) {
            value += " " + headerLines[++i].substr(headerLines[i].find_first_not_of(" \t"));
        }
        break;
    }
    std::size_t semi = value.rfind(';');
    if (semi == std::string::npos) return kImapOk;
    std::size_t start = value.find_first_not_of(" \t", semi + 1);
    if (start != std::string::npos) receivedText = value.substr(start);
    return kImapOk;
}

bool CImapConnection::FetchMessageParts(const std::string& folder, uint32_t uid,
                                        std::string& text, int* complete, bool headersOnly,
                                        int maxSize, bool wantAttachments) {
    text.clear();
    if (!complete) return false;
    std::vector<ResponseLine> lines;
    auto fetch = [&](const std::string& item, std::string& out) {
        out.clear();
        return Command("UID FETCH " + Uid(uid) + " " + item, lines) && FetchLiteral(lines, out);
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
        if (lower.find("multipart/alternative") != std::string::npos ||
            lower.find("text/plain") != std::string::npos ||
            lower.find("text/html") != std::string::npos)
            break;
    }
    if (part > 4) return false;  // no text part among the first four
    HeaderInfo(partHeader, partType, partBoundary);
    const std::string n = std::to_string(part);
    const std::string outer = "--" + outerBoundary;

    if (partType.find("multipart/alternative") != std::string::npos && !partBoundary.empty()) {
        std::string h1, b1, h2, b2;
        if (!fetch("BODY.PEEK[" + n + ".1.MIME]", h1) || !fetch("BODY.PEEK[" + n + ".1]", b1) ||
            !fetch("BODY.PEEK[" + n + ".2.MIME]", h2) || !fetch("BODY.PEEK[" + n + ".2]", b2))
            return false;
        const std::string inner = "--" + partBoundary;
        text = HeaderBlock(header) + outer + "\r\n" + HeaderBlock(partHeader) + inner + "\r\n" +
               HeaderBlock(h1) + b1 + "\r\n" + inner + "\r\n" + HeaderBlock(h2) + b2 + "\r\n" +
               inner + "--\r\n\r\n" + outer + "--\r\n";
        return true;
    }
    std::string body;
    if (!fetch("BODY.PEEK[" + n + "]", body)) return false;
    text = HeaderBlock(header) + outer + "\r\n" + HeaderBlock(partHeader) + body + "\r\n" + outer +
           "--\r\n";
    return true;
}

}  // namespace imap
