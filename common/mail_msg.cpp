#include "common/mail_msg.h"

#include <cstring>

#include "common/handheld_records.h"
#include "common/msg_record.h"
#include "platform/core/module.h"

namespace tess {

void* AllocZeroedBlock(size_t bytes) { return bytes ? GlobalAlloc(GPTR, bytes) : nullptr; }

int FreeMailMsgBlock(MailMsg* block) {
    if (!block) return kMailMsgNullArgument;
    GlobalFree(block);
    return kMailMsgOk;
}

namespace {

const char* const* StringSlot(const MailMsg* m, int i) {
    const char* const* slots[CMsg::kStringCount] = {
        &m->From, &m->To, &m->Cc, &m->Bcc, &m->ReplyTo, &m->Extra, &m->Subject, &m->Body, &m->AttachmentNames};
    return slots[i];
}

}  // namespace

size_t CMsg::GetMailMsgSize() const {
    size_t n = kMailMsgHeadSize;
    n += static_cast<size_t>(hostId.GetLength()) + static_cast<size_t>(msgId.GetLength()) +
         static_cast<size_t>(deviceId.GetLength()) + folderData.size();
    if (!folderName.empty()) n += folderName.size() + 1;
    for (int i = 0; i < kStringCount; ++i)
        if (!StringAt(i).empty()) n += StringAt(i).size() + 1;
    return n;
}

int CMsg::ToMailMsg(MailMsg** out) const {
    if (!out) return kMailMsgNullArgument;
    const size_t total = GetMailMsgSize();
    auto* block = static_cast<MailMsg*>(AllocZeroedBlock(total));
    *out = block;
    if (!block) return kMailMsgNoMemory;

    uint8_t* const base = reinterpret_cast<uint8_t*>(block);
    size_t pos = kMailMsgHeadSize;
    auto place = [&](const void* data, size_t n) -> uint8_t* {
        uint8_t* at = base + pos;
        std::memcpy(at, data, n);
        pos += n;
        return at;
    };
    auto placeId = [&](const CId& id, int32_t& length, const uint8_t*& ptr) {
        int32_t n = 0;
        const uint8_t* data = id.GetData(&n);
        if (n == 0) return;
        length = n;
        ptr = place(data, static_cast<size_t>(n));
    };
    placeId(hostId, block->hostIdLength, block->hostId);
    placeId(msgId, block->msgIdLength, block->msgId);
    placeId(deviceId, block->deviceIdLength, block->deviceId);
    if (!folderName.empty())
        block->folderName = reinterpret_cast<const char*>(place(folderName.c_str(), folderName.size() + 1));
    if (!folderData.empty()) {
        block->folderDataLength = GetFolderDataLength();
        block->folderData = place(folderData.data(), folderData.size());
    }
    block->version = 1;
    block->category = category;
    block->value64 = value64;
    block->value60 = value60;
    block->date = date;
    block->size = size;
    block->partBudget = partBudget;
    block->status = status;
    block->flags = flags;
    for (int i = 0; i < kStringCount; ++i) {
        const std::string& s = StringAt(i);
        if (s.empty()) continue;
        *const_cast<const char**>(StringSlot(block, i)) = reinterpret_cast<const char*>(place(s.c_str(), s.size() + 1));
    }
    return kMailMsgOk;
}

CMsg::CMsg(const MailMsg* m) {
    if (!m) return;
    hostId.SetData(m->hostId, m->hostIdLength);
    msgId.SetData(m->msgId, m->msgIdLength);
    deviceId.SetData(m->deviceId, m->deviceIdLength);
    category = m->category;
    value64 = m->value64;
    value60 = m->value60;
    date = m->date;
    size = m->size;
    status = m->status;
    flags = m->flags;
    for (int i = 0; i < kStringCount; ++i)
        if (const char* s = *StringSlot(m, i)) StringAt(i) = s;
}

}  // namespace tess
