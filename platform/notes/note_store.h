#pragma once
// A note database file in SQLite: notes with typed items in order, folders (design notes)
// with their documents, per-user unread notes, deletion stubs, an access list, and for the
// address book the people it knows. Every change is committed when the call returns.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/notes/nnotes.h"
#include "platform/syncmgr/sqlite_db.h"

namespace platform::notes {

struct Item {
    std::string name;
    WORD type = TYPE_TEXT;
    std::string value;  // the value's bytes without the type word
};

struct NoteData {
    NOTEID id = 0;  // 0 or NOTEID_ADD set: not stored yet
    WORD noteClass = NOTE_CLASS_DOCUMENT;
    ORIGINATORID oid{};
    TIMEDATE modified{};
    std::vector<Item> items;

    const Item* find(const std::string& name) const;
    Item* find(const std::string& name);
    void set(const std::string& name, WORD type, std::string value);  // replaces all of that name
    void remove(const std::string& name);
};

struct Person {
    std::string fullName, shortName, internetAddress, mailFile;
};

int64_t toTicks(const TIMEDATE& td);
TIMEDATE fromTicks(int64_t ticks);
TIMEDATE nowTimeDate();

// Text lists in the layout of ListAllocate (without the type word).
std::string encodeTextList(const std::vector<std::string>& texts);
std::vector<std::string> decodeTextList(const std::string& value);

class NoteDb {
public:
    // Opens the file; `create` makes it (and its tables) when missing. Throws
    // platform::syncmgr::sql::StorageError when it cannot.
    NoteDb(const std::filesystem::path& file, bool create);

    const std::filesystem::path& file() const { return file_; }
    std::string meta(const std::string& key) const;
    void setMeta(const std::string& key, const std::string& value);
    WORD access(const std::string& user) const;
    void setAccess(const std::string& user, WORD level);

    std::optional<NoteData> load(NOTEID id);
    bool isStub(NOTEID id);
    // Stores the note (a new one gets an id, a universal id when it has none, and is
    // written in full); the modified time becomes now.
    void store(NoteData& note);
    // Removes the note; leaves a deletion stub when asked. false when there is no note.
    bool remove(NOTEID id, bool stub);
    ORIGINATORID newOid();

    struct Entry {
        NOTEID id;
        WORD noteClass;
        int64_t modified;
        bool stub;
        ORIGINATORID oid;
    };
    // Notes and stubs modified at or after `since` (ticks), in id order.
    std::vector<Entry> changedSince(int64_t since);
    std::vector<NOTEID> documents();

    // Folders are design notes of class VIEW with "$Name"; "$Flags" holds 'F' for a folder.
    std::optional<NOTEID> findDesign(const std::string& name, WORD noteClass);
    std::vector<NOTEID> folders();
    NOTEID createFolder(const std::string& name, bool isFolder);
    std::set<NOTEID> folderDocs(NOTEID folder);
    void folderAdd(NOTEID folder, const std::set<NOTEID>& notes);
    void folderRemove(NOTEID folder, const std::set<NOTEID>& notes);

    std::set<NOTEID> unread(const std::string& user);
    bool hasUnread(const std::string& user);
    void setUnread(const std::string& user, NOTEID id, bool unread);

    void addPerson(const Person& person);
    // People whose full name, common name, short name or internet address is `name`
    // (any case).
    std::vector<Person> findPeople(const std::string& name);

private:
    std::filesystem::path file_;
    platform::syncmgr::sql::Database db_;
};

// The common name of "CN=Ann Lee/O=Tess" ("Ann Lee"); a name that is not distinguished
// stays as it is.
std::string commonName(const std::string& name);

}  // namespace platform::notes
