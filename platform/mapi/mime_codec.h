#pragma once
// RFC 822 messages to and from the store's property bags, through GMime. Texts in the
// bags are Windows-1252; mail on disk and on the wire is MIME with UTF-8 where needed.
#include <string>

#include "platform/mapi/backing.h"

namespace platform::mapi {

// Parses a message; false when the bytes are not a message at all. `deliveredAt` is the
// delivery time to give when the message carries none of its own (the file's time).
bool parseRfc822(const std::string& bytes, FileTime deliveredAt, StoredMessage& out);

// Builds the message's RFC 822 form. Bcc recipients are left out of the header unless
// `withBcc` (a stored copy keeps them; mail on the wire must not). Lines end in CR LF
// for the wire, LF for a Maildir file.
std::string buildRfc822(const StoredMessage& message, bool withBcc, bool crlf);

std::string utf8FromAnsi(const std::string& text);
std::string ansiFromUtf8(const std::string& text);

}  // namespace platform::mapi
