// Memory blocks, lists, databases, notes and items, searches, ID tables, folders and
// collections.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/notes/client_state.h"

using namespace platform::notes;

namespace platform::notes {

std::string listBody(ClientState& s, DHANDLE list) {
    const std::string* bytes = s.memory(list);
    if (!bytes) return {};
    return s.prefixedLists.count(list) && bytes->size() >= 2 ? bytes->substr(2) : *bytes;
}

STATUS openDatabase(ClientState& s, const std::string& notesPath, DBHANDLE* out) {
    if (!s.initialised) return ERR_NOTES_NOT_INIT;
    const auto path = resolveDbPath(notesPath, s.dataDir());
    if (!std::filesystem::is_regular_file(path)) return ERR_NO_SUCH_FILE;
    auto db = std::make_shared<NoteDb>(path, false);
    if (db->access(s.userName) == ACL_NOACCESS) return ERR_NO_ACCESS;
    *out = s.add(OpenDb{std::move(db)});
    return NOERROR;
}

NoteDb* dbOf(ClientState& s, DBHANDLE h) {
    OpenDb* d = s.database(h);
    return d ? d->db.get() : nullptr;
}

NoteDb* dbOfNote(ClientState& s, OpenNote& note) { return dbOf(s, note.db); }

std::string itemText(const Item& item, const char* listSeparator) {
    switch (item.type) {
    case TYPE_TEXT_LIST: {
        std::string out;
        for (const auto& t : decodeTextList(item.value)) out += (out.empty() ? "" : listSeparator) + t;
        return out;
    }
    case TYPE_NUMBER: {
        double v = 0;
        if (item.value.size() == sizeof v) std::memcpy(&v, item.value.data(), sizeof v);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", v);
        return buf;
    }
    case TYPE_TIME: {
        TIMEDATE td{};
        if (item.value.size() == 8) std::memcpy(&td, item.value.data(), 8);
        return std::to_string(toTicks(td) / 100);
    }
    case TYPE_OBJECT: return {};
    default: return item.value;
    }
}

}  // namespace platform::notes

// --- Memory and lists

void* OSLockObject(DHANDLE handle) {
    auto& s = ClientState::get();
    std::lock_guard lock(s.mutex);
    std::string* bytes = s.memory(handle);
    return bytes ? bytes->data() : nullptr;
}

NBOOL OSUnlockObject(DHANDLE handle) {
    auto& s = ClientState::get();
    std::lock_guard lock(s.mutex);
    return s.memory(handle) ? 1 : 0;
}

STATUS OSMemFree(DHANDLE handle) {
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.memory(handle)) return ERR_BAD_HANDLE;
        s.prefixedLists.erase(handle);
        s.release(handle);
        return NOERROR;
    });
}

STATUS ListAllocate(WORD entries, WORD textSize, NBOOL prefixDataType, DHANDLE* handle, void** list, WORD* listSize) {
    if (!handle) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        std::string bytes = encodeTextList(std::vector<std::string>(entries, std::string(textSize, '\0')));
        if (prefixDataType) bytes.insert(0, std::string{static_cast<char>(TYPE_TEXT_LIST & 0xFF), TYPE_TEXT_LIST >> 8});
        if (bytes.size() > 0xFFFF) return ERR_NO_MEMORY;
        if (listSize) *listSize = static_cast<WORD>(bytes.size());
        *handle = s.newMemory(std::move(bytes));
        if (prefixDataType) s.prefixedLists.insert(*handle);
        if (list) *list = s.memory(*handle)->data();
        return NOERROR;
    });
}

STATUS ListAddEntry(DHANDLE handle, NBOOL prefixDataType, WORD* listSize, WORD entry, const char* text, WORD textSize) {
    return guarded([&](ClientState& s) -> STATUS {
        std::string* bytes = s.memory(handle);
        if (!bytes) return ERR_BAD_HANDLE;
        auto texts = decodeTextList(listBody(s, handle));
        if (entry > texts.size()) return ERR_INVALID_ARG;
        texts.insert(texts.begin() + entry, std::string(text ? text : "", text ? textSize : 0));
        std::string out = encodeTextList(texts);
        if (prefixDataType) out.insert(0, bytes->substr(0, 2));
        if (out.size() > 0xFFFF) return ERR_NO_MEMORY;
        *bytes = std::move(out);
        if (listSize) *listSize = static_cast<WORD>(bytes->size());
        return NOERROR;
    });
}

WORD ListGetNumEntries(const void* list, NBOOL prefixDataType) {
    if (!list) return 0;
    const auto* p = static_cast<const unsigned char*>(list) + (prefixDataType ? 2 : 0);
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

STATUS ListGetText(const void* list, NBOOL prefixDataType, WORD entry, const char** text, WORD* textSize) {
    if (!list || !text) return ERR_INVALID_ARG;
    const auto* p = static_cast<const unsigned char*>(list) + (prefixDataType ? 2 : 0);
    const WORD count = static_cast<WORD>(p[0] | (p[1] << 8));
    if (entry >= count) return ERR_INVALID_ARG;
    size_t offset = 2 + 2 * static_cast<size_t>(count);
    for (WORD i = 0; i < entry; ++i) offset += p[2 + 2 * i] | (p[3 + 2 * i] << 8);
    *text = reinterpret_cast<const char*>(p + offset);
    if (textSize) *textSize = static_cast<WORD>(p[2 + 2 * entry] | (p[3 + 2 * entry] << 8));
    return NOERROR;
}

// --- Databases

STATUS NSFDbOpen(const char* path, DBHANDLE* db) {
    if (!path || !db) return ERR_INVALID_ARG;
    *db = 0;
    return guarded([&](ClientState& s) { return openDatabase(s, path, db); });
}

STATUS NSFDbClose(DBHANDLE db) {
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.database(db)) return ERR_BAD_HANDLE;
        s.release(db);
        return NOERROR;
    });
}

STATUS NSFDbAccessGet(DBHANDLE db, WORD* accessLevel, WORD* accessFlags) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        if (accessLevel) *accessLevel = d->access(s.userName);
        if (accessFlags) *accessFlags = 0;
        return NOERROR;
    });
}

STATUS NSFDbGenerateOID(DBHANDLE db, ORIGINATORID* oid) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d || !oid) return ERR_BAD_HANDLE;
        *oid = d->newOid();
        return NOERROR;
    });
}

STATUS NSFDbGetUnreadNoteTable(DBHANDLE db, const char* user, WORD userLength, NBOOL create, DHANDLE* table) {
    if (!table) return ERR_INVALID_ARG;
    *table = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        const std::string name(user ? user : "", user ? userLength : 0);
        if (!d->hasUnread(name)) {
            if (!create) return ERR_NOT_FOUND;
            d->setUnread(name, 0, true);
        }
        *table = s.add(IdTable{d->unread(name), name});
        return NOERROR;
    });
}

STATUS NSFDbUpdateUnread(DBHANDLE db, DHANDLE table) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        IdTable* t = s.idTable(table);
        if (!d || !t) return ERR_BAD_HANDLE;
        t->ids = d->unread(t->user);
        return NOERROR;
    });
}

STATUS NSFDbSetUnreadNoteTable(DBHANDLE db, const char* user, WORD userLength, NBOOL, DHANDLE original,
                               DHANDLE updated) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        IdTable* before = s.idTable(original);
        IdTable* after = s.idTable(updated);
        if (!d || !before || !after) return ERR_BAD_HANDLE;
        const std::string name(user ? user : "", user ? userLength : 0);
        for (NOTEID id : before->ids)
            if (!after->ids.count(id)) d->setUnread(name, id, false);
        for (NOTEID id : after->ids)
            if (!before->ids.count(id)) d->setUnread(name, id, true);
        return NOERROR;
    });
}

// --- Notes and items

STATUS NSFNoteOpen(DBHANDLE db, NOTEID id, WORD flags, NOTEHANDLE* note) {
    if (!note) return ERR_INVALID_ARG;
    *note = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        auto data = d->load(id);
        if (!data) return d->isStub(id) ? ERR_NOTE_DELETED : ERR_NOT_FOUND;
        if ((flags & OPEN_MARK_READ) && !s.userName.empty()) d->setUnread(s.userName, id, false);
        *note = s.add(OpenNote{db, std::move(*data), {}});
        return NOERROR;
    });
}

STATUS NSFNoteClose(NOTEHANDLE note) {
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.note(note)) return ERR_BAD_HANDLE;
        s.release(note);
        return NOERROR;
    });
}

STATUS NSFNoteUpdate(NOTEHANDLE note, WORD) {
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        NoteDb* d = dbOfNote(s, *n);
        if (!d) return ERR_BAD_HANDLE;
        if (d->access(s.userName) < ACL_DEPOSITOR) return ERR_NO_ACCESS;
        d->store(n->data);
        return NOERROR;
    });
}

STATUS NSFNoteDelete(DBHANDLE db, NOTEID id, WORD flags) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        if (d->access(s.userName) < ACL_EDITOR) return ERR_NO_ACCESS;
        return d->remove(id, !(flags & UPDATE_NOSTUB)) ? NOERROR : ERR_NOT_FOUND;
    });
}

void NSFNoteGetInfo(NOTEHANDLE note, WORD member, void* value) {
    if (!value) return;
    guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        switch (member) {
        case NOTE_INFO_DB: *static_cast<DBHANDLE*>(value) = n->db; break;
        case NOTE_INFO_ID: *static_cast<NOTEID*>(value) = (n->data.id & NOTEID_ADD) ? 0 : n->data.id; break;
        case NOTE_INFO_OID: *static_cast<ORIGINATORID*>(value) = n->data.oid; break;
        case NOTE_INFO_CLASS: *static_cast<WORD*>(value) = n->data.noteClass; break;
        case NOTE_INFO_MODIFIED: *static_cast<TIMEDATE*>(value) = n->data.modified; break;
        default: break;
        }
        return NOERROR;
    });
}

void NSFNoteSetInfo(NOTEHANDLE note, WORD member, const void* value) {
    if (!value) return;
    guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        switch (member) {
        case NOTE_INFO_DB: n->db = *static_cast<const DBHANDLE*>(value); break;
        case NOTE_INFO_ID: n->data.id = *static_cast<const NOTEID*>(value); break;
        case NOTE_INFO_OID: n->data.oid = *static_cast<const ORIGINATORID*>(value); break;
        case NOTE_INFO_CLASS: n->data.noteClass = *static_cast<const WORD*>(value); break;
        default: break;
        }
        return NOERROR;
    });
}

STATUS NSFNoteCopy(NOTEHANDLE source, NOTEHANDLE* copy) {
    if (!copy) return ERR_INVALID_ARG;
    *copy = 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(source);
        if (!n) return ERR_BAD_HANDLE;
        OpenNote c{n->db, n->data, {}};
        c.data.id = NOTEID_ADD;
        c.data.oid = ORIGINATORID{};
        *copy = s.add(std::move(c));
        return NOERROR;
    });
}

STATUS NSFItemAppend(NOTEHANDLE note, WORD, const char* name, WORD nameLength, WORD type, const void* value,
                     DWORD valueLength) {
    if (!name) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        n->data.items.push_back({std::string(name, nameLength), type,
                                 value ? std::string(static_cast<const char*>(value), valueLength) : std::string()});
        return NOERROR;
    });
}

STATUS NSFItemInfo(NOTEHANDLE note, const char* name, WORD nameLength, BLOCKID* item, WORD* type, BLOCKID* value,
                   DWORD* valueLength) {
    if (!name) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        if (!n) return ERR_BAD_HANDLE;
        const std::string wanted(name, nameLength);
        for (size_t i = 0; i < n->data.items.size(); ++i) {
            const Item& it = n->data.items[i];
            if (strcasecmp(it.name.c_str(), wanted.c_str()) != 0) continue;
            if (item) *item = BLOCKID{0, static_cast<WORD>(i)};
            if (type) *type = it.type;
            if (value) {
                std::string bytes{static_cast<char>(it.type & 0xFF), static_cast<char>(it.type >> 8)};
                const DHANDLE pool = s.newMemory(bytes + it.value);
                n->pools.push_back(pool);
                *value = BLOCKID{pool, 0};
            }
            if (valueLength) *valueLength = static_cast<DWORD>(it.value.size() + 2);
            return NOERROR;
        }
        return ERR_NOT_FOUND;
    });
}

WORD NSFItemGetText(NOTEHANDLE note, const char* name, char* buffer, WORD bufferLength) {
    if (buffer && bufferLength) buffer[0] = '\0';
    if (!name) return 0;
    return guarded([&](ClientState& s) -> STATUS {
        OpenNote* n = s.note(note);
        const Item* it = n ? n->data.find(name) : nullptr;
        if (!it) return 0;
        copyOut(itemText(*it, "; "), buffer, bufferLength);
        return static_cast<WORD>(buffer && bufferLength ? std::strlen(buffer) : 0);
    });
}

STATUS NSFSearch(DBHANDLE db, DHANDLE, const char*, WORD searchFlags, WORD noteClassMask, const TIMEDATE* since,
                 NSFSEARCHPROC callback, void* param, TIMEDATE* until) {
    if (!callback) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        const TIMEDATE started = nowTimeDate();
        for (const auto& e : d->changedSince(since ? toTicks(*since) : 0)) {
            if (!(e.noteClass & noteClassMask)) continue;
            if (e.stub && !(searchFlags & SEARCH_NOTIFYDELETIONS)) continue;
            SEARCH_MATCH match{};
            match.OriginatorID = e.oid;
            match.ID = e.id;
            match.NoteClass = static_cast<WORD>(e.noteClass | (e.stub ? RRV_DELETED : 0));
            match.SERetFlags = e.stub ? 0 : SE_FMATCH;
            if (STATUS st = callback(param, &match, nullptr)) return st;
        }
        if (until) *until = started;
        return NOERROR;
    });
}

// --- ID tables

STATUS IDCreateTable(DWORD, DHANDLE* table) {
    if (!table) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        *table = s.add(IdTable{});
        return NOERROR;
    });
}

STATUS IDDestroyTable(DHANDLE table) {
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.idTable(table)) return ERR_BAD_HANDLE;
        s.release(table);
        return NOERROR;
    });
}

STATUS IDInsert(DHANDLE table, NOTEID id, NBOOL* inserted) {
    return guarded([&](ClientState& s) -> STATUS {
        IdTable* t = s.idTable(table);
        if (!t) return ERR_BAD_HANDLE;
        const bool added = t->ids.insert(id).second;
        if (inserted) *inserted = added;
        return NOERROR;
    });
}

STATUS IDDelete(DHANDLE table, NOTEID id, NBOOL* deleted) {
    return guarded([&](ClientState& s) -> STATUS {
        IdTable* t = s.idTable(table);
        if (!t) return ERR_BAD_HANDLE;
        const bool removed = t->ids.erase(id) > 0;
        if (deleted) *deleted = removed;
        return NOERROR;
    });
}

NBOOL IDIsPresent(DHANDLE table, NOTEID id) {
    return guarded([&](ClientState& s) -> STATUS {
        IdTable* t = s.idTable(table);
        return t && t->ids.count(id) ? 1 : 0;
    });
}

DWORD IDEntries(DHANDLE table) {
    auto& s = ClientState::get();
    std::lock_guard lock(s.mutex);
    IdTable* t = s.idTable(table);
    return t ? static_cast<DWORD>(t->ids.size()) : 0;
}

NBOOL IDScan(DHANDLE table, NBOOL first, NOTEID* id) {
    if (!id) return 0;
    return guarded([&](ClientState& s) -> STATUS {
        IdTable* t = s.idTable(table);
        if (!t) return 0;
        auto it = first ? t->ids.begin() : t->ids.upper_bound(*id);
        if (it == t->ids.end()) return 0;
        *id = *it;
        return 1;
    });
}

STATUS IDTableCopy(DHANDLE table, DHANDLE* copy) {
    if (!copy) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        IdTable* t = s.idTable(table);
        if (!t) return ERR_BAD_HANDLE;
        IdTable c = *t;
        *copy = s.add(std::move(c));
        return NOERROR;
    });
}

// --- Folders and collections

STATUS NIFFindDesignNoteExt(DBHANDLE db, const char* name, WORD noteClass, const char*, NOTEID* id, DWORD) {
    if (!name || !id) return ERR_INVALID_ARG;
    *id = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, db);
        if (!d) return ERR_BAD_HANDLE;
        auto found = d->findDesign(name, noteClass);
        if (!found) return ERR_NOT_FOUND;
        *id = *found;
        return NOERROR;
    });
}

STATUS NSFFolderGetIDTable(DBHANDLE viewDb, DBHANDLE, NOTEID folder, DWORD, DHANDLE* table) {
    if (!table) return ERR_INVALID_ARG;
    *table = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, viewDb);
        if (!d) return ERR_BAD_HANDLE;
        auto f = d->load(folder);
        if (!f || f->noteClass != NOTE_CLASS_VIEW) return ERR_NOT_FOUND;
        *table = s.add(IdTable{d->folderDocs(folder), {}});
        return NOERROR;
    });
}

static STATUS changeFolder(DBHANDLE dataDb, NOTEID folder, DHANDLE table, bool add) {
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, dataDb);
        IdTable* t = s.idTable(table);
        if (!d || !t) return ERR_BAD_HANDLE;
        auto f = d->load(folder);
        if (!f || f->noteClass != NOTE_CLASS_VIEW) return ERR_NOT_FOUND;
        if (d->access(s.userName) < ACL_EDITOR) return ERR_NO_ACCESS;
        if (add) {
            for (NOTEID id : t->ids)
                if (!d->load(id)) return ERR_NOT_FOUND;
            d->folderAdd(folder, t->ids);
        } else {
            d->folderRemove(folder, t->ids);
        }
        return NOERROR;
    });
}

STATUS FolderDocAdd(DBHANDLE dataDb, DBHANDLE, NOTEID folder, DHANDLE table, DWORD) {
    return changeFolder(dataDb, folder, table, true);
}

STATUS FolderDocRemove(DBHANDLE dataDb, DBHANDLE, NOTEID folder, DHANDLE table, DWORD) {
    return changeFolder(dataDb, folder, table, false);
}

STATUS NIFOpenCollection(DBHANDLE viewDb, DBHANDLE, NOTEID view, WORD, DHANDLE, HCOLLECTION* collection,
                         NOTEHANDLE* viewNote, void*, DHANDLE* collapsedList, DHANDLE* selectedList) {
    if (!collection) return ERR_INVALID_ARG;
    *collection = 0;
    if (viewNote) *viewNote = 0;
    if (collapsedList) *collapsedList = 0;
    if (selectedList) *selectedList = 0;
    return guarded([&](ClientState& s) -> STATUS {
        NoteDb* d = dbOf(s, viewDb);
        if (!d) return ERR_BAD_HANDLE;
        auto v = d->load(view);
        if (!v || v->noteClass != NOTE_CLASS_VIEW) return ERR_NOT_FOUND;
        const Item* name = v->find("$Name");
        Collection c;
        if (name && strcasecmp(name->value.c_str(), "$FolderInfo") == 0) {
            c.ids = d->folders();
        } else {
            const auto docs = d->folderDocs(view);
            c.ids.assign(docs.begin(), docs.end());
        }
        *collection = s.add(std::move(c));
        return NOERROR;
    });
}

STATUS NIFCloseCollection(HCOLLECTION collection) {
    return guarded([&](ClientState& s) -> STATUS {
        if (!s.collection(collection)) return ERR_BAD_HANDLE;
        s.release(collection);
        return NOERROR;
    });
}

STATUS NIFReadEntries(HCOLLECTION collection, COLLECTIONPOSITION* position, WORD, DWORD, WORD, DWORD returnCount, DWORD,
                      DHANDLE* buffer, WORD* bufferLength, DWORD* skipped, DWORD* returned, WORD* signal) {
    // At most this many entries per call, as a real collection hands them out in pieces.
    constexpr DWORD kMaxPerRead = 64;
    if (buffer) *buffer = 0;
    if (bufferLength) *bufferLength = 0;
    if (skipped) *skipped = 0;
    if (returned) *returned = 0;
    if (signal) *signal = 0;
    if (!position) return ERR_INVALID_ARG;
    return guarded([&](ClientState& s) -> STATUS {
        Collection* c = s.collection(collection);
        if (!c) return ERR_BAD_HANDLE;
        const size_t start = position->Tumbler[0];
        const size_t left = c->ids.size() > start ? c->ids.size() - start : 0;
        const size_t count = std::min({static_cast<size_t>(returnCount), static_cast<size_t>(kMaxPerRead), left});
        if (count > 0 && buffer) {
            std::string bytes(count * sizeof(NOTEID), '\0');
            std::memcpy(bytes.data(), c->ids.data() + start, bytes.size());  // an in-memory array of NOTEIDs
            *buffer = s.newMemory(std::move(bytes));
            if (bufferLength) *bufferLength = static_cast<WORD>(count * sizeof(NOTEID));
        }
        position->Tumbler[0] = static_cast<DWORD>(start + count);
        if (returned) *returned = static_cast<DWORD>(count);
        if (signal && start + count < c->ids.size()) *signal = SIGNAL_MORE_TO_DO;
        return NOERROR;
    });
}
