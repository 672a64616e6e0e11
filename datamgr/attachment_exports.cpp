// A message's attachments through handles (the MMsg attachment calls and the MAtt
// exports). An attachment is a chain of records in the attachments database; the first
// record's id is the attachment's id and stands in the message's part list.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/handheld_record_io.h"
#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_translator.h"
#include "datamgr/store_handles.h"
#include "datamgr/user_session.h"
#include "platform/core/os.h"

using namespace tess::datamgr;

namespace {

constexpr size_t kMaxName = 256;

int PartCount(const CMsg& msg) {
    int n = 0;
    while (n < kMaxPartIds && msg.partIds[n] != 0) ++n;
    return n;
}

void DropPartId(CMsg& msg, uint32_t id) {
    uint32_t* end = msg.partIds + kMaxPartIds;
    uint32_t* at = std::find(msg.partIds, end, id);
    if (at == end) return;
    std::copy(at + 1, end, at);  // the later ids move down
    msg.partIds[kMaxPartIds - 1] = 0;
}

uint32_t OwnerWord(const CMailMessage& m) { return static_cast<uint32_t>(m.accountId) << 24 | (m.recordId & 0xFFFFFF); }

StoreHandle* MakeAttachmentHandle(CMailAttachment& a) {
    return MakeHandle(kAttachmentKind, OwnerWord(*a.message), a.recordId, &a);
}

// Reads the attachment's records: the first one only (its header) or the whole chain.
int LoadChain(CMailAttachment& a, bool whole) {
    if (a.recordId == 0 || a.loadState >= (whole ? CMailAttachment::kLoaded : CMailAttachment::kHeader)) return 0;
    tess::CHandheldDb& db = TheMailStore().handheld();
    int rc = db.OpenKind(tess::kDbAttachments);
    if (rc == 0) {
        CAttachmentChain chain;
        rc = ReadAttachmentChain(db.handle(), a.recordId, whole, chain, nullptr);
        if (rc == SYNC_OK) {
            a.chain = std::move(chain);
            a.loadState = whole ? CMailAttachment::kLoaded : CMailAttachment::kHeader;
        } else if (rc == SYNCERR_NOT_FOUND) {
            rc = Code(LDG_E_RECORD_NOT_FOUND);
        }
    }
    db.Close();
    return rc;
}

// Makes the message's attachment objects from its part ids, once. A part whose record has
// gone leaves the list and the message is saved without it.
int LoadParts(CMailMessage& m) {
    if (m.attachmentsLoaded) return 0;
    bool dropped = false;
    for (int i = 0; i < kMaxPartIds && m.msg.partIds[i] != 0;) {
        auto a = std::make_unique<CMailAttachment>();
        a->recordId = m.msg.partIds[i];
        a->message = &m;
        const int rc = LoadChain(*a, false);
        if (rc == Code(LDG_E_RECORD_NOT_FOUND)) {
            DropPartId(m.msg, a->recordId);
            dropped = true;
            continue;
        }
        if (rc != 0) return rc;
        m.attachments.push_back(std::move(a));
        ++i;
    }
    m.attachmentsLoaded = true;
    if (dropped && m.recordId != 0) return TheMailStore().SaveMessage(m);
    return 0;
}

template <typename Fn>
int WithAttachment(StoreHandle* h, Fn fn) {
    CMailAttachment* a = AttachmentOf(h);
    if (!a) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    return fn(*a);
}

// The attachments a caller sees: those not removed.
std::vector<CMailAttachment*> Visible(CMailMessage& m) {
    std::vector<CMailAttachment*> out;
    for (auto& a : m.attachments)
        if (!a->removed) out.push_back(a.get());
    return out;
}

platform::TempDir* ReadDirectory() {
    static std::optional<platform::TempDir> dir;
    // Made again when its runtime root went away under it.
    std::error_code gone;
    if (dir && !std::filesystem::is_directory(dir->path(), gone)) dir.reset();
    if (!dir) {
        std::error_code ec;
        dir = platform::TempDir::create(ec);
    }
    return dir ? &*dir : nullptr;
}

// The file the session's translator makes of path, toward the handheld (direction 0) or
// back to the desktop (1); empty when there is no translator, none applies or it made
// nothing.
std::string Translated(const std::string& path, int direction) {
    if (!SessionIsOurs()) return {};
    auto* translator = static_cast<CAttachmentTranslator*>(SharedSessionState()->translator);
    if (!translator || !translator->usable()) return {};
    static int context = 0;  // the value the plug-ins are given: ours carries nothing
    CString plugin, output;
    if (translator->SelectPlugin(path.c_str(), direction, plugin) != 1 || translator->Translate(output, &context) != 1)
        return {};
    std::error_code ec;
    return std::filesystem::is_regular_file(output.str(), ec) ? output.str() : std::string();
}

}  // namespace

int MMsgGetFirstAttachment(StoreHandle* message, StoreHandle** out) {
    CMailMessage* m = MessageOf(message);
    if (!m || !out) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (const int rc = LoadParts(*m); rc != 0) return rc;
    const auto list = Visible(*m);
    if (list.empty()) return Code(LDG_E_END_OF_LIST);
    *out = MakeAttachmentHandle(*list.front());
    return *out ? 0 : Code(LDG_E_NO_MEMORY);
}

int MMsgGetNextAttachment(StoreHandle* previous, StoreHandle** out) {
    return WithAttachment(previous, [=](CMailAttachment& a) {
        if (!out) return Code(LDG_E_INVALID_PARAMETER);
        const auto list = Visible(*a.message);
        auto it = std::find(list.begin(), list.end(), &a);
        if (it == list.end()) return Code(LDG_E_INVALID_PARAMETER);
        if (++it == list.end()) return Code(LDG_E_END_OF_LIST);
        *out = MakeAttachmentHandle(**it);
        return *out ? 0 : Code(LDG_E_NO_MEMORY);
    });
}

int MMsgCreateAttachment(StoreHandle* message, StoreHandle** out) {
    CMailMessage* m = MessageOf(message);
    if (!m || !out) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (m->recordId == 0) return Code(LDG_E_PARENT_NOT_SAVED);
    if (const int rc = LoadParts(*m); rc != 0) return rc;
    if (Visible(*m).size() >= kMaxPartIds) return Code(LDG_E_TOO_MANY_ATTACHMENTS);
    auto a = std::make_unique<CMailAttachment>();
    a->message = m;
    a->loadState = CMailAttachment::kLoaded;
    StoreHandle* h = MakeAttachmentHandle(*a);
    if (!h) return Code(LDG_E_NO_MEMORY);
    m->attachments.push_back(std::move(a));
    *out = h;
    return 0;
}

int MMsgCloneAttachment(StoreHandle** attachment, StoreHandle** message, StoreHandle** out) {
    CMailAttachment* a = attachment ? AttachmentOf(*attachment) : nullptr;
    CMailMessage* m = message ? MessageOf(*message) : nullptr;
    if (!a || !m || !out || a->recordId == 0) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (m->recordId == 0) return Code(LDG_E_PARENT_NOT_SAVED);
    if (const int rc = LoadParts(*m); rc != 0) return rc;
    const auto list = Visible(*m);
    if (std::any_of(list.begin(), list.end(), [a](const CMailAttachment* p) { return p->recordId == a->recordId; }))
        return Code(LDG_E_ATTACHMENT_EXISTS);
    if (list.size() >= kMaxPartIds || PartCount(m->msg) >= kMaxPartIds) return Code(LDG_E_TOO_MANY_ATTACHMENTS);
    auto copy = std::make_unique<CMailAttachment>();
    copy->recordId = a->recordId;
    copy->message = m;
    if (const int rc = LoadChain(*copy, false); rc != 0) return rc;
    StoreHandle* h = MakeAttachmentHandle(*copy);
    if (!h) return Code(LDG_E_NO_MEMORY);
    m->msg.partIds[PartCount(m->msg)] = copy->recordId;
    m->attachments.push_back(std::move(copy));
    TheMailStore().AddReference(a->recordId);
    *out = h;
    return 0;
}

int MMsgRemoveAttachment(StoreHandle* message, StoreHandle* attachment) {
    CMailMessage* m = MessageOf(message);
    CMailAttachment* a = AttachmentOf(attachment);
    if (!m || !a) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    if (a->message != m || a->removed) return Code(LDG_E_INVALID_PARAMETER);
    a->removed = true;
    if (a->recordId != 0) {
        DropPartId(m->msg, a->recordId);
        TheMailStore().ReleaseReference(a->recordId);
    }
    return 0;
}

int MAttGetPersistentID(StoreHandle* attachment, uint64_t* id) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!id || a.recordId == 0) return Code(LDG_E_INVALID_PARAMETER);
        *id = uint64_t{OwnerWord(*a.message)} << 24 | (a.recordId & 0xFFFFFF);
        return 0;
    });
}

int MAttGetHandle(uint64_t id, StoreHandle** out) {
    if (!out) return Code(LDG_E_INVALID_PARAMETER);
    CMailStore& store = TheMailStore();
    if (!store.syncSession()) return Code(LDG_E_INVALID_OPERATION);
    const StoreAccount* account = store.AccountById(static_cast<int>((id >> 48) & 0xFF));
    const uint32_t messageRecord = static_cast<uint32_t>(id >> 24) & 0xFFFFFF;
    const uint32_t record = static_cast<uint32_t>(id) & 0xFFFFFF;
    if (!account || record == 0) return Code(LDG_E_INVALID_PARAMETER);
    for (const auto& f : account->folders)
        for (const auto& m : f->messages) {
            if ((m->recordId & 0xFFFFFF) != messageRecord) continue;
            if (const int rc = LoadParts(*m); rc != 0) return rc;
            for (CMailAttachment* a : Visible(*m))
                if ((a->recordId & 0xFFFFFF) == record) {
                    *out = MakeAttachmentHandle(*a);
                    return *out ? 0 : Code(LDG_E_NO_MEMORY);
                }
        }
    return Code(LDG_E_INVALID_PARAMETER);
}

int MAttSetFilename(StoreHandle* attachment, const char* name) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!name || !*name) return Code(LDG_E_INVALID_PARAMETER);
        if (std::strlen(name) > kMaxName) return Code(LDG_E_BUFFER_TOO_SMALL);
        if (const int rc = LoadChain(a, false); rc != 0) return rc;
        if (a.chain.entries.empty()) a.chain.entries.push_back(AttachmentEntry{});
        a.chain.entries.front().name = name;
        return 0;
    });
}

int MAttGetFilename(StoreHandle* attachment, char** name, int* length) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!name) return Code(LDG_E_INVALID_PARAMETER);
        if (const int rc = LoadChain(a, false); rc != 0) return rc;
        if (a.chain.entries.empty()) return Code(LDG_E_INVALID_PARAMETER);
        std::string& text = a.chain.entries.front().name;
        *name = text.data();
        if (length) *length = static_cast<int>(text.size());
        return 0;
    });
}

int MAttGetSize(StoreHandle* attachment, int* size) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!size) return Code(LDG_E_INVALID_PARAMETER);
        if (const int rc = LoadChain(a, true); rc != 0) return rc;
        size_t total = 0;
        for (const AttachmentEntry& e : a.chain.entries)
            if (!e.IsTerminator()) total += e.data.size();
        *size = static_cast<int>(total);
        return 0;
    });
}

int MAttSetType(StoreHandle* attachment, const char* type) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!type) return Code(LDG_E_INVALID_PARAMETER);
        if (const int rc = LoadChain(a, false); rc != 0) return rc;
        if (a.chain.entries.empty() || a.chain.entries.front().IsTerminator()) return Code(LDG_E_INVALID_PARAMETER);
        uint32_t& kind = a.chain.entries.front().kind;
        kind = (kind & ~0x7Fu) | (static_cast<uint8_t>(type[0]) & 0x7Fu);
        return 0;
    });
}

int MAttGetType(StoreHandle* attachment, int* type) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!type) return Code(LDG_E_INVALID_PARAMETER);
        if (const int rc = LoadChain(a, false); rc != 0) return rc;
        if (a.chain.entries.empty() || a.chain.entries.front().IsTerminator()) return Code(LDG_E_INVALID_PARAMETER);
        *type = static_cast<int>(a.chain.entries.front().Type());
        return 0;
    });
}

int MAttWrite(StoreHandle* attachment, const char* path, char translate) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (a.recordId != 0 || !path || !*path) return Code(LDG_E_INVALID_PARAMETER);
        // The handheld form, when the translator makes one: read, then removed.
        const std::string translated = translate ? Translated(path, 0) : std::string();
        CAttachmentChain chain;
        const int made = chain.MakeFromFile(translated.empty() ? path : translated, false);
        if (!translated.empty()) {
            std::error_code ec;
            std::filesystem::remove(translated, ec);
        }
        if (made != kRecordOk) return Code(LDG_E_IO_READ_DEVICE);
        // A name given before the file is kept.
        if (!a.chain.entries.empty() && !a.chain.entries.front().name.empty() && !chain.entries.empty() &&
            !chain.entries.front().IsTerminator())
            for (AttachmentEntry& e : chain.entries)
                if (!e.IsTerminator()) e.name = a.chain.entries.front().name;
        a.chain = std::move(chain);
        a.loadState = CMailAttachment::kLoaded;
        return 0;
    });
}

int MAttRead(StoreHandle* attachment, char** path, char translate) {
    return WithAttachment(attachment, [=](CMailAttachment& a) {
        if (!path) return Code(LDG_E_INVALID_PARAMETER);
        if (const int rc = LoadChain(a, true); rc != 0) return rc;
        platform::TempDir* dir = ReadDirectory();
        std::string written = dir ? a.chain.WriteToTempFile(*dir).string() : std::string();
        if (written.empty()) return Code(LDG_E_IO_READ_DEVICE);
        // The desktop form, when the translator makes one, replaces the first file.
        if (const std::string translated = translate ? Translated(written, 1) : std::string(); !translated.empty()) {
            std::error_code ec;
            std::filesystem::remove(written, ec);
            written = translated;
        }
        *path = strdup(written.c_str());
        return *path ? 0 : Code(LDG_E_NO_MEMORY);
    });
}

int MAttSave(StoreHandle** attachment) {
    StoreHandle* h = attachment ? *attachment : nullptr;
    return WithAttachment(h, [=](CMailAttachment& a) {
        if (a.recordId != 0) return 0;
        if (a.chain.entries.empty() || !a.chain.entries.back().IsTerminator())
            a.chain.entries.push_back(CAttachmentChain::Terminator());
        tess::CHandheldDb& db = TheMailStore().handheld();
        int rc = db.OpenKind(tess::kDbAttachments);
        uint32_t first = 0;
        if (rc == 0) rc = WriteAttachmentChain(db.handle(), a.chain, a.message->accountId, &first, nullptr);
        db.Close();
        if (rc != 0) return rc;
        a.recordId = first;
        TheMailStore().AddReference(first);
        if (StoreHandle* fields = HandleFields(h)) fields->id = first;
        return 0;
    });
}

int MAttCompare(StoreHandle* first, StoreHandle* second, char* same) {
    CMailAttachment* a = AttachmentOf(first);
    CMailAttachment* b = AttachmentOf(second);
    if (!a || !b || !same) return Code(LDG_E_INVALID_PARAMETER);
    if (!TheMailStore().syncSession()) return Code(LDG_E_INVALID_OPERATION);
    *same = a->recordId == b->recordId ? 1 : 0;
    return 0;
}

int MAttDelete(StoreHandle** attachment) {
    StoreHandle* h = attachment ? *attachment : nullptr;
    return WithAttachment(h, [=](CMailAttachment& a) {
        if (!a.removed) {
            a.removed = true;
            if (a.recordId != 0) {
                DropPartId(a.message->msg, a.recordId);
                TheMailStore().ReleaseReference(a.recordId);
            }
        }
        FreeHandle(attachment);
        return 0;
    });
}

int MAttRelease(StoreHandle** attachment) {
    if (!attachment || !ValidHandle(*attachment, kAttachmentKind)) return Code(LDG_E_INVALID_PARAMETER);
    FreeHandle(attachment);
    return 0;
}

namespace tess::datamgr {

int PrepareAttachmentsForSave(CMailMessage& m) {
    for (const auto& a : m.attachments) {
        if (a->removed) continue;
        if (a->recordId == 0) return Code(LDG_E_ATTACHMENTS_NOT_SAVED);
        uint32_t* end = m.msg.partIds + kMaxPartIds;
        if (std::find(m.msg.partIds, end, a->recordId) != end) continue;
        const int free = PartCount(m.msg);
        if (free >= kMaxPartIds) return Code(LDG_E_TOO_MANY_ATTACHMENTS);
        m.msg.partIds[free] = a->recordId;
    }
    return 0;
}

}  // namespace tess::datamgr
