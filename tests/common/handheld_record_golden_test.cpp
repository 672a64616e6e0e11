// Handheld records against bytes written out by hand from the record layouts: message
// records and attachment records in one table, each packed and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/handheld_records.h"
#include "common/message_record_codec.h"
#include "tests/common/record_bytes.h"
#include "tests/common/scoped_zone.h"

namespace tess::test {

namespace {

class UtcZone : public ::testing::Test {
protected:
    tess::test::ScopedZone zone_{"UTC"};
};

CMsg BaseMsg() {
    CMsg m;
    const uint8_t uid[4] = {0x2A, 0, 0, 0};
    m.hostId.SetData(uid, 4);
    const uint8_t rec[4] = {0x10, 0x20, 0, 0};
    m.deviceId.SetData(rec, 4);
    m.msgId.SetData("m1", 2);
    m.date = 1000000000;  // 2001-09-09 01:46:40 UTC
    m.size = 100;
    m.To = "t@x";
    m.From = "f@x";
    m.Subject = "S\n";
    m.category = 2;
    return m;
}

const Bytes kDateField = Hex("B7C07A80");
const std::string kDateText = "Sun, 09 Sep 2001 01:46:40 +0000";

struct GoldenCase {
    const char* name;
    std::function<int(HandheldRecord&)> pack;
    Bytes expected;
    uint8_t attributes;
};

AttachmentEntry Attachment(uint32_t kind, const std::string& name, size_t dataBytes) {
    AttachmentEntry e;
    e.kind = kind;
    e.name = name;
    e.data.assign(dataBytes, 'x');
    return e;
}

}  // namespace

TEST_F(UtcZone, RecordsMatchHandWrittenBytes) {
    const std::string longName = std::string(252, 'n') + ".csv";  // 256 characters
    const GoldenCase cases[] = {
        {"empty body becomes one blank; empty dateText becomes the date",
         [](HandheldRecord& r) { return PackMessageRecord(1056, r, BaseMsg(), 63000, 2, true); },
         Cat({Hex("0000002A"), kDateField, Hex("00000003"), Hex("00000000"), Hex("00000000"), Hex("00000064"),
              Str("m1"), Str("t@x"), Str("f@x"), Str(""), Str(""), Str("S"), Str(kDateText), Str(" "), Str("f@x"),
              Fill(3, 0)}),
         0},
        {"CR LF body stored with LF; last text keeps its LF; read; value64; part word",
         [](HandheldRecord& r) {
             CMsg m = BaseMsg();
             m.Body = "a\r\nb\r\n";
             m.ReplyTo = "r@x\r\n";
             m.Cc = "c@x\r\n";
             m.dateText = "D\n";
             m.status = 0x8400;
             m.value64 = 5;
             m.partWord = 0x301;
             return PackMessageRecord(1056, r, m, 63000, 0, true);
         },
         Cat({Hex("0000002A"), kDateField, Hex("00050001"), Hex("00000300"), Hex("00000001"), Hex("00000064"),
              Str("m1"), Str("t@x"), Str("f@x"), Str("c@x"), Str(""), Str("S"), Str("D"), Str("a\nb\n"), Str("r@x\n"),
              Fill(2, 0)}),
         0},
        {"empty From with empty Reply-To; no host id of 4 bytes",
         [](HandheldRecord& r) {
             CMsg m = BaseMsg();
             m.From.clear();
             m.hostId.SetData("12345", 5);
             m.Body = "b";
             return PackMessageRecord(1056, r, m, 63000, 0, true);
         },
         Cat({Hex("00000000"), kDateField, Hex("00000001"), Hex("00000000"), Hex("00000000"), Hex("00000064"),
              Str("m1"), Str("t@x"), Str(""), Str(""), Str(""), Str("S"), Str(kDateText), Str("b"), Str(""),
              Fill(1, 0)}),
         0},
        {"part ids up to the first 0",
         [](HandheldRecord& r) {
             CMsg m = BaseMsg();
             m.Body = "bb";
             m.partIds[0] = 5;
             m.partIds[1] = 9;
             m.partIds[3] = 7;
             return PackMessageRecord(1056, r, m, 63000, 0, true);
         },
         Cat({Hex("0000002A"), kDateField, Hex("00000001"), Hex("00000000"), Hex("00000000"), Hex("00000064"),
              Str("m1"), Str("t@x"), Str("f@x"), Str(""), Str(""), Str("S"), Str(kDateText), Str("bb"), Str("f@x"),
              Fill(2, 0), Hex("00000005 00000009")}),
         0},
        {"deleted attribute kept with 0x40; other bits dropped",
         [](HandheldRecord& r) {
             CMsg m = BaseMsg();
             m.recordAttributes = 0x80 | 0x40 | 0x01;
             m.Body = "b";
             return PackMessageRecord(1056, r, m, 63000, 0, true);
         },
         Cat({Hex("0000002A"), kDateField, Hex("00000001"), Hex("00000000"), Hex("00000000"), Hex("00000064"),
              Str("m1"), Str("t@x"), Str("f@x"), Str(""), Str(""), Str("S"), Str(kDateText), Str("b"), Str("f@x"),
              Fill(3, 0)}),
         0xC0},
        {"attachment with a 256-character name: the name is kept whole, text type adds a NUL",
         [&](HandheldRecord& r) { return Attachment(17 | 2 << 8, "C:\\dir\\" + longName, 3).Pack(r); },
         Cat({Hex("00000211"), Str(longName), Hex("787878"), Hex("00")}), 0x40},
        {"text attachment filling a piece",
         [](HandheldRecord& r) { return Attachment(15, "/tmp/n.qsh", kAttachmentPieceBytes).Pack(r); },
         Cat({Hex("0000000F"), Str("n.qsh"), Fill(kAttachmentPieceBytes, 'x'), Hex("00")}), 0x40},
        {"terminator", [](HandheldRecord& r) { return CAttachmentChain::Terminator().Pack(r); },
         Cat({Hex("00000000"), Str("--")}), 0x40},
    };
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.name);
        HandheldRecord r;
        ASSERT_EQ(c.pack(r), 0);
        EXPECT_EQ(r.data, c.expected);
        EXPECT_EQ(r.attributes, c.attributes);
        EXPECT_LE(r.data.size(), kMaxRecordBytes);
    }
}

TEST_F(UtcZone, MessageRecordsReadBack) {
    CMsg m = BaseMsg();
    m.Body = "line1\r\nline2";
    m.Bcc = "b@x";
    m.status = 0x8400;
    m.value64 = 3;
    for (int i = 0; i < kMaxPartIds; ++i) m.partIds[i] = 100 + i;
    HandheldRecord r;
    ASSERT_EQ(PackMessageRecord(1056, r, m, 63000, 0, true), 0);
    EXPECT_EQ(r.id, 0x2010u);

    CMsg back;
    EXPECT_EQ(UnpackMessageRecord(r, back), 0);  // account 0 survives as 1 - 1
    EXPECT_TRUE(back.hostId.IsEqual(m.hostId));
    EXPECT_TRUE(back.deviceId.IsEqual(m.deviceId));
    EXPECT_TRUE(back.msgId.IsEqual(m.msgId));
    EXPECT_EQ(back.date, m.date);
    EXPECT_EQ(back.Body, "line1\r\nline2");
    EXPECT_EQ(back.Subject, "S");
    EXPECT_EQ(back.Bcc, "b@x");
    EXPECT_EQ(back.ReplyTo, "f@x");
    EXPECT_EQ(back.dateText, kDateText);
    EXPECT_EQ(back.value64, 3);
    EXPECT_EQ(back.category, 2);
    EXPECT_TRUE(back.status & kMsgStatusRead);
    EXPECT_TRUE(back.flags & kMsgFlagRead);
    EXPECT_TRUE(back.flags & kMsgFlagFromHandheld);
    for (int i = 0; i < kMaxPartIds; ++i) EXPECT_EQ(back.partIds[i], 100u + i);

    // Empty body came back as the blank it was stored as.
    CMsg empty = BaseMsg();
    ASSERT_EQ(PackMessageRecord(1056, r, empty, 63000, 41, true), 0);
    CMsg back2;
    EXPECT_EQ(UnpackMessageRecord(r, back2), 41);
    EXPECT_EQ(back2.Body, " ");
}

TEST_F(UtcZone, DeletedRecordUnpacksToMinusOneWithOnlyTheDeletedFlags) {
    HandheldRecord r;
    r.attributes = 0xC0;
    r.data = Hex("0000002A");
    CMsg m;
    EXPECT_EQ(UnpackMessageRecord(r, m), -1);
    EXPECT_EQ(m.flags & kMsgFlagDeletedOnHandheld, kMsgFlagDeletedOnHandheld);
    EXPECT_FALSE(m.flags & kMsgFlagFromHandheld);
    EXPECT_TRUE(m.hostId.IsEmpty());
}

TEST_F(UtcZone, RecordIdIsTheDeviceIdsFirstFourBytes) {
    struct Case {
        Bytes deviceId;
        uint32_t recordId;
    } cases[] = {
        {{}, 0},
        {Hex("3412"), 0x1234},  // a short id reads its zero fill
        {Hex("10200000"), 0x2010},
        {Hex("010203040506"), 0x04030201},
    };
    for (const Case& c : cases) {
        CMsg m = BaseMsg();
        m.deviceId.SetData(c.deviceId.data(), static_cast<int32_t>(c.deviceId.size()));
        HandheldRecord r;
        ASSERT_EQ(PackMessageRecord(1056, r, m, 63000, 0, true), 0);
        EXPECT_EQ(r.id, c.recordId) << c.deviceId.size() << " bytes";
    }
}

TEST_F(UtcZone, OversizeMessagesStayWithinTheLimits) {
    struct Case {
        const char* name;
        size_t toChars, bodyChars;
        uint32_t maxBytes;
        bool appendNote;
        bool expectNote;
        size_t recordLimit;
    } cases[] = {
        {"body over an account limit, note asked", 10, 20000, 4096, true, true, 4096},
        {"body over an account limit, no note", 10, 20000, 4096, false, false, 4096},
        {"body over the record limit", 10, 200000, 100 * 1024, false, true, 63000},
        {"headers alone over the record limit", 70000, 10, 100 * 1024, true, true, 63000},
        {"headers and body over the record limit", 64000, 64000, 63000, true, true, 63000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMsg m = BaseMsg();
        m.To = std::string(c.toChars, 't');
        m.Body = std::string(c.bodyChars, 'b');
        HandheldRecord r;
        ASSERT_EQ(PackMessageRecord(1056, r, m, c.maxBytes, 0, c.appendNote), 0);
        EXPECT_LE(r.data.size(), c.recordLimit);
        CMsg back;
        ASSERT_EQ(UnpackMessageRecord(r, back), 0);
        const std::string note = std::string("...\r\n\r\n") + kTruncationNote;
        const bool hasNote = back.Body.size() >= note.size() &&
                             back.Body.compare(back.Body.size() - note.size(), note.size(), note) == 0;
        EXPECT_EQ(hasNote, c.expectNote);
        EXPECT_EQ(back.From, "f@x");  // the short texts are never cut
        EXPECT_LE(back.To.size(), c.toChars);
    }
}

TEST(MessageRecord, DamagedRecordsNeverReadPastTheirEnd) {
    // Every prefix of a good record, and a record without any NUL, unpack safely.
    HandheldRecord good;
    CMsg m = BaseMsg();
    m.Body = "body";
    m.partIds[0] = 1;
    ASSERT_EQ(PackMessageRecord(1056, good, m, 63000, 3, true), 0);
    for (size_t cut = 0; cut <= good.data.size(); ++cut) {
        HandheldRecord r = good;
        r.data.resize(cut);
        CMsg back;
        UnpackMessageRecord(r, back);
        if (cut < good.data.size()) {
            EXPECT_EQ(back.partIds[0], 0u) << cut;
        }
    }
    HandheldRecord noNul;
    noNul.data = Cat({Hex("0000002A 00000000 00000001 00000000 00000000 00000000"), Fill(40, 'z')});
    CMsg back;
    EXPECT_EQ(UnpackMessageRecord(noNul, back), 0);
    EXPECT_TRUE(back.msgId.IsEmpty());
    EXPECT_TRUE(back.Body.empty());
}

TEST_F(UtcZone, HeadersAloneReadAsTheWholeRecordLessItsBody) {
    // Each prefix of a record too, so a body cut short ends the reading as it does whole.
    CMsg m = BaseMsg();
    m.Body = "line1\r\nline2";
    m.ReplyTo = "r@x";
    m.partIds[0] = 7;
    m.partIds[1] = 9;
    HandheldRecord good;
    ASSERT_EQ(PackMessageRecord(1056, good, m, 63000, 5, true), 0);
    for (size_t cut = 0; cut <= good.data.size(); ++cut) {
        HandheldRecord r = good;
        r.data.resize(cut);
        CMsg whole, headers;
        bool hasBody = true;
        EXPECT_EQ(UnpackMessageHeaders(r, headers, hasBody), UnpackMessageRecord(r, whole)) << cut;
        EXPECT_EQ(hasBody, !whole.Body.empty()) << cut;
        EXPECT_TRUE(headers.Body.empty()) << cut;
        EXPECT_TRUE(headers.msgId.IsEqual(whole.msgId)) << cut;
        for (const auto field :
             {&CMsg::To, &CMsg::From, &CMsg::Cc, &CMsg::Bcc, &CMsg::Subject, &CMsg::dateText, &CMsg::ReplyTo})
            EXPECT_EQ(headers.*field, whole.*field) << cut;
        EXPECT_TRUE(std::equal(std::begin(headers.partIds), std::end(headers.partIds), std::begin(whole.partIds)))
            << cut;
        EXPECT_EQ(headers.flags, whole.flags) << cut;
        EXPECT_EQ(headers.status, whole.status) << cut;
    }
    // The blank an empty body is stored as is still a text.
    CMsg empty = BaseMsg();
    ASSERT_EQ(PackMessageRecord(1056, good, empty, 63000, 5, true), 0);
    CMsg headers;
    bool hasBody = false;
    EXPECT_EQ(UnpackMessageHeaders(good, headers, hasBody), 5);
    EXPECT_TRUE(hasBody);
    EXPECT_EQ(headers.ReplyTo, "f@x");
}

// A record kept without its body reads as the record does, headers and all, for bodies
// of every length modulo four (the part ids' alignment moves with them), with and without
// part ids, for every prefix of each record (damaged ones are kept whole) and with bytes
// after the part ids.
TEST_F(UtcZone, HeadersOnlyRecordReadsAsTheRecord) {
    auto same = [](const HandheldRecord& r, const std::string& what) {
        HandheldRecord kept;
        HeadersOnlyRecord(r, kept);
        EXPECT_EQ(kept.id, r.id) << what;
        EXPECT_EQ(kept.attributes, r.attributes) << what;
        EXPECT_EQ(kept.category, r.category) << what;
        CMsg a, b;
        bool hasA = false, hasB = true;
        EXPECT_EQ(UnpackMessageHeaders(kept, b, hasB), UnpackMessageHeaders(r, a, hasA)) << what;
        EXPECT_EQ(hasB, hasA) << what;
        for (const auto field : {&CMsg::To, &CMsg::From, &CMsg::Cc, &CMsg::Bcc, &CMsg::Subject, &CMsg::dateText,
                                 &CMsg::ReplyTo, &CMsg::Body})
            EXPECT_EQ(b.*field, a.*field) << what;
        for (const auto id : {&CMsg::msgId, &CMsg::hostId, &CMsg::deviceId})
            EXPECT_TRUE((b.*id).IsEqual(a.*id)) << what;
        EXPECT_EQ(b.date, a.date) << what;
        EXPECT_EQ(b.value64, a.value64) << what;
        EXPECT_EQ(b.partWord, a.partWord) << what;
        EXPECT_EQ(b.status, a.status) << what;
        EXPECT_EQ(b.flags, a.flags) << what;
        EXPECT_EQ(b.size, a.size) << what;
        EXPECT_EQ(b.category, a.category) << what;
        EXPECT_EQ(b.recordAttributes, a.recordAttributes) << what;
        EXPECT_TRUE(std::equal(std::begin(b.partIds), std::end(b.partIds), std::begin(a.partIds))) << what;
        return kept.data.size();
    };
    for (const std::string body : {"", "a", "ab", "abc", "abcd", "line1\r\nline2\r\n"}) {
        for (int parts : {0, 1, kMaxPartIds}) {
            CMsg m = BaseMsg();
            m.Body = body;
            m.ReplyTo = "r@x";
            m.partWord = 0x1234;
            for (int i = 0; i < parts; ++i) m.partIds[i] = 70 + i;
            HandheldRecord good;
            ASSERT_EQ(PackMessageRecord(1056, good, m, 63000, 5, true), 0);
            good.attributes = 0x40;
            const std::string name = "body '" + body + "', " + std::to_string(parts) + " part ids";
            for (size_t cut = 0; cut <= good.data.size(); ++cut) {
                HandheldRecord r = good;
                r.data.resize(cut);
                same(r, name + ", cut at " + std::to_string(cut));
            }
            HandheldRecord longer = good;
            longer.data.insert(longer.data.end(), {1, 2, 3, 4, 5, 6});
            same(longer, name + ", bytes after");
            HandheldRecord deleted = good;
            deleted.attributes |= kRecordAttrDeleted;
            same(deleted, name + ", deleted");
        }
    }
    // Only the body goes: a long one leaves a record of the headers' size.
    CMsg m = BaseMsg();
    m.Body.assign(5000, 'b');
    HandheldRecord big;
    ASSERT_EQ(PackMessageRecord(1056, big, m, 63000, 5, true), 0);
    EXPECT_LT(same(big, "a long body"), big.data.size() - 4900);
}

}  // namespace tess::test
