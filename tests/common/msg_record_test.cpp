// CId, CFolderId and CMsg: comparison, archive round trips and damaged archives.
#include <gtest/gtest.h>

#include "common/handheld_records.h"
#include "common/msg_record.h"

namespace tess::test {

using platform::mfc::CArchive;

TEST(CId, ComparesByLengthAndBytes) {
    struct Case {
        const char* a;
        int la;
        const char* b;
        int lb;
        int equal;
    } cases[] = {
        {nullptr, 0, nullptr, 0, 1}, {"abcd", 4, "abcd", 4, 1},  {"abcd", 4, "abcde", 5, 0},
        {"abcd", 4, "abce", 4, 0},   {"abcd", 0, nullptr, 0, 1},  // zero length is empty
        {"abcd", -3, nullptr, 0, 1},
    };
    for (const Case& c : cases) {
        CId a(c.a, c.la), b(c.b, c.lb);
        EXPECT_EQ(a.IsEqual(b), c.equal) << c.a << "/" << c.b;
    }
}

TEST(CId, HeldBytesAreFollowedByZeros) {
    CId id("text", 4);
    int32_t n = 0;
    const uint8_t* p = id.GetData(&n);
    ASSERT_EQ(n, 4);
    EXPECT_STREQ(reinterpret_cast<const char*>(p), "text");
    id.Empty();
    EXPECT_EQ(id.GetData(&n), nullptr);
    EXPECT_EQ(n, 0);
}

TEST(CId, ArchiveLoadNeverTrustsTheStoredLength) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool ok;
        int32_t length;
    } cases[] = {
        {{0, 0, 0, 0}, true, 0},                    // empty id, no block
        {{3, 0, 0, 0, 'a', 'b', 'c'}, true, 3},     //
        {{4, 0, 0, 0, 'a', 'b', 'c'}, false, 0},    // cut short
        {{0xff, 0xff, 0xff, 0x7f, 'a'}, false, 0},  // claims 2 GB
        {{0xff, 0xff, 0xff, 0xff}, false, 0},       // negative
        {{1, 0}, false, 0},                         // length itself cut
    };
    for (const Case& c : cases) {
        CId id("old", 3);
        std::vector<unsigned char> bytes(c.bytes.begin(), c.bytes.end());
        CArchive ar(bytes, CArchive::load);
        id.Serialize(ar);
        EXPECT_EQ(!ar.IsFailed(), c.ok);
        EXPECT_EQ(id.GetLength(), c.length);
        if (c.length == 0) {
            EXPECT_EQ(id.GetData(nullptr), nullptr);
        }
    }
}

TEST(CMsg, ArchiveRoundTripKeepsSerialisedFieldsOnly) {
    CMsg msg;
    msg.hostId.SetData("\x01\x02\x03\x04", 4);
    msg.msgId.SetData("<id@host>", 9);
    msg.deviceId.SetData("\x00\x00\x00\x07", 4);
    msg.category = 5;
    msg.value60 = 60;
    msg.date = 123456789;
    msg.size = 42;
    msg.partBudget = 8192;
    msg.status = 0x8000;
    msg.flags = 0x4A000000;
    for (int i = 0; i < CMsg::kStringCount; ++i) msg.StringAt(i) = "s" + std::to_string(i);
    msg.value64 = 7;     // not serialised
    msg.dateText = "x";  // not serialised
    msg.partIds[0] = 9;  // not serialised
    msg.recordAttributes = 0x40;

    std::vector<unsigned char> bytes;
    {
        CArchive ar(bytes, CArchive::store);
        msg.Serialize(ar);
    }

    CMsg back;
    CArchive ar(bytes, CArchive::load);
    back.Serialize(ar);
    ASSERT_FALSE(ar.IsFailed());
    EXPECT_EQ(ar.Remaining(), 0u);
    EXPECT_TRUE(back.hostId.IsEqual(msg.hostId));
    EXPECT_TRUE(back.msgId.IsEqual(msg.msgId));
    EXPECT_TRUE(back.deviceId.IsEqual(msg.deviceId));
    EXPECT_EQ(back.category, 5);
    EXPECT_EQ(back.value60, 60);
    EXPECT_EQ(back.date, 123456789);
    EXPECT_EQ(back.size, 42);
    EXPECT_EQ(back.partBudget, 8192);
    EXPECT_EQ(back.status, 0x8000);
    EXPECT_EQ(back.flags, 0x4A000000u);
    for (int i = 0; i < CMsg::kStringCount; ++i) EXPECT_EQ(back.StringAt(i), msg.StringAt(i));
    EXPECT_EQ(back.value64, 0);
    EXPECT_TRUE(back.dateText.empty());
    EXPECT_EQ(back.partIds[0], 0u);
    EXPECT_EQ(back.recordAttributes, 0);

    // Every truncation of the archive fails cleanly.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<unsigned char> part(bytes.begin(), bytes.begin() + cut);
        CMsg partial;
        CArchive arc(part, CArchive::load);
        partial.Serialize(arc);
        EXPECT_TRUE(arc.IsFailed()) << cut;
    }
}

TEST(CMsg, SchemaZeroLoadsNothing) {
    std::vector<unsigned char> bytes = {0, 0, 1, 2, 3};
    CMsg msg;
    msg.Subject = "kept";
    CArchive ar(bytes, CArchive::load);
    msg.Serialize(ar);
    EXPECT_FALSE(ar.IsFailed());
    EXPECT_EQ(msg.Subject, "kept");
    EXPECT_EQ(ar.Remaining(), 3u);
}

TEST(CFolderId, ArchiveRoundTrip) {
    std::vector<unsigned char> bytes;
    {
        CFolderId f("INBOX", "\x01\x02", 2);
        CArchive ar(bytes, CArchive::store);
        f.Serialize(ar);
    }
    CFolderId back;
    CArchive ar(bytes, CArchive::load);
    back.Serialize(ar);
    EXPECT_FALSE(ar.IsFailed());
    EXPECT_EQ(back.GetName(), "INBOX");
    EXPECT_TRUE(back.IsEqual(CId("\x01\x02", 2)));
}

TEST(CMsg, HeaderTextSizeCountsNonEmptyStringsButNotAttachmentNames) {
    CMsg msg;
    msg.hostId.SetData("1234", 4);
    msg.msgId.SetData("ab", 2);
    msg.From = "f";       // 2
    msg.Subject = "sub";  // 4
    msg.AttachmentNames = "a.txt";
    EXPECT_EQ(msg.GetHeaderTextSize(), 4 + 2 + 2 + 4);
}

TEST(CMsg, AttachmentNamesJoinedWithoutLeadingCommaAndEmptyItemsSkipped) {
    CMsg msg;
    msg.AddAttachmentName("a.txt");
    msg.AddAttachmentName("");
    msg.AddAttachmentName("b.doc");
    EXPECT_EQ(msg.AttachmentNames, "a.txt,b.doc");
    msg.AttachmentNames = ",x.pdf,,y.zip,";
    EXPECT_EQ(msg.AttachmentNameList(), (std::vector<std::string>{"x.pdf", "y.zip"}));
}

TEST(CMsg, CopyDuplicatesPartInfo) {
    CMsg msg;
    msg.partInfo = std::make_unique<CPartInfoRecord>();
    msg.partInfo->name = "p";
    CMsg copy(msg);
    ASSERT_TRUE(copy.partInfo);
    EXPECT_NE(copy.partInfo.get(), msg.partInfo.get());
    EXPECT_EQ(copy.partInfo->name, "p");
}

}  // namespace tess::test
