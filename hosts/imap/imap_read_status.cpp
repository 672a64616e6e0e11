// STATUS: a folder's counters (MESSAGES, UIDNEXT, UIDVALIDITY, UNSEEN, ...).
#include "hosts/imap/imap_readers.h"

#include <cctype>

namespace imap {

ParseResult ReadMailboxStatus(const ParsedLine& line, MailboxStatus& status) {
    status = MailboxStatus{};
    if (!line.result.Ok()) return line.result;
    const std::vector<ImapArg>& a = line.args;
    if (line.kind != LineKind::kUntagged || a.empty() || !a[0].IsAtom("STATUS")) {
        return ParseResult::Fail(ParseError::kNotFound, "not a STATUS line");
    }
    if (a.size() != 3 || !(a[1].IsAString() || a[1].IsNil()) || !a[2].IsList() || a[2].list.size() % 2 != 0) {
        return ParseResult::Fail(ParseError::kBadResponse, "STATUS not \"name (item n ...)\"");
    }
    status.mailbox = a[1].text;
    for (std::size_t i = 0; i < a[2].list.size(); i += 2) {
        const ImapArg& item = a[2].list[i];
        uint64_t n = 0;
        if (!item.IsAtom() || !a[2].list[i + 1].AsNumber(n)) {
            return ParseResult::Fail(ParseError::kBadResponse, "STATUS item without a number");
        }
        std::string name = item.text;
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        status.items[name] = n;
    }
    return {};
}

}  // namespace imap
