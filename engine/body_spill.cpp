#include "engine/body_spill.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "common/byte_io.h"
#include "common/handheld_records.h"
#include "common/msg_record.h"

namespace tess::engine {
namespace {
// Texts shorter than this cost less in memory than a trip through the file.
constexpr size_t kSmallestPut = 512;

// Whole transfers at a given offset, straight between the text and the file: no stream
// buffer to copy through or flush, and no seek, for each message.
template <typename Io, typename Buffer>
bool Whole(Io io, int fd, Buffer* data, size_t size, uint64_t at) {
    while (size > 0) {
        const ssize_t n = io(fd, data, size, off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
        at += uint64_t(n);
    }
    return true;
}
// A message put out whole carries every field: one added to CMsg must be added here too.
static_assert(sizeof(CMsg) == 624, "CMsg changed: write and read its new fields in EncodeWhole and DecodeWhole");

void EncodeWhole(const CMsg& m, std::vector<uint8_t>& out) {
    tess::ByteWriter w(out);
    auto id = [&](const CId& v) {
        int32_t n = 0;
        const uint8_t* b = v.GetData(&n);
        w.u32le(uint32_t(std::max(0, n)));
        if (n > 0) w.bytes(b, size_t(n));
    };
    auto text = [&](const std::string& t) {
        w.u32le(uint32_t(t.size()));
        w.bytes(t);
    };
    id(m.hostId);
    id(m.msgId);
    id(m.deviceId);
    text(m.folderName);
    w.u32le(uint32_t(m.folderData.size()));
    w.bytes(m.folderData.data(), m.folderData.size());
    for (int32_t v : {m.reserved, m.value60, m.date, m.size, m.partBudget, m.rewriteParts, m.pendingUpdate,
                      m.deliveredSize, m.totalSize})
        w.u32le(uint32_t(v));
    w.u16le(uint16_t(m.category));
    w.u16le(uint16_t(m.value64));
    w.u16le(m.status);
    w.u32le(m.flags);
    w.u32le(m.partWord);
    w.u8(m.recordAttributes);
    for (uint32_t part : m.partIds) w.u32le(part);
    for (const std::string* t :
         {&m.From, &m.To, &m.Cc, &m.Bcc, &m.ReplyTo, &m.Extra, &m.Subject, &m.Body, &m.AttachmentNames, &m.dateText})
        text(*t);
}

std::unique_ptr<CMsg> DecodeWhole(const std::vector<uint8_t>& in) {
    auto m = std::make_unique<CMsg>();
    tess::ByteReader r(in);
    std::vector<uint8_t> bytes;
    auto id = [&](CId& v) {
        uint32_t n = 0;
        if (r.u32le(n) && r.bytes(bytes, n)) v.SetData(bytes.data(), int32_t(bytes.size()));
    };
    auto text = [&](std::string& t) {
        uint32_t n = 0;
        if (!r.u32le(n) || n > r.remaining()) {
            r.skip(r.remaining() + 1);  // fails the reader
            return;
        }
        t.assign(reinterpret_cast<const char*>(r.cursor()), n);
        r.skip(n);
    };
    id(m->hostId);
    id(m->msgId);
    id(m->deviceId);
    text(m->folderName);
    uint32_t n = 0;
    if (r.u32le(n)) r.bytes(m->folderData, n);
    for (int32_t* v : {&m->reserved, &m->value60, &m->date, &m->size, &m->partBudget, &m->rewriteParts,
                       &m->pendingUpdate, &m->deliveredSize, &m->totalSize}) {
        uint32_t u = 0;
        r.u32le(u);
        *v = int32_t(u);
    }
    uint16_t category = 0, value64 = 0;
    r.u16le(category);
    r.u16le(value64);
    m->category = int16_t(category);
    m->value64 = int16_t(value64);
    r.u16le(m->status);
    r.u32le(m->flags);
    r.u32le(m->partWord);
    r.u8(m->recordAttributes);
    for (uint32_t& part : m->partIds) r.u32le(part);
    for (std::string* t : {&m->From, &m->To, &m->Cc, &m->Bcc, &m->ReplyTo, &m->Extra, &m->Subject, &m->Body,
                           &m->AttachmentNames, &m->dateText})
        text(*t);
    if (!r.ok() || !r.atEnd()) return nullptr;
    return m;
}

}  // namespace

CBodySpill::~CBodySpill() {
    if (file_) std::fclose(file_);
}

bool CBodySpill::Write(const void* data, size_t size, Span& span) {
    if (full_) return false;
    if (!file_ && !(file_ = std::tmpfile())) {
        full_ = true;
        return false;
    }
    if (!Whole(::pwrite, fileno(file_), static_cast<const uint8_t*>(data), size, end_)) {
        // No room for more (what is already out is still read back): later ones stay.
        full_ = true;
        return false;
    }
    span = Span{end_, size};
    end_ += size;
    return true;
}

void CBodySpill::Put(CMsg& msg) {
    if (msg.Body.size() < kSmallestPut || held_.count(&msg)) return;
    Span span;
    if (!Write(msg.Body.data(), msg.Body.size(), span)) return;
    held_[&msg] = span;
    std::string().swap(msg.Body);
}

bool CBodySpill::PutWhole(int key, std::unique_ptr<CMsg>& msg) {
    // A part record is not carried; a message with one, and every one after it, stays.
    if (!msg || msg->partInfo || held_.count(msg.get())) wholeStopped_ = true;
    if (wholeStopped_) return false;
    EncodeWhole(*msg, scratch_);
    Span span;
    if (!Write(scratch_.data(), scratch_.size(), span)) {
        wholeStopped_ = true;
        return false;
    }
    whole_[key].push_back(span);
    msg.reset();
    return true;
}

size_t CBodySpill::WholeCount(int key) const {
    auto it = whole_.find(key);
    return it == whole_.end() ? 0 : it->second.size();
}

std::unique_ptr<CMsg> CBodySpill::TakeWhole(int key, size_t n) {
    auto it = whole_.find(key);
    if (it == whole_.end() || n >= it->second.size() || !file_) return nullptr;
    const Span span = it->second[n];
    scratch_.resize(span.size);
    if (!Whole(::pread, fileno(file_), scratch_.data(), span.size, span.at)) return nullptr;
    return DecodeWhole(scratch_);
}

bool CBodySpill::Take(CMsg& msg) {
    auto it = held_.find(&msg);
    if (it == held_.end()) return true;
    const Span span = it->second;
    held_.erase(it);
    std::string text(span.size, '\0');
    if (!file_ || !Whole(::pread, fileno(file_), text.data(), span.size, span.at)) return false;
    msg.Body = std::move(text);
    return true;
}

void CBodySpill::Clear() {
    held_.clear();
    whole_.clear();
    wholeStopped_ = false;
    std::vector<uint8_t>().swap(scratch_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    end_ = 0;
    full_ = false;
}

}  // namespace tess::engine
