// MailMsg blocks: layout, size rule and the conversion both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/mail_msg.h"
#include "common/msg_record.h"

namespace tess::test {

namespace {

struct BlockDeleter {
    void operator()(MailMsg* m) const { FreeMailMsgBlock(m); }
};
using Block = std::unique_ptr<MailMsg, BlockDeleter>;

Block ToBlock(const CMsg& msg) {
    MailMsg* out = nullptr;
    EXPECT_EQ(msg.ToMailMsg(&out), 0);
    return Block(out);
}

bool Inside(const MailMsg* block, size_t size, const void* p) {
    auto* base = reinterpret_cast<const uint8_t*>(block);
    auto* q = static_cast<const uint8_t*>(p);
    return q >= base + kMailMsgHeadSize && q < base + size;
}

}  // namespace

TEST(MailMsg, EmptyMessageIsJustTheHeadWithNullPointers) {
    CMsg msg;
    EXPECT_EQ(msg.GetMailMsgSize(), kMailMsgHeadSize);
    Block b = ToBlock(msg);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->version, 1);
    EXPECT_EQ(b->hostId, nullptr);
    EXPECT_EQ(b->msgId, nullptr);
    EXPECT_EQ(b->deviceId, nullptr);
    EXPECT_EQ(b->folderName, nullptr);
    EXPECT_EQ(b->folderData, nullptr);
    for (const char* s : {b->From, b->To, b->Cc, b->Bcc, b->ReplyTo, b->Extra, b->Subject, b->Body, b->AttachmentNames})
        EXPECT_EQ(s, nullptr);
    EXPECT_EQ(b->status, kMsgStatusDefault);
    EXPECT_EQ(b->flags, kMsgFlagDefault);
}

TEST(MailMsg, BlockHoldsEverythingInsideItselfInOrder) {
    CMsg msg;
    const uint8_t uid[4] = {0x78, 0x56, 0x34, 0x12};
    msg.hostId.SetData(uid, 4);
    msg.msgId.SetData("UIDL-7", 6);
    msg.deviceId.SetData("\x00\x00\x10\x01", 4);
    msg.folderName = "INBOX";
    msg.folderData = {1, 2, 3};
    msg.From = "a@example.org";
    msg.Subject = "Hello";
    msg.Body = "Body\r\n";
    msg.AttachmentNames = "a.txt,b.doc";
    msg.category = 3;
    msg.value64 = -2;
    msg.value60 = 99;
    msg.date = 1700000000;
    msg.size = 1234;
    msg.partBudget = 4096;
    msg.status = 0x8400;
    msg.flags = kMsgFlagRead | kMsgFlagDefault;

    // 184 + 4 + 6 + 4 + 3 + "INBOX\0" + strings with NULs.
    const size_t expected = kMailMsgHeadSize + 4 + 6 + 4 + 3 + 6 + 14 + 6 + 7 + 12;
    ASSERT_EQ(msg.GetMailMsgSize(), expected);
    Block b = ToBlock(msg);
    ASSERT_TRUE(b);
    // Data area order: ids, folder name, folder data, then the strings.
    auto* base = reinterpret_cast<const uint8_t*>(b.get());
    EXPECT_EQ(b->hostId, base + kMailMsgHeadSize);
    EXPECT_EQ(b->msgId, base + kMailMsgHeadSize + 4);
    EXPECT_EQ(b->deviceId, base + kMailMsgHeadSize + 10);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(b->folderName), base + kMailMsgHeadSize + 14);
    EXPECT_EQ(b->folderData, base + kMailMsgHeadSize + 20);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(b->From), base + kMailMsgHeadSize + 23);
    EXPECT_EQ(b->folderDataLength, 3);
    EXPECT_EQ(std::memcmp(b->hostId, uid, 4), 0);
    for (const void* p :
         {(const void*)b->From, (const void*)b->Subject, (const void*)b->Body, (const void*)b->AttachmentNames})
        EXPECT_TRUE(Inside(b.get(), expected, p));
    EXPECT_STREQ(b->AttachmentNames, "a.txt,b.doc");
    EXPECT_EQ(b->To, nullptr);         // empty stays null, never ""
    EXPECT_EQ(base[expected - 1], 0);  // the last string's NUL is the last byte

    CMsg back(b.get());
    EXPECT_TRUE(back.hostId.IsEqual(msg.hostId));
    EXPECT_TRUE(back.msgId.IsEqual(msg.msgId));
    EXPECT_TRUE(back.deviceId.IsEqual(msg.deviceId));
    for (int i = 0; i < CMsg::kStringCount; ++i) EXPECT_EQ(back.StringAt(i), msg.StringAt(i)) << i;
    EXPECT_EQ(back.category, 3);
    EXPECT_EQ(back.value64, -2);
    EXPECT_EQ(back.value60, 99);
    EXPECT_EQ(back.date, 1700000000);
    EXPECT_EQ(back.size, 1234);
    EXPECT_EQ(back.status, 0x8400);
    EXPECT_EQ(back.flags, msg.flags);
    // Not carried back.
    EXPECT_TRUE(back.folderName.empty());
    EXPECT_TRUE(back.folderData.empty());
    EXPECT_EQ(back.partBudget, 0);
}

TEST(MailMsg, NullArgumentsGive211) {
    CMsg msg;
    EXPECT_EQ(msg.ToMailMsg(nullptr), kMailMsgNullArgument);
    EXPECT_EQ(FreeMailMsgBlock(nullptr), kMailMsgNullArgument);
    EXPECT_EQ(AllocZeroedBlock(0), nullptr);
    CMsg fromNull(static_cast<const MailMsg*>(nullptr));
    EXPECT_EQ(fromNull.flags, kMsgFlagDefault);
}

}  // namespace tess::test
