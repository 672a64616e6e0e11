#pragma once
// The relay's mail filter record and the view of a mail that is tested against it.
// The relay configuration tests mail against it; the accounts and the per-user
// settings keep the same record.
#include <cstddef>
#include <cstdint>

#include "platform/export.h"

namespace tess {

enum MessageFilterKind : int32_t {
    kFilterTo = 0,      // To and Bcc recipients
    kFilterSender = 1,  // sender address
    kFilterSubject = 2,
    kFilterCc = 3,
    kFilterAge = 4,   // age in days
    kFilterSize = 5,  // size in kilobytes
};
enum MessageFilterTextOperator : int32_t { kFilterContains = 0, kFilterBeginsWith = 1, kFilterNotContains = 2 };
enum MessageFilterNumericOperator : int32_t { kFilterAtLeast = 0, kFilterAtMost = 1 };

// One filter. Stored form (116 bytes, little-endian): 0 a word written as 0, 4 name[32],
// 36 and 40 reserved words, 44 inUse, 48 a further word, 52 kind, 56 textOperator,
// 60 numericOperator, 64 value[32], 96 flag, 100 extra[16].
class TESS_EXPORT MessageFilter {
public:
    static constexpr size_t kStoredSize = 116;
    static constexpr size_t kNameSize = 32;
    static constexpr size_t kValueSize = 32;
    static constexpr size_t kExtraSize = 16;

    MessageFilter() = default;
    MessageFilter(const MessageFilter&) = default;
    MessageFilter& operator=(const MessageFilter&) = default;
    virtual ~MessageFilter() = default;

    char name[kNameSize] = {};
    int32_t reserved36 = 0;
    int32_t reserved40 = 0;
    int32_t inUse = 0;
    int32_t further = 0;
    int32_t kind = 0;
    int32_t textOperator = 0;
    int32_t numericOperator = 0;
    char value[kValueSize] = {};
    int32_t flag = 0;
    char extra[kExtraSize] = {};  // target folder text; empty from the relay
};

// The mail as the relay hands it over for the filter test. Field order and widths are
// the relay's record; the text pointers are native, so on x86-64 the later offsets grow.
// Texts are NUL-terminated 8-bit text owned by the caller; a null pointer is empty text.
struct FilterMessage {
    uint8_t reserved0[40];
    int32_t deliveryTime;  // seconds since 1970
    uint32_t size;         // bytes
    uint8_t reserved48[12];
    const char* senderAddress;
    const char* toRecipients;  // To and Bcc
    const char* ccRecipients;
    const char* blindCopies;  // not read by the filter test
    uint8_t reservedAfterBlindCopies[8];
    const char* subject;
    const char* body;
    const char* attachmentNames;
};
static_assert(offsetof(FilterMessage, deliveryTime) == 40 && offsetof(FilterMessage, size) == 44 &&
                  offsetof(FilterMessage, senderAddress) == 64 && offsetof(FilterMessage, ccRecipients) == 80 &&
                  offsetof(FilterMessage, subject) == 104 && offsetof(FilterMessage, attachmentNames) == 120 &&
                  sizeof(FilterMessage) == 128,
              "FilterMessage keeps the relay's field order with native pointers");

}  // namespace tess
