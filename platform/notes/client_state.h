#pragma once
// The process-wide state of the client library: the loaded notes.ini, the current ID, and
// the handle tables (memory blocks, open databases, open notes, ID tables, collections).
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/notes/note_store.h"

namespace platform::notes {

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const;
};
using IniMap = std::map<std::string, std::string, NoCase>;

// notes.ini: key=value lines, keys without regard to case; "[...]" and ";" lines skipped.
// ok (when given) tells whether the file could be read.
IniMap readIni(const std::filesystem::path& file, bool* ok = nullptr);
// Sets one key in the file, keeping its other lines.
bool writeIniValue(const std::filesystem::path& file, const std::string& key, const std::string& value);

// An ID file: the owner's full name and a salted PBKDF2-SHA256 hash of the password.
struct IdFile {
    std::string fullName;
    std::string salt, hash;  // hex
};
bool readIdFile(const std::filesystem::path& file, IdFile& out);
bool writeIdFile(const std::filesystem::path& file, const std::string& fullName, const std::string& password);
bool passwordMatches(const IdFile& id, const std::string& password);

// A file name as Notes callers give it ('\' separators, maybe "server!!file") made into a
// path: relative names lie in the data directory.
std::filesystem::path resolveDbPath(const std::string& notesPath, const std::filesystem::path& dataDir);

struct OpenNote {
    DBHANDLE db = 0;
    NoteData data;
    std::vector<DHANDLE> pools;  // item value blocks handed out by NSFItemInfo
};

struct OpenDb {
    std::shared_ptr<NoteDb> db;
};

struct IdTable {
    std::set<NOTEID> ids;
    std::string user;  // for unread tables
};

struct Collection {
    std::vector<NOTEID> ids;
};

class ClientState {
public:
    static ClientState& get();

    std::recursive_mutex mutex;  // search callbacks call back in
    bool initialised = false;
    std::filesystem::path iniPath;
    IniMap env;
    std::string userName;             // the current ID's full name; empty before one is known
    std::set<DHANDLE> prefixedLists;  // list blocks that start with their type word

    std::filesystem::path dataDir() const;

    DHANDLE newMemory(std::string bytes) { return memory_.add(next_++, std::move(bytes)); }
    std::string* memory(DHANDLE h) { return memory_.find(h); }
    DHANDLE add(OpenDb db) { return dbs_.add(next_++, std::move(db)); }
    OpenDb* database(DHANDLE h) { return dbs_.find(h); }
    DHANDLE add(OpenNote note) { return notes_.add(next_++, std::move(note)); }
    OpenNote* note(DHANDLE h) { return notes_.find(h); }
    DHANDLE add(IdTable table) { return tables_.add(next_++, std::move(table)); }
    IdTable* idTable(DHANDLE h) { return tables_.find(h); }
    DHANDLE add(Collection c) { return collections_.add(next_++, std::move(c)); }
    Collection* collection(DHANDLE h) { return collections_.find(h); }
    // Frees whatever the handle stands for (a note with the value blocks it handed out).
    bool release(DHANDLE h);

private:
    // One kind of object by handle; handles are unique across the kinds.
    template <class T>
    struct Table {
        std::map<DHANDLE, T> items;
        DHANDLE add(DHANDLE h, T value) {
            items.emplace(h, std::move(value));
            return h;
        }
        T* find(DHANDLE h) {
            auto it = items.find(h);
            return it == items.end() ? nullptr : &it->second;
        }
        bool erase(DHANDLE h) { return items.erase(h) > 0; }
    };

    DHANDLE next_ = 1;
    Table<std::string> memory_;
    Table<OpenDb> dbs_;
    Table<OpenNote> notes_;
    Table<IdTable> tables_;
    Table<Collection> collections_;
};

// Runs a call's body under the state's lock; a storage failure answers ERR_DB_IO.
template <class F>
STATUS guarded(F&& body) {
    auto& s = ClientState::get();
    std::lock_guard lock(s.mutex);
    try {
        return body(s);
    } catch (const std::exception&) {
        return ERR_DB_IO;
    }
}

void copyOut(const std::string& text, char* buffer, size_t size);

// Helpers the call files share (the state's lock held).
std::string listBody(ClientState& s, DHANDLE list);  // the list without its type word
STATUS openDatabase(ClientState& s, const std::string& notesPath, DBHANDLE* out);
NoteDb* dbOf(ClientState& s, DBHANDLE h);
NoteDb* dbOfNote(ClientState& s, OpenNote& note);
std::string itemText(const Item& item, const char* listSeparator);

}  // namespace platform::notes
