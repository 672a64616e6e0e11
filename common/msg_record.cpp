#include "common/msg_record.h"

#include <cstring>

#include "common/handheld_records.h"
#include "common/mail_msg.h"

namespace tess {

void StoreArchiveString(ByteWriter& out, const std::string& s) {
    out.u32le(static_cast<uint32_t>(s.size()));
    out.bytes(s);
}

bool LoadArchiveString(ByteReader& in, std::string& s) {
    uint32_t n = 0;
    if (!in.u32le(n) || n > in.remaining()) return false;
    s.assign(reinterpret_cast<const char*>(in.cursor()), n);
    return in.skip(n);
}

}  // namespace tess

// ---- CId

CId& CId::operator=(const CId& other) {
    if (this != &other) SetData(other.GetData(nullptr), other.length_);
    return *this;
}

void CId::SetData(const void* bytes, int32_t length) {
    Empty();
    if (!bytes || length <= 0) return;
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    bytes_.assign(static_cast<size_t>(length) + 10, 0);
    std::memcpy(bytes_.data(), b, static_cast<size_t>(length));
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

void CId::Store(tess::ByteWriter& out) const {
    out.u32le(static_cast<uint32_t>(length_));
    if (length_) out.bytes(bytes_.data(), static_cast<size_t>(length_));
}

bool CId::Load(tess::ByteReader& in) {
    Empty();
    int32_t n = 0;
    if (!in.i32le(n)) return false;
    if (n == 0) return true;
    // Never trust the stored length beyond what the data holds.
    if (n < 0 || static_cast<uint32_t>(n) > in.remaining()) {
        in.skip(in.remaining() + 1);  // marks the reader failed
        return false;
    }
    SetData(in.cursor(), n);
    return in.skip(static_cast<size_t>(n));
}

void CFolderId::Store(tess::ByteWriter& out) const {
    tess::StoreArchiveString(out, name_);
    CId::Store(out);
}

bool CFolderId::Load(tess::ByteReader& in) {
    name_.clear();
    if (!tess::LoadArchiveString(in, name_)) {
        Empty();
        return false;
    }
    return CId::Load(in);
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

void CMsg::Store(tess::ByteWriter& out) const {
    out.u16le(1);  // schema
    hostId.Store(out);
    msgId.Store(out);
    deviceId.Store(out);
    out.u16le(static_cast<uint16_t>(category));
    out.u32le(static_cast<uint32_t>(value60));
    out.u32le(static_cast<uint32_t>(date));
    out.u32le(static_cast<uint32_t>(size));
    out.u32le(static_cast<uint32_t>(partBudget));
    out.u16le(status);
    out.u32le(flags);
    for (int i = 0; i < kStringCount; ++i) tess::StoreArchiveString(out, StringAt(i));
}

bool CMsg::Load(tess::ByteReader& in) {
    uint16_t schema = 0;
    if (!in.u16le(schema)) return false;
    if (schema == 0) return true;
    uint16_t cat = 0, st = 0;
    uint32_t v60 = 0, dt = 0, sz = 0, pb = 0, fl = 0;
    if (!hostId.Load(in) || !msgId.Load(in) || !deviceId.Load(in)) return false;
    if (!in.u16le(cat) || !in.u32le(v60) || !in.u32le(dt) || !in.u32le(sz) || !in.u32le(pb) || !in.u16le(st) ||
        !in.u32le(fl))
        return false;
    category = static_cast<int16_t>(cat);
    value60 = static_cast<int32_t>(v60);
    date = static_cast<int32_t>(dt);
    size = static_cast<int32_t>(sz);
    partBudget = static_cast<int32_t>(pb);
    status = st;
    flags = fl;
    for (int i = 0; i < kStringCount; ++i)
        if (!tess::LoadArchiveString(in, StringAt(i))) return false;
    return true;
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
