#include "common/message_record_codec.h"

#include <algorithm>
#include <cstring>

#include "common/byte_io.h"
#include "common/handheld_time.h"
#include "common/mail_msg.h"
#include "common/mapped_file.h"

namespace tess {

const char* const kTruncationNote =
    "(The content of this field was too large.  The entire message is available in your e-mail application.)";

namespace {

// The 32-bit head of a MailMsg: the size rule of the record limits counts it, whatever
// the head's size in this process.
constexpr size_t kWireHeadSize = 112;
constexpr size_t kFixedBytes = 24;
constexpr size_t kSafetyMargin = 20;

std::string HeaderText(const std::string& s) {
    std::string t = StripCarriageReturns(s.data(), s.size());
    if (!t.empty() && t.back() == '\n') t.pop_back();
    return t;
}

}  // namespace

uint32_t IdAsNumber(const CId& id) {
    int32_t n = 0;
    const uint8_t* b = id.GetData(&n);
    uint32_t v = 0;
    for (int32_t i = 0; i < 4 && i < n; ++i) v |= uint32_t(b[i]) << (8 * i);
    return v;
}

uint32_t FullIdAsNumber(const CId& id) { return id.GetLength() < 4 ? 0 : IdAsNumber(id); }

CId NumberAsId(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return CId(b, 4);
}

int PackMessageRecord(int /*dbVersion*/, HandheldRecord& record, const CMsg& msg, uint32_t maxBytes, int account,
                      bool appendNote) {
    record.attributes = msg.recordAttributes & (kRecordAttrDeleted | kRecordAttr40 | kRecordAttr08);
    record.id = IdAsNumber(msg.deviceId);
    record.category = msg.category;

    int32_t idLen = 0;
    const uint8_t* idBytes = msg.msgId.GetData(&idLen);
    std::string idText = idBytes ? std::string(reinterpret_cast<const char*>(idBytes)) : std::string();
    idText = StripCarriageReturns(idText.data(), idText.size());

    std::string dateText = msg.dateText;
    if (dateText.empty()) {
        CHandheldTime t;
        t.Set(msg.date, true);
        t.FormatRfc822(dateText, false);
    }
    // To, From, Cc, Bcc, Subject, dateText (each loses one trailing LF), Body, last text.
    std::string texts[8] = {HeaderText(msg.To),
                            HeaderText(msg.From),
                            HeaderText(msg.Cc),
                            HeaderText(msg.Bcc),
                            HeaderText(msg.Subject),
                            HeaderText(dateText),
                            StripCarriageReturns(msg.Body.data(), msg.Body.size()),
                            StripCarriageReturns((msg.ReplyTo.empty() ? msg.From : msg.ReplyTo).data(),
                                                 (msg.ReplyTo.empty() ? msg.From : msg.ReplyTo).size())};
    std::string& body = texts[6];

    size_t partCount = 0;
    while (partCount < kMaxPartIds && msg.partIds[partCount] != 0) ++partCount;

    auto otherBytes = [&] {
        size_t n = kFixedBytes + idText.size() + 1 + 3 + 4 * partCount;  // 3: worst padding
        for (int i = 0; i < 8; ++i)
            if (i != 6) n += texts[i].size() + 1;
        return n + 1;  // the body's NUL
    };
    // Headers alone never push the record past the limit: the longest text gives way.
    const std::string note = std::string("...\n\n") + kTruncationNote;
    const size_t hardRoom = kMaxRecordBytes - note.size() - 2;
    while (otherBytes() > hardRoom) {
        std::string* longest = &idText;
        for (int i = 0; i < 8; ++i)
            if (i != 6 && texts[i].size() > longest->size()) longest = &texts[i];
        const size_t excess = otherBytes() - hardRoom;
        longest->resize(longest->size() > excess ? longest->size() - excess : 0);
    }

    const size_t wireSize = msg.GetMailMsgSize() - kMailMsgHeadSize + kWireHeadSize;
    const bool overLimit = maxBytes <= kMaxRecordBytes ? wireSize + kSafetyMargin > maxBytes : wireSize > 62950;
    if (overLimit || otherBytes() + body.size() > kMaxRecordBytes) {
        // An account limit keeps the same margin as the test above; the record limit is
        // absolute and always gets the note.
        const bool recordForced = maxBytes > kMaxRecordBytes || otherBytes() + body.size() > kMaxRecordBytes;
        const bool withNote = appendNote || recordForced;
        const size_t limit =
            maxBytes <= kMaxRecordBytes ? (maxBytes > kSafetyMargin ? maxBytes - kSafetyMargin : 0) : kMaxRecordBytes;
        const size_t used = otherBytes() + (withNote ? note.size() : 0);
        body.resize(std::min(limit > used ? limit - used : 0, body.size()));
        if (withNote) body += note;
    }
    if (body.empty()) body = " ";

    record.data.clear();
    tess::ByteWriter w(record.data, kMaxRecordBytes);
    w.u32be(IdAsNumber(msg.hostId.GetLength() == 4 ? msg.hostId : CId()));
    w.u32be(static_cast<uint32_t>(ToLocalOrUtc(msg.date, true) + kHandheldEpochOffset));
    w.u32be((static_cast<uint32_t>(static_cast<uint16_t>(msg.value64)) << 16) +
            static_cast<uint32_t>(static_cast<uint16_t>(account + 1)));
    w.u32be(msg.partWord & ~1u);
    w.u32be((msg.status & kMsgStatusRead) ? 1 : 0);
    w.u32be(static_cast<uint32_t>(msg.size));
    w.cstring(idText);
    for (const std::string& t : texts) w.cstring(t);
    w.padTo(4);
    for (size_t i = 0; i < partCount; ++i) w.u32be(msg.partIds[i]);
    return w.ok() ? kRecordOk : kRecordShort;
}

namespace {

// hasBody null: the body is read like the other texts; otherwise it is passed over and
// *hasBody says whether the record holds one.
int Unpack(const HandheldRecord& record, CMsg& msg, bool* hasBody) {
    msg.recordAttributes = record.attributes;
    if (record.attributes & kRecordAttrDeleted) {
        msg.flags |= kMsgFlagDeletedOnHandheld;
        return -1;
    }
    msg.flags |= kMsgFlagFromHandheld;
    msg.deviceId = NumberAsId(record.id);
    msg.category = static_cast<int16_t>(record.category);

    tess::ByteReader r(record.data);
    uint32_t host = 0, date = 0, word8 = 0, part = 0, read = 0, size = 0;
    r.u32be(host);
    r.u32be(date);
    r.u32be(word8);
    r.u32be(part);
    r.u32be(read);
    r.u32be(size);
    msg.hostId = NumberAsId(host);
    const int64_t local = static_cast<int64_t>(date) - kHandheldEpochOffset;
    msg.date = static_cast<int32_t>(std::clamp<int64_t>(ToLocalOrUtc(local, false), INT32_MIN, INT32_MAX));
    msg.value64 = static_cast<int16_t>(word8 >> 16);
    msg.partWord = part;
    if (read & 0xFF) {
        msg.status |= kMsgStatusRead;
        msg.flags |= kMsgFlagRead;
    } else {
        msg.status &= static_cast<uint16_t>(~kMsgStatusRead);
        msg.flags &= ~kMsgFlagRead;
    }
    msg.size = static_cast<int32_t>(size);

    auto text = [&](std::string& out) {
        std::string raw;
        out.clear();
        if (!r.ok() || !r.cstring(raw)) return;
        out = raw.find('\n') == std::string::npos ? std::move(raw) : ExpandLineFeeds(raw.data(), raw.size());
    };
    std::string id;
    text(id);
    msg.msgId.SetData(id.data(), static_cast<int32_t>(id.size()));
    std::string* fields[8] = {&msg.To,      &msg.From,     &msg.Cc,   &msg.Bcc,
                              &msg.Subject, &msg.dateText, &msg.Body, &msg.ReplyTo};
    for (std::string* f : fields) {
        if (f != &msg.Body || !hasBody) {
            text(*f);
            continue;
        }
        // Only its end is looked for: no copy, no line-end expansion.
        msg.Body.clear();
        *hasBody = false;
        const void* nul = r.ok() && r.remaining() ? std::memchr(r.cursor(), 0, r.remaining()) : nullptr;
        if (!nul) {
            r.skip(r.remaining() + 1);  // a text cut short ends the reading, as above
            continue;
        }
        const size_t length = size_t(static_cast<const uint8_t*>(nul) - r.cursor());
        *hasBody = length > 0;
        r.skip(length + 1);
    }

    std::fill(std::begin(msg.partIds), std::end(msg.partIds), 0u);
    if (r.ok() && r.alignTo(4)) {
        for (int i = 0; i < kMaxPartIds && r.remaining() >= 4; ++i) r.u32be(msg.partIds[i]);
    }
    return static_cast<int>(word8 & 0xFFFF) - 1;
}

}  // namespace

int UnpackMessageRecord(const HandheldRecord& record, CMsg& msg) { return Unpack(record, msg, nullptr); }

void HeadersOnlyRecord(const HandheldRecord& record, HandheldRecord& out) {
    out.id = record.id;
    out.attributes = record.attributes;
    out.category = record.category;
    // The layout Unpack reads: six words, the id and the eight texts (the body seventh),
    // then, from the next multiple of four, the part ids.
    tess::ByteReader r(record.data);
    std::string skipped;
    bool whole = r.skip(kFixedBytes) && r.cstring(skipped);
    for (int i = 0; whole && i < 6; ++i) whole = r.cstring(skipped);
    const size_t bodyAt = r.position();
    whole = whole && r.cstring(skipped);
    const bool hasBody = !skipped.empty();
    const size_t replyAt = r.position();
    whole = whole && r.cstring(skipped);
    if (!whole) {
        out.data = record.data;
        return;
    }
    const size_t replyEnd = r.position();
    const uint8_t* bytes = record.data.data();
    out.data.assign(bytes, bytes + bodyAt);
    if (hasBody) out.data.push_back('x');
    out.data.push_back(0);
    out.data.insert(out.data.end(), bytes + replyAt, bytes + replyEnd);
    // No room to reach the next multiple of four: no part ids, here as there.
    if (!r.alignTo(4)) return;
    out.data.resize((out.data.size() + 3) / 4 * 4, 0);
    out.data.insert(out.data.end(), bytes + r.position(), bytes + record.data.size());
}

int UnpackMessageHeaders(const HandheldRecord& record, CMsg& msg, bool& hasBody) {
    hasBody = false;
    return Unpack(record, msg, &hasBody);
}

}  // namespace tess
