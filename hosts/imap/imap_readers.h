#pragma once
// Readers of the responses the host uses. Each walks the argument tree of parsed lines
// (never their text), skips lines the parser could not read, and answers with a reason:
// kNotFound when no response of its kind is there, kBadResponse when one is there in
// the wrong shape. Names of items, flags and capabilities are compared without case.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hosts/imap/imap_parser.h"

namespace imap {

// "* LIST (flags) delimiter name", or LSUB when kind says so.
struct ListEntry {
    std::vector<std::string> flags;
    std::string delimiter;  // empty when the server has none (NIL)
    std::string name;
    bool HasFlag(std::string_view flag) const;
};
ParseResult ReadListEntry(const ParsedLine& line, std::string_view kind, ListEntry& entry);

// "* NAMESPACE (("INBOX." ".")) NIL NIL": the prefix of the first personal namespace
// ("" when the server names none).
ParseResult ReadPersonalPrefix(const std::vector<ParsedLine>& lines, std::string& prefix);

// "* SEARCH 4 9 12" (also the answer to UID SEARCH): the numbers of the first SEARCH
// line, at most limit of them. An empty line is an empty list. Numbers stop at the
// first item that is not one (a server's "(MODSEQ n)"); 0 and numbers past 32 bits are
// left out.
ParseResult ReadSearch(const std::vector<ParsedLine>& lines, std::vector<uint32_t>& numbers, std::size_t limit);
// "* ESEARCH (TAG "a1") UID ALL 1:3,7": the numbers of ALL's set in the first ESEARCH
// line, in the set's order, at most limit of them; no ALL is an empty list.
ParseResult ReadEsearchAll(const std::vector<ParsedLine>& lines, std::vector<uint32_t>& numbers, std::size_t limit);

// A UID set "1:3,7,9:8" as inclusive ranges, each first <= last, in the set's order;
// false (and no ranges) when it is not one.
bool ReadUidRanges(std::string_view set, std::vector<std::pair<uint32_t, uint32_t>>& ranges);
// "* VANISHED (EARLIER) 1:3,7" or "* VANISHED 4": the UIDs of messages expunged, and
// whether the server tells of earlier expunges (a QRESYNC selection) rather than new ones.
ParseResult ReadVanished(const ParsedLine& line, bool& earlier, std::vector<std::pair<uint32_t, uint32_t>>& ranges);

// One BODY[section]<origin> item of a FETCH; NIL leaves nil set and text empty.
struct FetchBody {
    std::string section;  // "HEADER.FIELDS (Received)", "1.MIME", "" for the whole message
    std::string origin;   // "<0>" when the server sent a partial's start, else ""
    bool nil = false;
    std::string text;
};

// "* n FETCH (item value ...)". Items the host does not read (BODYSTRUCTURE, ENVELOPE,
// ...) are passed over whole.
struct FetchData {
    uint32_t number = 0;  // sequence number
    bool hasUid = false;
    uint32_t uid = 0;
    bool hasFlags = false;
    std::vector<std::string> flags;
    bool hasSize = false;
    uint64_t size = 0;  // RFC822.SIZE
    bool hasInternalDate = false;
    std::string internalDate;
    std::vector<FetchBody> bodies;
    bool HasFlag(std::string_view flag) const;
};
ParseResult ReadFetch(const ParsedLine& line, FetchData& data);
// The FETCH of the message with this UID: the first FETCH whose UID is uid, or that
// carries no UID (a server need not repeat it). Unsolicited FETCHes of other messages,
// which a server may send at any time, are passed over.
ParseResult FindFetchByUid(const std::vector<ParsedLine>& lines, uint32_t uid, FetchData& data);
// The FETCH of the message with this sequence number.
ParseResult FindFetchBySequence(const std::vector<ParsedLine>& lines, uint32_t number, FetchData& data);

// "* STATUS mailbox (MESSAGES 3 UIDNEXT 9 ...)": items by upper-case name.
struct MailboxStatus {
    std::string mailbox;
    std::map<std::string, uint64_t> items;
};
ParseResult ReadMailboxStatus(const ParsedLine& line, MailboxStatus& status);

// The capabilities of a "* CAPABILITY ..." line or of a [CAPABILITY ...] code, the
// first found.
ParseResult ReadCapabilities(const std::vector<ParsedLine>& lines, std::vector<std::string>& names);
bool HasCapability(const std::vector<std::string>& names, std::string_view name);

// The number of a status line's code such as [UIDVALIDITY 3] or [UIDNEXT 9], at most max
// ([HIGHESTMODSEQ n] is 63 bits).
ParseResult ReadCodeNumber(const std::vector<ParsedLine>& lines, std::string_view code, uint64_t& number,
                           uint64_t max = UINT32_MAX);
// Whether a status line carries the code, such as [NOMODSEQ].
bool HasCode(const std::vector<ParsedLine>& lines, std::string_view code);
// "* ENABLED QRESYNC": the extensions the server turned on.
ParseResult ReadEnabled(const std::vector<ParsedLine>& lines, std::vector<std::string>& names);

// "* 12 EXISTS": the count of messages in the selected folder.
ParseResult ReadExists(const std::vector<ParsedLine>& lines, uint32_t& count);

}  // namespace imap
