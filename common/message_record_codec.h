#pragma once
// The handheld message record: one CMsg as a record of the message database, big-endian,
// texts NUL-terminated with LF line ends, times in local seconds since 1904.
//
// Layout: 0 host id (a 4-byte hostId read least significant first), 4 local date + 1904
// offset, 8 (value64 << 16) + account + 1, 12 partWord without bit 0, 16 read (1/0),
// 20 size, 24 msgId text, then To, From, Cc, Bcc, Subject, dateText, Body, ReplyTo (From
// when empty), zero bytes to a multiple of 4, then the part ids up to the first 0.
#include <cstdint>
#include <string>

#include "common/handheld_records.h"
#include "common/msg_record.h"

namespace tess {

// The note put behind a body that was cut to fit.
extern const char* const kTruncationNote;

// A record id or UID as the 4-byte id the message carries (least significant byte
// first), and back; an id shorter than 4 bytes reads its zero fill (0 when empty).
CId NumberAsId(uint32_t v);
uint32_t IdAsNumber(const CId& id);
// The number of a full 4-byte id; 0 for a shorter one (no record or UID behind it).
uint32_t FullIdAsNumber(const CId& id);

// Packs msg into record (its data replaced, at most 63000 bytes and, for the body, at
// most maxBytes). The body is cut when the message is too large; the note follows the
// kept part when appendNote is set, and always when the record limit itself forced the
// cut. Header texts are cut only when they alone would not fit 63000 bytes. Returns 0.
int PackMessageRecord(int dbVersion, HandheldRecord& record, const CMsg& msg, uint32_t maxBytes, int account,
                      bool appendNote);
// Reads a record into msg. The account number, or -1 for a record marked deleted (msg
// then carries only the deleted flags). Never reads past the record; a text cut short
// ends the reading and leaves the later texts empty.
int UnpackMessageRecord(const HandheldRecord& record, CMsg& msg);
// The same without the body: msg.Body is left empty and hasBody says whether the record
// holds a text. For callers that leave the text in the record until it is written anew.
int UnpackMessageHeaders(const HandheldRecord& record, CMsg& msg, bool& hasBody);
// A record whose UnpackMessageHeaders reads exactly what the record's does, with the body
// text left out (one byte stands for a text that is there): what a reader of the headers
// needs to keep of each message, at a fraction of the size. A record that does not read
// whole (cut short, damaged) is kept as it is.
void HeadersOnlyRecord(const HandheldRecord& record, HandheldRecord& out);

}  // namespace tess
