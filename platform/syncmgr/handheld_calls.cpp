// The handheld calls: conduit registration, databases, records, preferences, card
// information and the handheld application.
#include <algorithm>
#include <cstring>

#include "platform/syncmgr/session.h"
#include "platform/syncmgr/syncmgr.h"

using platform::syncmgr::handheldCall;
using platform::syncmgr::HandheldStore;
using platform::syncmgr::Session;

namespace {

// The open database of a handle, or null.
platform::syncmgr::OpenDatabase* openDatabase(Session& s, SyncDbHandle handle) {
    auto it = s.open.find(handle);
    return it == s.open.end() ? nullptr : &it->second;
}

int addHandle(Session& s, int64_t id, uint8_t mode, SyncDbHandle* handle) {
    if (s.open.size() >= SYNC_MAX_OPEN_DBS) return SYNCERR_TOO_MANY_OPEN;
    for (unsigned h = 1; h <= 255; ++h) {
        if (!s.open.count(static_cast<uint8_t>(h))) {
            s.open[static_cast<uint8_t>(h)] = {id, mode};
            *handle = static_cast<uint8_t>(h);
            return SYNC_OK;
        }
    }
    return SYNCERR_TOO_MANY_OPEN;
}

// Fills the descriptor from a record read; copies the bytes only when they fit.
int deliverRecord(const platform::syncmgr::RecordEntry& e, SyncRecord* record) {
    record->recordId = e.id;
    record->index = e.index;
    record->attributes = e.attributes;
    record->category = e.category;
    record->dataSize = static_cast<uint32_t>(e.data.size());
    if (e.data.size() > record->bufferSize) return SYNCERR_BUFFER_TOO_SMALL;
    if (!e.data.empty()) std::memcpy(record->buffer, e.data.data(), e.data.size());
    return SYNC_OK;
}

// The database of a handle open for writing.
int writableDatabase(Session& s, SyncDbHandle handle, int64_t* db) {
    platform::syncmgr::OpenDatabase* open = openDatabase(s, handle);
    if (!open) return SYNCERR_NOT_OPEN;
    if (!(open->mode & SYNC_MODE_WRITE)) return SYNCERR_READ_ONLY;
    *db = open->id;
    return SYNC_OK;
}

// Reads the record the descriptor names, by index or by id.
int readRecord(const char* operation, SyncRecord* record, bool byIndex) {
    return handheldCall(operation, [&](Session& s, HandheldStore& h) {
        if (!record || (record->bufferSize && !record->buffer)) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::OpenDatabase* open = openDatabase(s, record->db);
        if (!open) return int{SYNCERR_NOT_OPEN};
        if (byIndex) {
            // Straight from the records the store read ahead: no copy between.
            const platform::syncmgr::RecordEntry* e = nullptr;
            const int rc = h.viewRecordByIndex(open->id, record->index, &e);
            return rc ? rc : deliverRecord(*e, record);
        }
        platform::syncmgr::RecordEntry e;
        const int rc = h.readRecordById(open->id, record->recordId, &e);
        return rc ? rc : deliverRecord(e, record);
    });
}

}  // namespace

int SyncRegisterConduit(SyncConduitHandle* handle) {
    return handheldCall("SyncRegisterConduit", [&](Session& s, HandheldStore&) {
        if (!handle) return int{SYNCERR_BAD_ARGUMENT};
        if (s.registered) return int{SYNCERR_ALREADY_REGISTERED};
        s.registered = true;
        *handle = ++s.registration;
        return int{SYNC_OK};
    });
}

int SyncUnregisterConduit(SyncConduitHandle handle) {
    return handheldCall("SyncUnregisterConduit", [&](Session& s, HandheldStore&) {
        if (!s.registered || handle != s.registration) return int{SYNCERR_NOT_REGISTERED};
        s.registered = false;
        return int{SYNC_OK};
    });
}

int SyncSetStatusText(const char* text) {
    if (!text) return SYNCERR_BAD_ARGUMENT;
    Session& s = platform::syncmgr::session();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.status = text;
    return SYNC_OK;
}

int SyncYieldCycles(uint16_t maxMilliseconds) {
    Session& s = platform::syncmgr::session();
    std::function<void(uint16_t)> hook;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        hook = s.yieldHook;
    }
    // Outside the lock: the hook may call back into the sync manager.
    if (hook) hook(maxMilliseconds);
    return SYNC_OK;
}

int SyncOpenDB(const char* name, int card, SyncDbHandle* handle, uint8_t mode) {
    return handheldCall("SyncOpenDB", [&](Session& s, HandheldStore& h) {
        if (!name || !*name || !handle) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::DatabaseEntry db;
        if (int rc = h.findDatabase(name, card, &db)) return rc;
        return addHandle(s, db.id, mode, handle);
    });
}

int SyncCreateDB(const SyncCreateDbParams* params, SyncDbHandle* handle) {
    return handheldCall("SyncCreateDB", [&](Session& s, HandheldStore& h) {
        if (!params || !params->name || !handle) return int{SYNCERR_BAD_ARGUMENT};
        if (s.open.size() >= SYNC_MAX_OPEN_DBS) return int{SYNCERR_TOO_MANY_OPEN};
        int64_t id = 0;
        if (int rc = h.createDatabase(params->name, params->creator, params->type, params->version, params->flags,
                                      params->card, &id))
            return rc;
        return addHandle(s, id, SYNC_MODE_READ | SYNC_MODE_WRITE, handle);
    });
}

int SyncCloseDB(SyncDbHandle handle) {
    return handheldCall("SyncCloseDB", [&](Session& s, HandheldStore&) {
        return s.open.erase(handle) ? int{SYNC_OK} : int{SYNCERR_NOT_OPEN};
    });
}

int SyncReadOpenDbInfo(SyncDbHandle handle, uint32_t infoSize, SyncDbInfo* info) {
    static_assert(sizeof(SyncDbInfo) == 128, "callers pass 128 as the size of the record");
    return handheldCall("SyncReadOpenDbInfo", [&](Session& s, HandheldStore& h) {
        if (!info || infoSize < sizeof(SyncDbInfo)) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::OpenDatabase* open = openDatabase(s, handle);
        if (!open) return int{SYNCERR_NOT_OPEN};
        platform::syncmgr::DatabaseEntry db;
        if (h.databaseById(open->id, &db)) return int{SYNCERR_NOT_OPEN};  // removed behind our back
        std::memset(info, 0, sizeof *info);
        std::memcpy(info->name, db.name.c_str(), std::min(db.name.size(), sizeof info->name - 1));
        info->creator = db.creator;
        info->type = db.type;
        info->version = db.version;
        info->attributes = db.attributes;
        info->recordCount = db.recordCount;
        info->card = db.card;
        info->modNumber = db.modNumber;
        info->epoch = db.epoch;
        return int{SYNC_OK};
    });
}

int SyncGetDBRecordCount(SyncDbHandle handle, uint32_t* count) {
    return handheldCall("SyncGetDBRecordCount", [&](Session& s, HandheldStore& h) {
        if (!count) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::OpenDatabase* open = openDatabase(s, handle);
        if (!open) return int{SYNCERR_NOT_OPEN};
        *count = h.recordCount(open->id);
        return int{SYNC_OK};
    });
}

int SyncWriteRecord(SyncRecord* record) {
    return handheldCall("SyncWriteRecord", [&](Session& s, HandheldStore& h) {
        if (!record || (record->dataSize && !record->buffer)) return int{SYNCERR_BAD_ARGUMENT};
        int64_t db = 0;
        if (int rc = writableDatabase(s, record->db, &db)) return rc;
        uint32_t id = record->recordId;
        int rc = h.writeRecord(db, &id, record->attributes, record->category, record->buffer, record->dataSize);
        if (rc == SYNC_OK) record->recordId = id;
        return rc;
    });
}

int SyncDeleteRecord(SyncDbHandle handle, uint32_t recordId) {
    return handheldCall("SyncDeleteRecord", [&](Session& s, HandheldStore& h) {
        int64_t db = 0;
        int rc = writableDatabase(s, handle, &db);
        return rc ? rc : h.deleteRecord(db, recordId);
    });
}

int SyncDeleteAllRecords(SyncDbHandle handle) {
    return handheldCall("SyncDeleteAllRecords", [&](Session& s, HandheldStore& h) {
        int64_t db = 0;
        int rc = writableDatabase(s, handle, &db);
        return rc ? rc : h.deleteAllRecords(db);
    });
}

int SyncGroupWrites(int on) {
    return handheldCall("SyncGroupWrites", [&](Session&, HandheldStore& h) {
        h.groupWrites(on != 0);
        return int{SYNC_OK};
    });
}

int SyncFlushWrites() {
    return handheldCall("SyncFlushWrites", [&](Session&, HandheldStore& h) {
        h.flushWrites();
        return int{SYNC_OK};
    });
}

int SyncReadRecordById(SyncRecord* record) { return readRecord("SyncReadRecordById", record, false); }

int SyncReadRecordByIndex(SyncRecord* record) { return readRecord("SyncReadRecordByIndex", record, true); }

int SyncReadAppPreference(uint32_t creator, uint16_t id, int backup, void* buffer, uint32_t bufferSize, uint32_t* size,
                          uint16_t* version) {
    return handheldCall("SyncReadAppPreference", [&](Session&, HandheldStore& h) {
        if (!size || (bufferSize && !buffer)) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::PreferenceEntry p;
        if (int rc = h.readPreference(creator, id, backup != 0, &p)) return rc;
        *size = static_cast<uint32_t>(p.data.size());
        if (version) *version = p.version;
        if (p.data.size() > bufferSize) return int{SYNCERR_BUFFER_TOO_SMALL};
        if (!p.data.empty()) std::memcpy(buffer, p.data.data(), p.data.size());
        return int{SYNC_OK};
    });
}

int SyncWriteAppPreference(uint32_t creator, uint16_t id, int backup, uint16_t version, const void* data,
                           uint32_t size) {
    return handheldCall("SyncWriteAppPreference", [&](Session&, HandheldStore& h) {
        if (size && !data) return int{SYNCERR_BAD_ARGUMENT};
        platform::syncmgr::PreferenceEntry p;
        p.creator = creator;
        p.id = id;
        p.backup = backup != 0;
        p.version = version;
        const auto* bytes = static_cast<const uint8_t*>(data);
        p.data.assign(bytes, bytes + size);
        return h.writePreference(p);
    });
}

int SyncReadSingleCardInfo(SyncCardInfo* info) {
    return handheldCall("SyncReadSingleCardInfo", [&](Session&, HandheldStore& h) {
        if (!info) return int{SYNCERR_BAD_ARGUMENT};
        if (info->card != 0) return int{SYNCERR_NOT_FOUND};
        platform::syncmgr::CardEntry c = h.card();
        std::memset(info, 0, sizeof *info);
        info->romSize = c.romSize;
        info->ramSize = c.ramSize;
        info->freeRam = c.freeRam();
        std::memcpy(info->name, c.name.c_str(), std::min(c.name.size(), sizeof info->name - 1));
        std::memcpy(info->manufacturer, c.manufacturer.c_str(),
                    std::min(c.manufacturer.size(), sizeof info->manufacturer - 1));
        return int{SYNC_OK};
    });
}

int SyncCallRemoteModule(SyncRemoteCall* call) {
    return handheldCall("SyncCallRemoteModule", [&](Session&, HandheldStore& h) {
        if (!call || (call->replyMax && !call->reply) || (call->paramSize && !call->param))
            return int{SYNCERR_BAD_ARGUMENT};
        call->replySize = 0;
        std::vector<uint8_t> answer;
        if (h.remoteAnswer(call->creator, call->action, &answer) != SYNC_OK) return int{SYNCERR_REMOTE_FAILED};
        call->replySize = static_cast<uint32_t>(answer.size());
        if (answer.size() > call->replyMax) return int{SYNCERR_BUFFER_TOO_SMALL};
        if (!answer.empty()) std::memcpy(call->reply, answer.data(), answer.size());
        return int{SYNC_OK};
    });
}
