#pragma once
// The mail records that the engine and every message host share: CId (an opaque
// counted byte id), CFolderId (a folder id with its name) and CMsg (the engine's working
// form of one message). They cross no module boundary as objects; MailMsg does
// (common/mail_msg.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mfc/archive.h"

namespace tess {

using platform::mfc::CArchive;

class CPartInfoRecord;
struct MailMsg;

// A counted byte string. The bytes are kept with 10 zero bytes behind them so that an
// id holding text can also be read as a NUL-terminated string.
class CId {
public:
    CId() = default;
    CId(const void* bytes, int32_t length) { SetData(bytes, length); }
    CId(const CId& other) { *this = other; }
    CId& operator=(const CId& other);
    virtual ~CId() = default;

    // Null or a length of 0 or less leaves the id empty.
    void SetData(const void* bytes, int32_t length);
    void Empty();
    // The held bytes (null when empty) and their count; no copy.
    const uint8_t* GetData(int32_t* length) const;
    int32_t GetLength() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    // 1 when both hold the same bytes (two empty ids are equal), else 0.
    int IsEqual(const CId& other) const;

    // Archive form: 32-bit length, then the bytes. A load that is cut short, or whose
    // length claims more than the data holds, leaves the id empty, allocates nothing and
    // marks the archive failed.
    void Serialize(CArchive& ar);

private:
    std::vector<uint8_t> bytes_;
    int32_t length_ = 0;
};

class CFolderId : public CId {
public:
    CFolderId() = default;
    CFolderId(const std::string& name, const void* bytes, int32_t length) : CId(bytes, length), name_(name) {}
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // Archive form: the name, then the id part.
    void Serialize(CArchive& ar);

private:
    std::string name_;
};

// Message flag bits.
enum : uint32_t {
    kMsgFlagDefault = 0x002A0000,
    kMsgFlagPriorityMask = 0x00600000,
    kMsgFlagRead = 0x02000000,
    kMsgFlagDeletedOnHandheld = 0x0C000000,  // both bits set
    kMsgFlagSetHostRead = 0x10000000,
    kMsgFlagRewriteRecord = 0x20000000,
    kMsgFlagFromHandheld = 0x40000000,
    kMsgFlagSeenOnHost = 0x80000000,
    kMsgFlagMatched = 0x48000000,
};
enum : uint16_t {
    kMsgStatusDefault = 1024,
    kMsgStatusRead = 0x8000,
    kMsgStatusPriorityMask = 0x0C00,
};
enum : uint8_t {
    kRecordAttrDeleted = 0x80,
    kRecordAttr40 = 0x40,
    kRecordAttr08 = 0x08,
};
constexpr int kMaxPartIds = 10;

class CMsg {
public:
    CMsg();
    // From a MailMsg block (common/mail_msg.h): ids, numbers and the nine strings;
    // folder name, folder data and partBudget are not taken. A null block gives the
    // defaults.
    explicit CMsg(const MailMsg* block);
    CMsg(const CMsg&);
    CMsg& operator=(const CMsg&);
    virtual ~CMsg();

    CId hostId;                       // IMAP: the UID as 4 bytes, least significant first
    CId msgId;                        // text bytes: POP UIDL or the desktop mail system's id
    CId deviceId;                     // the handheld record's unique id, 4 bytes
    std::string folderName;           // host folder of the last GetMsg
    std::vector<uint8_t> folderData;  // that folder record's extra bytes
    int32_t reserved = -1;
    int16_t category = 0;
    int32_t value60 = 0;
    int16_t value64 = 0;
    int32_t date = 0;  // seconds since 1970, UTC; 0 = none
    int32_t size = 0;
    int32_t partBudget = 0;
    uint16_t status = kMsgStatusDefault;
    uint32_t flags = kMsgFlagDefault;
    std::string From, To, Cc, Bcc, ReplyTo, Extra, Subject, Body;
    // Names joined by "," with no leading comma; readers skip empty items.
    std::string AttachmentNames;
    uint8_t recordAttributes = 0;
    std::string dateText;
    uint32_t partIds[kMaxPartIds] = {};  // ends at the first 0
    int32_t rewriteParts = 0;
    int32_t pendingUpdate = 0;
    int32_t deliveredSize = 0;
    int32_t totalSize = 0;
    uint32_t partWord = 0;
    std::unique_ptr<CPartInfoRecord> partInfo;

    int32_t GetFolderDataLength() const { return static_cast<int32_t>(folderData.size()); }
    // The nine header strings in their fixed order (From ... AttachmentNames).
    static constexpr int kStringCount = 9;
    std::string& StringAt(int i);
    const std::string& StringAt(int i) const;

    // Sizes handheld records: hostId + msgId lengths + each non-empty string except
    // AttachmentNames with its terminator.
    int32_t GetHeaderTextSize() const;

    // MailMsg conversion (common/mail_msg.h holds the layout).
    size_t GetMailMsgSize() const;
    // 211 null output pointer; 5 no memory (*out set to null); 0 done.
    int ToMailMsg(MailMsg** out) const;

    // Archive form, schema 1: the three ids, category, value60, date, size, partBudget,
    // status, flags, the nine strings. A stored schema of 0 loads nothing. A damaged
    // archive leaves ar.IsFailed() set.
    void Serialize(CArchive& ar);

    // Attachment names as a list, empty items skipped; and adding one name.
    std::vector<std::string> AttachmentNameList() const;
    void AddAttachmentName(const std::string& name);
};

}  // namespace tess
