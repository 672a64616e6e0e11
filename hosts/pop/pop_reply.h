#pragma once
// Reading POP3 replies: the status of a reply, the APOP timestamp of the greeting, the
// UIDL listing and the lines of a multi-line reply. Pure functions over the bytes the
// server sent, so that they can be tested and fuzzed without a server.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/inet/mail_socket.h"

namespace pop {

struct UidlEntry {
    int number = 0;    // message number on the server, from 1
    std::string uidl;  // the server's unique id, compared byte for byte
};

// A reply succeeds only when it begins with "+OK" (an "-ERR ... ok" is a refusal).
bool IsOkReply(std::string_view reply);

// The greeting's "<...>" (angle brackets included) on its first line; empty when there
// is none, or when it is implausibly long or holds a blank or control character.
std::string ApopTimestamp(std::string_view greeting);

// Complete at the end of the first line when the reply is a refusal, else at the line
// that holds only "." (the end of a multi-line reply).
class MultiLineEnd : public inet::ReplyEnd {
public:
    void Reset() override { scanned_ = 0; }
    bool Complete(std::string_view reply) override;

private:
    std::size_t scanned_ = 0;
};

// The lines of a multi-line "+OK" reply after its status line, up to the terminating
// ".", with the leading dot of a stuffed line removed. False (lines emptied) when the
// reply is not "+OK" or the terminating line is missing: a cut reply is never a message.
bool ReadMultiLine(std::string_view reply, std::vector<std::string>& lines);

// A message (RETR or TOP) read as ReadMultiLine does, with every NUL byte replaced by
// kNulStandIn: the handheld keeps texts NUL-terminated, so a NUL left in would cut the
// message there.
inline constexpr char kNulStandIn = '\x80';
bool ReadMessageLines(std::string_view reply, std::vector<std::string>& lines);

// The entries of a UIDL listing in server order. Lines whose number is not a positive
// decimal, or whose id is empty or holds a control character, are skipped. False when the reply is not a complete
// "+OK" listing.
bool ParseUidlListing(std::string_view reply, std::vector<UidlEntry>& entries);

// Makes the ids of a listing distinct, in listing order: an id already taken gets "#2",
// "#3", ... (the first suffix no entry has). A server that repeats an id would otherwise
// show the handheld one message where it holds several. The number of ids changed.
int MakeIdsUnique(std::vector<UidlEntry>& entries);

}  // namespace pop
