// The MMsg exports: the handheld's messages through handles, read and written during a
// synchronisation. Every change is checked against the handheld's record limit before it
// is made, so a refused change leaves the message as it was.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/message_record_codec.h"
#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_date.h"
#include "datamgr/store_handles.h"

using namespace tess::datamgr;

namespace {

constexpr int kStringCount = 8;
constexpr int kServerIdString = 7;
constexpr int kDateString = 5;

// The message of a valid handle during a synchronisation; the handle is checked first.
template <typename Fn>
int WithMessage(StoreHandle* h, Fn fn) {
    CMailMessage* m = MessageOf(h);
    if (!m) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    return fn(*m);
}

// The server's id as text: the text it was given, else the message id's bytes, else a
// 4-byte server id in decimal, which is kept as its text form from then on.
const std::string& ServerIdText(CMailMessage& m) {
    if (m.serverIdText.empty()) {
        int32_t length = 0;
        if (const uint8_t* bytes = m.msg.msgId.GetData(&length); bytes && length > 0) {
            m.serverIdText.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
        } else if (m.msg.hostId.GetLength() == 4) {
            m.serverIdText = std::to_string(static_cast<int32_t>(IdAsNumber(m.msg.hostId)));
        }
    }
    return m.serverIdText;
}

std::string* StringField(CMsg& msg, int id) {
    switch (id) {
    case 0: return &msg.To;
    case 1: return &msg.From;
    case 2: return &msg.Cc;
    case 3: return &msg.Bcc;
    case 4: return &msg.Subject;
    case 5: return &msg.dateText;
    case 6: return &msg.ReplyTo;
    default: return nullptr;
    }
}

void MarkComplete(CMsg& msg, bool complete) {
    if (complete)
        msg.rewriteParts = msg.pendingUpdate = 0;
    else
        msg.pendingUpdate = 1;
}

int PartCount(const CMsg& msg) {
    int n = 0;
    while (n < kMaxPartIds && msg.partIds[n] != 0) ++n;
    return n;
}

StoreHandle* MakeMessageHandle(CMailMessage& m) {
    const uint32_t owner = static_cast<uint32_t>(m.accountId) << 16 | (static_cast<uint16_t>(m.msg.category));
    return MakeHandle(kMessageKind, owner, m.recordId, &m);
}

}  // namespace

int MMsgGetVersion(int* version) { return MAccGetVersion(version); }

int MMsgCreate(StoreHandle* folder, StoreHandle** out) {
    CMailFolder* f = FolderOf(folder);
    if (!f || !out) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (f->slot < 0) return Code(LDG_E_FOLDER_NOT_SAVED);
    try {
        auto m = std::make_unique<CMailMessage>();
        m->accountId = f->accountId;
        m->msg.category = static_cast<int16_t>(f->slot);
        StoreHandle* h = MakeMessageHandle(*m);
        if (!h) return Code(LDG_E_NO_MEMORY);
        f->messages.push_back(std::move(m));
        *out = h;
        return 0;
    } catch (const std::bad_alloc&) {
        return Code(LDG_E_NO_MEMORY);
    }
}

int MMsgGetHandle(int id, StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    CMailStore& store = TheMailStore();
    if (!store.syncSession()) return Code(LDG_E_INVALID_OPERATION);
    const StoreAccount* account = store.AccountById(static_cast<int>(static_cast<uint32_t>(id) >> 24));
    const uint32_t record = static_cast<uint32_t>(id) & 0xFFFFFF;
    if (!account || record == 0) return Code(LDG_E_INVALID_PARAMETER);
    for (const auto& f : account->folders)
        for (const auto& m : f->messages)
            if ((m->recordId & 0xFFFFFF) == record) {
                *out = MakeMessageHandle(*m);
                return *out ? 0 : Code(LDG_E_NO_MEMORY);
            }
    return Code(LDG_E_INVALID_PARAMETER);
}

int MMsgGetPersistentID(StoreHandle* message, int* id) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!id) return Code(LDG_E_INVALID_PARAMETER);
        if (m.recordId == 0) return Code(LDG_E_PARENT_NOT_SAVED);
        *id = static_cast<int>(static_cast<uint32_t>(m.accountId) << 24 | (m.recordId & 0xFFFFFF));
        return 0;
    });
}

int MMsgSetStringData(StoreHandle* message, int id, const char* text) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (id < 0 || id >= kStringCount) return Code(LDG_E_NOT_SUPPORTED);
        const std::string value = text ? text : "";
        CMsg trial = m.msg;
        if (id == kServerIdString)
            trial.msgId = CId(value.data(), static_cast<int32_t>(value.size()));
        else
            *StringField(trial, id) = value;
        if (CMailStore::RecordSize(trial) > kMaxRecordBytes) return Code(LDG_E_MESSAGE_TOO_LARGE);
        int result = 0;
        if (id == kDateString && !value.empty()) {
            int64_t when = 0;
            if (ParseDateHeaderChecked(value.c_str(), 0, &when) == 0) {
                trial.date = static_cast<int32_t>(when);
            } else {
                trial.date = static_cast<int32_t>(std::time(nullptr));
                trial.dateText.clear();
                result = Code(LDG_E_DATE_NOT_GMT);
            }
        }
        m.msg = trial;
        if (id == kServerIdString) m.serverIdText = value;
        return result;
    });
}

int MMsgGetStringData(StoreHandle* message, int id, const char** text, int* length) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!text) return Code(LDG_E_INVALID_PARAMETER);
        if (id < 0 || id >= kStringCount) return Code(LDG_E_NOT_SUPPORTED);
        const std::string& value = id == kServerIdString ? ServerIdText(m) : *StringField(m.msg, id);
        *text = value.c_str();
        if (length) *length = static_cast<int>(value.size());
        return 0;
    });
}

int MMsgSetUInt32Data(StoreHandle* message, int id, uint32_t value) {
    return WithMessage(message, [=](CMailMessage& m) {
        switch (id) {
        case 0: m.msg.size = static_cast<int32_t>(value); return 0;
        case 1: m.msg.value60 = static_cast<int32_t>(value); return 0;
        case 2: m.msg.date = static_cast<int32_t>(value); return 0;
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MMsgGetUInt32Data(StoreHandle* message, int id, uint32_t* value) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!value) return Code(LDG_E_INVALID_PARAMETER);
        switch (id) {
        case 0: *value = static_cast<uint32_t>(m.msg.size); break;
        case 1: *value = static_cast<uint32_t>(m.msg.value60); break;
        case 2: *value = static_cast<uint32_t>(m.msg.date); break;
        default: break;  // nothing written
        }
        return 0;
    });
}

int MMsgSetBoolData(StoreHandle* message, int id, char value) {
    return WithMessage(message, [=](CMailMessage& m) {
        switch (id) {
        case 0:
            if (value)
                m.msg.status |= kMsgStatusRead;
            else
                m.msg.status &= static_cast<uint16_t>(~kMsgStatusRead);
            return 0;
        case 2: MarkComplete(m.msg, value != 0); return 0;
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MMsgGetBoolData(StoreHandle* message, int id, char* value) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!value) return Code(LDG_E_INVALID_PARAMETER);
        switch (id) {
        case 0: *value = (m.msg.status & kMsgStatusRead) != 0; return 0;
        case 2: *value = !TheMailStore().BodyIncomplete(m); return 0;
        default: return Code(LDG_E_NOT_SUPPORTED);
        }
    });
}

int MMsgWriteBody(StoreHandle* message, uint32_t offset, const char* text, uint32_t* length) {
    return WithMessage(message, [=](CMailMessage& m) {
        std::string& body = m.msg.Body;
        if (!text || !length || *length == 0) {
            body.clear();
            MarkComplete(m.msg, true);
            if (length) *length = 0;
            return 0;
        }
        size_t count = *length;
        // The caller's text length without its terminator: the terminator is written too.
        if (count == strnlen(text, count + 1)) ++count;
        // What the record has left for the body, its terminator included.
        const size_t fixed = CMailStore::RecordSize(m.msg) - (body.empty() ? 1 : body.size() + 1);
        const size_t room = fixed < kMaxRecordBytes ? kMaxRecordBytes - fixed : 0;
        if (offset > room) return Code(LDG_E_BAD_BODY_OFFSET);
        size_t end = std::max<size_t>(offset + count, body.size() + 1);
        int result = 0;
        if (end > room) {
            count = room > offset ? room - offset - 1 : 0;
            MarkComplete(m.msg, false);
            end = room;
            result = Code(LDG_INFO_MESSAGE_TRUNCATED);
        }
        if (body.size() < offset) body.resize(offset, ' ');
        if (body.size() < offset + count) body.resize(offset + count);
        std::memcpy(body.data() + offset, text, count);
        body.resize(end - 1);  // the byte at end - 1 is the terminator
        *length = static_cast<uint32_t>(count);
        return result;
    });
}

int MMsgReadBody(StoreHandle* message, uint32_t offset, char* buffer, uint32_t* length) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!buffer || !length) return Code(LDG_E_INVALID_PARAMETER);
        const std::string& body = m.msg.Body;
        if (offset >= body.size()) return Code(LDG_E_BAD_BODY_OFFSET);
        const size_t n = std::min<size_t>(*length, body.size() - offset);
        std::memcpy(buffer, body.data() + offset, n);
        buffer[n] = '\0';
        *length = static_cast<uint32_t>(n);
        return 0;
    });
}

int MMsgGetAttachmentCount(StoreHandle* message, short* count) {
    return WithMessage(message, [=](CMailMessage& m) {
        if (!count) return Code(LDG_E_INVALID_PARAMETER);
        *count = static_cast<short>(PartCount(m.msg));
        return 0;
    });
}

int MMsgSave(StoreHandle** message) {
    StoreHandle* h = message ? *message : nullptr;
    return WithMessage(h, [=](CMailMessage& m) {
        CMsg before = m.msg;
        if (const int rc = PrepareAttachmentsForSave(m); rc != 0) {
            m.msg = before;
            return rc;
        }
        const int rc = TheMailStore().SaveMessage(m);
        if (rc == 0)
            if (StoreHandle* fields = HandleFields(h)) fields->id = m.recordId;
        return rc;
    });
}

int MMsgDelete(StoreHandle** message) {
    StoreHandle* h = message ? *message : nullptr;
    return WithMessage(h, [=](CMailMessage& m) {
        const int rc = TheMailStore().DeleteMessage(m);
        if (rc == 0) FreeHandle(message);
        return rc;
    });
}

int MMsgRelease(StoreHandle** message) {
    if (!message || !ValidHandle(*message, kMessageKind)) return Code(LDG_E_INVALID_PARAMETER);
    FreeHandle(message);
    return 0;
}
