#include "common/handheld_record_io.h"

#include "common/language_module.h"
#include "common/sync_progress_dialog.h"

namespace tess {

namespace {

constexpr unsigned kStrFileAttachment = 4475;

int WriteNew(SyncDbHandle db, HandheldRecord& r, uint32_t* id) {
    SyncRecord rec{};
    rec.db = db;
    rec.recordId = *id;
    rec.attributes = r.attributes;
    rec.category = r.category;
    rec.buffer = r.data.data();
    rec.bufferSize = static_cast<uint32_t>(r.data.size());
    rec.dataSize = static_cast<uint32_t>(r.data.size());
    const int rc = SyncWriteRecord(&rec);
    if (rc == SYNC_OK) *id = rec.recordId;
    return rc;
}

// Reads into r; byIndex picks the call. Records past the handheld limit are refused by
// the buffer size.
int Read(SyncDbHandle db, uint32_t key, bool byIndex, HandheldRecord& r, uint32_t* index = nullptr) {
    std::vector<uint8_t> buf(kMaxRecordBytes);
    SyncRecord rec{};
    rec.db = db;
    rec.recordId = byIndex ? 0 : key;
    rec.index = byIndex ? key : 0;
    rec.buffer = buf.data();
    rec.bufferSize = static_cast<uint32_t>(buf.size());
    const int rc = byIndex ? SyncReadRecordByIndex(&rec) : SyncReadRecordById(&rec);
    if (rc != SYNC_OK) return rc;
    buf.resize(rec.dataSize);
    r.id = rec.recordId;
    r.attributes = rec.attributes;
    r.category = rec.category;
    r.data = std::move(buf);
    if (index) *index = rec.index;
    return SYNC_OK;
}

// One text of the sync manager's (key, buffer, size) calls; a failed read clears *ok.
template <typename Key>
std::string Text(int (*get)(Key, char*, int*), Key key, bool* ok) {
    char buf[512];
    int size = sizeof buf;
    if (get(key, buf, &size) != SYNC_OK) {
        *ok = false;
        return {};
    }
    return buf;
}

}  // namespace

int WriteAttachmentChain(SyncDbHandle db, CAttachmentChain& chain, int category, uint32_t* firstId,
                         CSyncProgress* progress) {
    if (progress) {
        const std::string name = chain.FirstName();
        const std::string shown =
            name.substr(name.find_last_of("\\/") == std::string::npos ? 0 : name.find_last_of("\\/") + 1);
        std::string format = LoadLangString(kStrFileAttachment);
        const size_t at = format.find("%s");
        progress->SetProgressText(at == std::string::npos ? format : format.replace(at, 2, shown));
        progress->SetStepCount(static_cast<int>(chain.entries.size()));
    }
    for (size_t i = 0; i < chain.entries.size(); ++i) {
        AttachmentEntry& e = chain.entries[i];
        HandheldRecord r;
        int rc = e.Pack(r);
        r.category = category;
        uint32_t id = 0;
        if (rc == kRecordOk) rc = WriteNew(db, r, &id);
        if (rc != kRecordOk) {
            for (size_t k = 0; k < i; ++k) {
                SyncDeleteRecord(db, chain.entries[k].recordId);
                chain.entries[k].recordId = 0;
            }
            return rc;
        }
        e.recordId = id;
        if (progress) progress->AdvanceStep();
    }
    if (firstId) *firstId = chain.entries.empty() ? 0 : chain.entries.front().recordId;
    return SYNC_OK;
}

int ReadAttachmentChain(SyncDbHandle db, uint32_t recordId, bool readFollowing, CAttachmentChain& chain,
                        CSyncProgress* progress) {
    chain.entries.clear();
    HandheldRecord r;
    uint32_t index = 0;
    if (int rc = Read(db, recordId, false, r, &index); rc != SYNC_OK) return rc;
    AttachmentEntry first;
    if (first.Unpack(r) != kRecordOk) return kRecordShort;
    chain.entries.push_back(first);
    if (progress) progress->AdvanceStep();
    while (readFollowing && !chain.entries.back().IsTerminator()) {
        if (Read(db, ++index, true, r) != SYNC_OK) break;
        AttachmentEntry next;
        if (next.Unpack(r) != kRecordOk) break;
        if (next.name != first.name && !next.IsTerminator()) break;
        chain.entries.push_back(std::move(next));
        if (progress) progress->AdvanceStep();
    }
    return SYNC_OK;
}

uint32_t DeleteAttachmentChain(SyncDbHandle db, const CAttachmentChain& chain) {
    uint32_t bytes = 0;
    for (const AttachmentEntry& e : chain.entries) {
        if (!e.recordId) continue;
        SyncDeleteRecord(db, e.recordId);
        bytes += static_cast<uint32_t>(e.data.size());
    }
    return bytes;
}

int ReadPartInfoRecord(SyncDbHandle db, uint32_t recordId, CPartInfoRecord& record) {
    HandheldRecord r;
    if (int rc = Read(db, recordId, false, r); rc != SYNC_OK) return rc;
    return record.Unpack(r);
}

int WritePartInfoRecord(SyncDbHandle db, int category, CPartInfoRecord& record) {
    HandheldRecord r;
    if (int rc = record.Pack(r); rc != kRecordOk) return rc;
    r.category = category;
    uint32_t id = record.recordId;
    const int rc = WriteNew(db, r, &id);
    if (rc == SYNC_OK) record.recordId = id;
    return rc;
}

int WriteIdCacheRecord(SyncDbHandle db, CIdCacheRecord& record) {
    HandheldRecord r;
    if (int rc = record.Pack(r); rc != kRecordOk) return rc;
    uint32_t id = 0;
    const int rc = WriteNew(db, r, &id);
    if (rc == SYNC_OK) record.recordId = static_cast<int32_t>(id);
    return rc;
}

bool CConduitInfo::Load(uint32_t c) {
    bool ok = true;
    creator = c;
    name = Text(QuayGetConduitName, c, &ok);
    if (!ok) return loaded = false;
    if (QuayGetConduitPriority(c, &priority) != SYNC_OK) ok = false;
    library = Text(QuayGetConduitLibrary, c, &ok);
    directory = Text(QuayGetConduitDirectory, c, &ok);
    remoteDb = Text(QuayGetConduitRemoteDb, c, &ok);
    title = Text(QuayGetConduitTitle, c, &ok);
    arguments = Text(QuayGetConduitArguments, c, &ok);
    information = Text(QuayGetConduitInformation, c, &ok);
    return loaded = ok;
}

int CUserList::Load() {
    users_.clear();
    int count = 0;
    if (RosterGetUserCount(&count) != SYNC_OK) return 0;
    char root[512];
    int rootSize = sizeof root;
    const std::string rootPath = RosterGetUserDataFolder(root, &rootSize) == SYNC_OK ? root : "";
    for (int i = 0; i < count; ++i) {
        Entry e;
        if (RosterGetUserIdByIndex(i, &e.id) != SYNC_OK) continue;
        bool ok = true;
        e.name = Text(RosterGetUserName, e.id, &ok);
        e.directory = Text(RosterGetUserDirectory, e.id, &ok);
        e.folder = Text(RosterGetUserFolderName, e.id, &ok);
        e.rootPath = rootPath;
        if (ok) users_.push_back(std::move(e));
    }
    return static_cast<int>(users_.size());
}

const CUserList::Entry* CUserList::FindUser(int id) const {
    for (const Entry& e : users_)
        if (e.id == id) return &e;
    return nullptr;
}

}  // namespace tess
