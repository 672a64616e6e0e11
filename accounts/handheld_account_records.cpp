#include "accounts/handheld_account_records.h"

#include <algorithm>
#include <cstring>

#include "accounts/account_layout.h"
#include "accounts/block_fields.h"

namespace tess::accounts {

namespace {

void resetCommon(ByteSpan r) {
    for (size_t at : {38, 40, 52, 133, 139, 140}) r.putU8(at, 1);
    for (size_t at : {141, 151}) r.putU8(at, 0);
    r.putU16be(50, 0);
    r.putU16be(62, 0);
    r.putU16be(64, 1);
    r.putU16be(66, 0xFFFF);
    r.putU16be(68, 0xFFFF);
    r.putTextCut(79, 17, "Sent");
    r.putTextCut(96, 17, "Trash");
    r.putU8(148, 7);
    r.putU8(149, 0);
    r.putU8(154, 1);
    r.putU8(155, 0);
}

template <size_t N>
void textFrom(char (&field)[N], ByteView v, size_t offset, size_t width) {
    CopyTextCut(field, v.text(offset, width));
}

int32_t s32(ByteView v, size_t at) { return int32_t(v.u32le(at)); }

}  // namespace

AccountRecord FreshAccountRecord() {
    AccountRecord rec{};
    ByteSpan r(rec);
    r.putU8(2, 1);
    r.putU16be(4, 110);
    r.putU16be(6, 5);
    r.putU8(9, 1);
    r.putU8(10, 1);
    r.putU16be(32, 25);
    r.putU16be(34, 2);
    r.putU16be(36, 45);
    r.putU16be(54, 88);
    r.putU16be(56, 66);
    r.putU8(134, 1);
    r.putU8(150, 1);
    resetCommon(r);
    r.putU16be(136, 0);
    return rec;
}

void ResetAccountRecord(std::span<uint8_t, kAccountRecordSize> record) {
    ByteSpan r(record);
    resetCommon(r);
    r.putU16be(136, 0);
    r.putU16be(54, 99);
    r.putU16be(56, 61);
}

void ClearFolderPreference(std::span<uint8_t, layout::kFolderPrefSize> pref) {
    ByteSpan p(pref);
    p.putU16le(0, 0);
    for (size_t slot = 5; slot < size_t(layout::kHandheldSlots); ++slot) {
        p.zero(layout::kFolderPrefSlots + slot * layout::kFolderSlotWidth, layout::kFolderSlotWidth);
        p.putU8(layout::kFolderPrefFlags + slot, 0);
    }
    p.putU8(layout::kFolderPrefByte274, 0);
}

std::array<uint8_t, MessageFilter::kStoredSize> EncodeFilterRecord(const MessageFilter& f) {
    std::array<uint8_t, MessageFilter::kStoredSize> out{};
    ByteSpan w(out);
    w.putU32le(0, 0);
    w.putTextCut(4, 32, {f.name, strnlen(f.name, sizeof f.name)});
    w.putU32le(36, uint32_t(f.reserved36));
    w.putU32le(40, uint32_t(f.reserved40));
    w.putU32le(44, uint32_t(f.inUse));
    w.putU32le(48, uint32_t(f.further));
    w.putU32le(52, uint32_t(f.kind));
    w.putU32le(56, uint32_t(f.textOperator));
    w.putU32le(60, uint32_t(f.numericOperator));
    w.putTextCut(64, 32, {f.value, strnlen(f.value, sizeof f.value)});
    w.putU32le(96, uint32_t(f.flag));
    w.putTextCut(100, 16, {f.extra, strnlen(f.extra, sizeof f.extra)});
    return out;
}

MessageFilter DecodeFilterRecord(std::span<const uint8_t> bytes) {
    ByteView v(bytes);
    MessageFilter f;
    textFrom(f.name, v, 4, 32);
    f.reserved36 = s32(v, 36);
    f.reserved40 = s32(v, 40);
    f.inUse = s32(v, 44);
    f.further = s32(v, 48);
    f.kind = s32(v, 52);
    f.textOperator = s32(v, 56);
    f.numericOperator = s32(v, 60);
    textFrom(f.value, v, 64, 32);
    f.flag = s32(v, 96);
    textFrom(f.extra, v, 100, 16);
    return f;
}

MessageFilter DecodeHandheldFilter(std::span<const uint8_t> bytes) {
    ByteView v(bytes);
    MessageFilter f;
    textFrom(f.name, v, 0, 32);
    f.inUse = int8_t(v.u8(32));
    // Kind and flag come as the desktop reads them; the operator is big-endian.
    f.kind = int16_t(v.u16le(34));
    f.textOperator = f.numericOperator = v.u16be(36);
    textFrom(f.value, v, 38, 32);
    f.flag = int16_t(v.u16le(70));
    textFrom(f.extra, v, 72, 16);
    f.further = int8_t(v.u8(104));
    return f;
}

PendingTag LookUpPendingTag(uint32_t tag) {
    using namespace layout;
    using K = PendingTag;
    auto text = [](TextField f, int k, bool sealed = false) {
        return PendingTag{K::text, f.offset, f.width, k, sealed};
    };
    auto rec = [](K::Kind kind, size_t block, int at) { return PendingTag{kind, block, 0, at, false}; };
    switch (tag) {
    case 0: return text(kText720, 11);
    case 1: return text(kUserName, 17);
    case 2: return text(kPassword, 18, true);
    case 3: return text(kEmailAddress, 12);
    case 4: return rec(K::valueByte, kValue2936, 134);
    case 5: return rec(K::word, kWord0, 0);
    case 6: return rec(K::switchByte, kSwitch548, 52);
    case 7: return rec(K::switchByte, kSwitch3500, 2);
    case 8: return rec(K::switchByte, kSwitch552, 40);
    case 9: return rec(K::switchByte, kSwitch1648, 130);
    case 10: return rec(K::switchByte, kBlindCopyOn, 132);
    case 11: return text(kBlindCopy, 350);
    case 12: return rec(K::switchByte, kSmtpLogin, 128);
    case 13: return text(kSmtpUser, 400);
    case 14: return text(kSmtpPassword, 410, true);
    case 15: return rec(K::switchByte, kReplyToOn, 135);
    case 16: return text(kReplyTo, 20);
    case 17: return rec(K::switchByte, kSwitch544, 30);
    case 18: return text(kText1391, 13);
    case 19: return rec(K::word, kIncomingPort, 4);
    case 20: return text(kIncomingServer, 15);
    case 21: return rec(K::word, kSmtpPort, 32);
    case 22: return text(kSmtpServer, 10);
    case 24: return rec(K::sizeKb, kMaxMessageBytes, 6);
    case 25: return text(kText848, 22);
    case 26: return PendingTag{K::folderName, kSentFolder.offset, kSentFolder.width, 79, false};
    case 27: return PendingTag{K::folderName, kTrashFolder.offset, kTrashFolder.width, 96, false};
    case 28: return text(kText255, 21);
    default: return PendingTag{K::none, 0, 0, 0, false};
    }
}

}  // namespace tess::accounts
