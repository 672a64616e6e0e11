#include "common/msg_record.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/handheld_records.h"
#include "common/mail_msg.h"

namespace tess {

using platform::mfc::CArchive;
using platform::mfc::CString;

namespace {

void SerializeText(CArchive& ar, std::string& s) {
    if (ar.IsStoring()) {
        ar << CString(s);
    } else {
        CString t;
        ar >> t;
        s = t.str();
    }
}

}  // namespace

// ---- CId

CId& CId::operator=(const CId& other) {
    if (this != &other) SetData(other.GetData(nullptr), other.length_);
    return *this;
}

void CId::SetData(const void* bytes, int32_t length) {
    Empty();
    if (!bytes || length <= 0) return;
    try {
        bytes_.assign(static_cast<size_t>(length) + 10, 0);
    } catch (const std::bad_alloc&) {
        Empty();  // no memory: the id stays empty
        return;
    }
    std::memcpy(bytes_.data(), bytes, static_cast<size_t>(length));
    length_ = length;
}

void CId::Empty() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    length_ = 0;
}

const uint8_t* CId::GetData(int32_t* length) const {
    if (length) *length = length_;
    return length_ ? bytes_.data() : nullptr;
}

int CId::IsEqual(const CId& other) const {
    if (length_ != other.length_) return 0;
    return length_ == 0 || std::memcmp(bytes_.data(), other.bytes_.data(), static_cast<size_t>(length_)) == 0;
}

void CId::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << length_;
        if (length_) ar.Write(bytes_.data(), static_cast<size_t>(length_));
        return;
    }
    Empty();
    int32_t n = 0;
    ar >> n;
    if (ar.IsFailed() || n == 0) return;
    // Never trust the stored length beyond what the data holds.
    if (n < 0 || static_cast<size_t>(n) > ar.Remaining()) {
        std::vector<uint8_t> rest(ar.Remaining() + 1);
        ar.Read(rest.data(), rest.size());  // runs out: the archive is marked failed
        return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(n));
    if (ar.Read(data.data(), data.size()) == data.size()) SetData(data.data(), n);
}

void CFolderId::Serialize(CArchive& ar) {
    SerializeText(ar, name_);
    CId::Serialize(ar);
}

// ---- CMsg

CMsg::CMsg() = default;

CMsg::CMsg(const CMsg& other) { *this = other; }

CMsg& CMsg::operator=(const CMsg& o) {
    if (this == &o) return *this;
    hostId = o.hostId;
    msgId = o.msgId;
    deviceId = o.deviceId;
    folderName = o.folderName;
    folderData = o.folderData;
    reserved = o.reserved;
    category = o.category;
    value60 = o.value60;
    value64 = o.value64;
    date = o.date;
    size = o.size;
    partBudget = o.partBudget;
    status = o.status;
    flags = o.flags;
    for (int i = 0; i < kStringCount; ++i) StringAt(i) = o.StringAt(i);
    recordAttributes = o.recordAttributes;
    dateText = o.dateText;
    std::memcpy(partIds, o.partIds, sizeof partIds);
    rewriteParts = o.rewriteParts;
    pendingUpdate = o.pendingUpdate;
    deliveredSize = o.deliveredSize;
    totalSize = o.totalSize;
    partWord = o.partWord;
    partInfo = o.partInfo ? std::make_unique<CPartInfoRecord>(*o.partInfo) : nullptr;
    return *this;
}

CMsg::~CMsg() = default;

std::string& CMsg::StringAt(int i) {
    std::string* all[kStringCount] = {&From, &To, &Cc, &Bcc, &ReplyTo, &Extra, &Subject, &Body, &AttachmentNames};
    return *all[i];
}

const std::string& CMsg::StringAt(int i) const { return const_cast<CMsg*>(this)->StringAt(i); }

int32_t CMsg::GetHeaderTextSize() const {
    size_t n = static_cast<size_t>(hostId.GetLength()) + static_cast<size_t>(msgId.GetLength());
    for (int i = 0; i < kStringCount - 1; ++i)
        if (!StringAt(i).empty()) n += StringAt(i).size() + 1;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

void CMsg::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint16_t(1);  // schema
    } else {
        uint16_t schema = 0;
        ar >> schema;
        if (ar.IsFailed() || schema == 0) return;
    }
    hostId.Serialize(ar);
    msgId.Serialize(ar);
    deviceId.Serialize(ar);
    if (ar.IsStoring()) {
        ar << category << value60 << date << size << partBudget << status << flags;
    } else {
        ar >> category >> value60 >> date >> size >> partBudget >> status >> flags;
    }
    for (int i = 0; i < kStringCount; ++i) SerializeText(ar, StringAt(i));
}

std::vector<std::string> CMsg::AttachmentNameList() const {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= AttachmentNames.size()) {
        size_t comma = AttachmentNames.find(',', start);
        if (comma == std::string::npos) comma = AttachmentNames.size();
        if (comma > start) names.push_back(AttachmentNames.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

void CMsg::AddAttachmentName(const std::string& name) {
    if (name.empty()) return;
    if (!AttachmentNames.empty()) AttachmentNames += ',';
    AttachmentNames += name;
}

}  // namespace tess
