#pragma once
// MailMsg: the flat message block that crosses the boundary between the engine and a
// message host. One zero-filled GlobalAlloc block: the head below, then the data its
// pointers point into, in this order, each only when present: hostId, msgId, deviceId
// bytes (no terminators), folderName with its NUL, folderData bytes, then each non-empty
// string of From ... AttachmentNames with its NUL. An empty string is a null pointer.
//
// Fields keep their order and integer widths; pointers are native, so on x86-64 the
// head is 184 bytes instead of 112 and the size rule counts sizeof(MailMsg) for it.
// Field list (offset on x86-64): version 0, reserved 4, hostIdLength 8, hostId 16,
// msgIdLength 24, msgId 32, deviceIdLength 40, deviceId 48, folderName 56,
// folderDataLength 64, folderData 72, reserved2 80, category 84, value64 86, value60 88,
// date 92, size 96, partBudget 100, status 104, reserved3 106, flags 108, From 112,
// To 120, Cc 128, Bcc 136, ReplyTo 144, Extra 152, Subject 160, Body 168,
// AttachmentNames 176.
//
// Ownership: a block belongs to whoever allocated it. A host's blocks go back through
// that host's FreeMailMsg; a block the engine makes is freed with FreeMailMsgBlock
// right after the call that needed it. SendMsg, SetMsgReadStatus and DeleteMsg only
// read the block they are given.
#include <cstddef>
#include <cstdint>

#include "platform/export.h"

namespace tess {

struct MailMsg {
    int32_t version;   // always 1
    int32_t reserved;  // 0
    int32_t hostIdLength;
    const uint8_t* hostId;  // null when the length is 0
    int32_t msgIdLength;
    const uint8_t* msgId;
    int32_t deviceIdLength;
    const uint8_t* deviceId;
    const char* folderName;  // host folder the message was fetched from; null when none
    int32_t folderDataLength;
    const uint8_t* folderData;
    int32_t reserved2;  // 0
    int16_t category;
    int16_t value64;
    int32_t value60;
    int32_t date;  // seconds since 1970, UTC
    int32_t size;  // bytes
    // Sent by the engine: the CMsg partBudget. Returned by GetMsg: nonzero = body cut.
    int32_t partBudget;
    uint16_t status;
    uint16_t reserved3;
    uint32_t flags;  // 0x02000000 = read
    const char* From;
    const char* To;
    const char* Cc;
    const char* Bcc;
    const char* ReplyTo;
    const char* Extra;
    const char* Subject;
    const char* Body;
    const char* AttachmentNames;  // names joined by "," (no leading comma)
};

#if defined(__x86_64__) || defined(__aarch64__)
static_assert(sizeof(void*) == 8);
static_assert(offsetof(MailMsg, hostIdLength) == 8);
static_assert(offsetof(MailMsg, hostId) == 16);
static_assert(offsetof(MailMsg, msgId) == 32);
static_assert(offsetof(MailMsg, deviceId) == 48);
static_assert(offsetof(MailMsg, folderName) == 56);
static_assert(offsetof(MailMsg, folderDataLength) == 64);
static_assert(offsetof(MailMsg, folderData) == 72);
static_assert(offsetof(MailMsg, category) == 84);
static_assert(offsetof(MailMsg, value60) == 88);
static_assert(offsetof(MailMsg, date) == 92);
static_assert(offsetof(MailMsg, partBudget) == 100);
static_assert(offsetof(MailMsg, status) == 104);
static_assert(offsetof(MailMsg, flags) == 108);
static_assert(offsetof(MailMsg, From) == 112);
static_assert(offsetof(MailMsg, Subject) == 160);
static_assert(offsetof(MailMsg, AttachmentNames) == 176);
static_assert(sizeof(MailMsg) == 184);
#endif

constexpr size_t kMailMsgHeadSize = sizeof(MailMsg);

// Results of the block functions.
enum : int {
    kMailMsgOk = 0,
    kMailMsgNoMemory = 5,
    kMailMsgNullArgument = 211,
};

// A zero-filled block of the given size from the process heap (GlobalAlloc with zero
// fill); null for 0 bytes or no memory. Freed with FreeMailMsgBlock or GlobalFree.
void* AllocZeroedBlock(size_t bytes);
// 211 for null; else frees the block and returns 0.
int FreeMailMsgBlock(MailMsg* block);

}  // namespace tess
