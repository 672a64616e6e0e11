// The handheld's account preferences as bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "accounts/block_fields.h"
#include "accounts/handheld_account_records.h"

namespace tess::accounts::test {
namespace {

TEST(AccountRecord, FreshRecordBytes) {
    const AccountRecord r = FreshAccountRecord();
    std::array<uint8_t, kAccountRecordSize> expected{};
    auto be16 = [&](size_t at, uint16_t v) { expected[at] = uint8_t(v >> 8), expected[at + 1] = uint8_t(v); };
    expected[2] = 1;
    be16(4, 110);
    be16(6, 5);
    expected[9] = expected[10] = 1;
    be16(32, 25);
    be16(34, 2);
    be16(36, 45);
    expected[38] = expected[40] = expected[52] = 1;
    be16(54, 88);
    be16(56, 66);
    be16(64, 1);
    be16(66, 0xFFFF);
    be16(68, 0xFFFF);
    std::memcpy(&expected[79], "Sent", 4);
    std::memcpy(&expected[96], "Trash", 5);
    expected[133] = expected[134] = expected[139] = expected[140] = expected[150] = 1;
    expected[148] = 7;
    expected[154] = 1;
    EXPECT_EQ(r, expected);
}

TEST(AccountRecord, ResetKeepsWhatItDoesNotName) {
    AccountRecord r;
    r.fill(0xEE);
    ResetAccountRecord(r);
    ByteView v(r);
    for (size_t at : {38, 40, 52, 133, 139, 140}) EXPECT_EQ(v.u8(at), 1) << at;
    for (size_t at : {141, 151}) EXPECT_EQ(v.u8(at), 0) << at;
    EXPECT_EQ(v.u16be(50), 0);
    EXPECT_EQ(v.u16be(54), 99);
    EXPECT_EQ(v.u16be(56), 61);
    EXPECT_EQ(v.u16be(62), 0);
    EXPECT_EQ(v.u16be(64), 1);
    EXPECT_EQ(v.u16be(66), 0xFFFF);
    EXPECT_EQ(v.u16be(136), 0);
    EXPECT_EQ(v.text(79, 17), "Sent");
    EXPECT_EQ(v.text(96, 17), "Trash");
    EXPECT_EQ(v.u8(148), 7);
    EXPECT_EQ(v.u8(149), 0);
    EXPECT_EQ(v.u8(154), 1);
    EXPECT_EQ(v.u8(155), 0);
    // Fields it does not name keep their bytes: the protocol word, the ports, a switch.
    for (size_t at : {0, 1, 4, 5, 30, 128, 135, 179}) EXPECT_EQ(v.u8(at), 0xEE) << at;
}

TEST(FolderPreference, ClearingKeepsTheFirstFiveSlots) {
    std::array<uint8_t, layout::kFolderPrefSize> p;
    p.fill(0);
    ByteSpan w(p);
    w.putU16le(0, 0x1234);
    for (int slot = 0; slot < 16; ++slot) {
        w.putText(2 + size_t(slot) * 16, 16, "Folder" + std::to_string(slot));
        w.putU8(258 + size_t(slot), 1);
    }
    w.putU8(274, 9);
    w.putU8(275, 8);
    ClearFolderPreference(p);
    ByteView v(p);
    EXPECT_EQ(v.u16le(0), 0);
    EXPECT_EQ(v.u8(274), 0);
    EXPECT_EQ(v.u8(275), 8) << "only byte 274 is cleared";
    for (int slot = 0; slot < 16; ++slot) {
        const bool kept = slot < 5;
        EXPECT_EQ(v.text(2 + size_t(slot) * 16, 16), kept ? "Folder" + std::to_string(slot) : "") << slot;
        EXPECT_EQ(v.u8(258 + size_t(slot)), kept ? 1 : 0) << slot;
    }
}

TEST(FilterRecord, StoredFormHasAZeroFirstWordAndBoundedTexts) {
    MessageFilter f;
    std::memset(f.name, 'n', sizeof f.name);  // no terminator
    f.inUse = 1;
    f.further = -3;
    f.kind = kFilterSize;
    f.textOperator = 0;
    f.numericOperator = kFilterAtMost;
    std::strcpy(f.value, "10");
    f.flag = 1;
    std::strcpy(f.extra, "Inbox");
    const auto bytes = EncodeFilterRecord(f);
    ByteView v(bytes);
    EXPECT_EQ(v.u32le(0), 0u);
    EXPECT_EQ(v.text(4, 32), std::string(31, 'n'));
    EXPECT_EQ(v.u8(35), 0);
    EXPECT_EQ(v.u32le(44), 1u);
    EXPECT_EQ(int32_t(v.u32le(48)), -3);
    EXPECT_EQ(v.u32le(52), 5u);
    EXPECT_EQ(v.u32le(60), 1u);
    EXPECT_EQ(v.text(64, 32), "10");
    EXPECT_EQ(v.u32le(96), 1u);
    EXPECT_EQ(v.text(100, 16), "Inbox");

    const MessageFilter back = DecodeFilterRecord(bytes);
    EXPECT_EQ(std::string(back.name), std::string(31, 'n'));
    EXPECT_EQ(back.kind, kFilterSize);
    EXPECT_EQ(back.numericOperator, kFilterAtMost);
    EXPECT_STREQ(back.extra, "Inbox");
    EXPECT_EQ(DecodeFilterRecord(std::span(bytes).first(50)).kind, 0) << "short record: missing fields are 0";
}

TEST(FilterRecord, HandheldRecordIsWidenedAndCut) {
    std::vector<uint8_t> r(kHandheldFilterSize, 0);
    std::memset(&r[0], 'a', 32);  // name without terminator
    r[32] = 0xFF;                 // in use, signed byte
    r[34] = 2, r[35] = 0;         // kind, desktop order
    r[36] = 0, r[37] = 1;         // operator, big-endian
    std::memcpy(&r[38], "urgent", 6);
    r[70] = 0xFE, r[71] = 0xFF;    // flag -2
    std::memset(&r[72], 'F', 16);  // target without terminator
    r[104] = 0x80;
    const MessageFilter f = DecodeHandheldFilter(r);
    EXPECT_EQ(std::string(f.name), std::string(31, 'a'));
    EXPECT_EQ(f.inUse, -1);
    EXPECT_EQ(f.kind, 2);
    EXPECT_EQ(f.textOperator, 1);
    EXPECT_EQ(f.numericOperator, 1);
    EXPECT_STREQ(f.value, "urgent");
    EXPECT_EQ(f.flag, -2);
    EXPECT_EQ(std::string(f.extra), std::string(15, 'F'));
    EXPECT_EQ(f.further, -128);

    const MessageFilter tiny = DecodeHandheldFilter(std::span(r).first(3));
    EXPECT_EQ(std::string(tiny.name), "aaa");
    EXPECT_EQ(tiny.kind, 0);
}

TEST(PendingTags, EveryTagNamesOneHandheldValue) {
    struct Case {
        uint32_t tag;
        PendingTag::Kind kind;
        size_t block;
        int target;
    } cases[] = {
        {0, PendingTag::text, 720, 11},        {2, PendingTag::text, 976, 18},        {5, PendingTag::word, 542, 0},
        {6, PendingTag::switchByte, 548, 52},  {14, PendingTag::text, 3240, 410},     {19, PendingTag::word, 3498, 4},
        {21, PendingTag::word, 3496, 32},      {23, PendingTag::none, 0, 0},          {24, PendingTag::sizeKb, 556, 6},
        {26, PendingTag::folderName, 510, 79}, {27, PendingTag::folderName, 526, 96}, {28, PendingTag::text, 255, 21},
        {29, PendingTag::none, 0, 0},
    };
    for (const Case& c : cases) {
        const PendingTag t = LookUpPendingTag(c.tag);
        EXPECT_EQ(t.kind, c.kind) << c.tag;
        EXPECT_EQ(t.blockOffset, c.block) << c.tag;
        EXPECT_EQ(t.target, c.target) << c.tag;
    }
    EXPECT_TRUE(LookUpPendingTag(2).sealed);
    EXPECT_TRUE(LookUpPendingTag(14).sealed);
    EXPECT_FALSE(LookUpPendingTag(1).sealed);
}

}  // namespace
}  // namespace tess::accounts::test
