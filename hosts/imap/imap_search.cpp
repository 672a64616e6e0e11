// Finding a folder's messages and their read state and arrival time.
#include "hosts/imap/imap_connection.h"
#include "hosts/inet/text_lines.h"

namespace imap {

int CImapConnection::SearchMessages(const std::string& folder, std::vector<uint32_t>& uids) {
    uids.clear();
    if (!Ready() || folder.empty()) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    if (existsCount_ <= 0) return kImapOk;
    std::size_t limit = static_cast<std::size_t>(existsCount_);

    std::string command = "UID SEARCH NOT DELETED";
    if (!settings_.sinceDate.empty()) command += " SINCE " + settings_.sinceDate;
    if (settings_.unreadOnly) command += " NOT SEEN";
    std::vector<ParsedLine> lines;
    if (Command(command, lines)) {
        // The answer is the untagged SEARCH line; an empty one is an empty folder window.
        ParseResult read = ReadSearch(lines, uids, limit);
        if (!read.Ok()) Log("IMAP: " + command + ": " + read.text);
        return read.Ok() ? kImapOk : kImapNothing;
    }

    // Servers without UID SEARCH: walk the sequence numbers (no date window here).
    std::vector<uint32_t> numbers;
    FetchData data;
    for (int i = 1; i <= existsCount_; ++i) {
        const auto n = static_cast<uint32_t>(i);
        if (settings_.unreadOnly) {
            if (!Command("FETCH " + std::to_string(n) + " FLAGS", lines)) continue;
            if (FindFetchBySequence(lines, n, data).Ok() && data.HasFlag("\\Seen")) continue;
        }
        numbers.push_back(n);
    }
    for (uint32_t n : numbers) {
        if (Command("FETCH " + std::to_string(n) + " UID", lines) &&
            FindFetchBySequence(lines, n, data).Ok() && data.hasUid) {
            uids.push_back(data.uid);
        }
    }
    return uids.empty() ? kImapNothing : kImapOk;
}

int CImapConnection::FetchSeenAndReceived(const std::string& folder, uint32_t uid, int* seen,
                                          std::string& receivedText) {
    receivedText.clear();
    if (!Ready() || folder.empty() || uid == 0 || !seen) return kImapNotReady;
    if (int rc = MakeCurrent(folder)) return rc;
    std::vector<ParsedLine> lines;
    if (!Command("UID FETCH " + std::to_string(uid) + " (FLAGS BODY.PEEK[HEADER.FIELDS (Received)])", lines))
        return kImapNothing;
    FetchData data;
    const bool found = FindFetchByUid(lines, uid, data).Ok();
    *seen = found && data.HasFlag("\\Seen") ? 1 : 0;
    if (!found || data.bodies.empty() || data.bodies.front().nil) return kImapOk;
    const std::string& header = data.bodies.front().text;
    // The first Received header: the date after its last ';' (folded lines joined).
    std::vector<std::string> headerLines = inet::SplitLines(header);
    std::string value;
    for (std::size_t i = 0; i < headerLines.size(); ++i) {
        if (Lower(headerLines[i]).rfind("received:", 0) != 0) continue;
        value = headerLines[i];
        while (i + 1 < headerLines.size() && !headerLines[i + 1].empty() &&
               (headerLines[i + 1][0] == ' ' || headerLines[i + 1][0] == '\t')) {
            ++i;
            value += " " + headerLines[i].substr(headerLines[i].find_first_not_of(" \t"));
        }
        break;
    }
    std::size_t semi = value.rfind(';');
    if (semi == std::string::npos) return kImapOk;
    std::size_t start = value.find_first_not_of(" \t", semi + 1);
    if (start != std::string::npos) receivedText = value.substr(start);
    return kImapOk;
}

}  // namespace imap
