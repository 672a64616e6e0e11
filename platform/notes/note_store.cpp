#include "platform/notes/note_store.h"

#include <strings.h>

#include <chrono>
#include <cstring>
#include <random>

namespace platform::notes {

using platform::syncmgr::sql::Transaction;

const Item* NoteData::find(const std::string& name) const {
    for (const auto& item : items)
        if (strcasecmp(item.name.c_str(), name.c_str()) == 0) return &item;
    return nullptr;
}

Item* NoteData::find(const std::string& name) {
    return const_cast<Item*>(static_cast<const NoteData*>(this)->find(name));
}

void NoteData::set(const std::string& name, WORD type, std::string value) {
    remove(name);
    items.push_back({name, type, std::move(value)});
}

void NoteData::remove(const std::string& name) {
    std::erase_if(items, [&](const Item& i) { return strcasecmp(i.name.c_str(), name.c_str()) == 0; });
}

int64_t toTicks(const TIMEDATE& td) {
    return static_cast<int64_t>((static_cast<uint64_t>(td.Innards[1]) << 32) | td.Innards[0]);
}

TIMEDATE fromTicks(int64_t ticks) {
    const auto u = static_cast<uint64_t>(ticks);
    return TIMEDATE{{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)}};
}

TIMEDATE nowTimeDate() {
    using namespace std::chrono;
    return fromTicks(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() / 10);
}

static void putWord(std::string& out, WORD w) {
    out.push_back(static_cast<char>(w & 0xFF));
    out.push_back(static_cast<char>(w >> 8));
}

static WORD getWord(const std::string& in, size_t at) {
    return static_cast<WORD>(static_cast<uint8_t>(in[at]) | (static_cast<uint8_t>(in[at + 1]) << 8));
}

std::string encodeTextList(const std::vector<std::string>& texts) {
    std::string out;
    putWord(out, static_cast<WORD>(texts.size()));
    for (const auto& t : texts) putWord(out, static_cast<WORD>(std::min<size_t>(t.size(), 0xFFFF)));
    for (const auto& t : texts) out += t.substr(0, 0xFFFF);
    return out;
}

std::vector<std::string> decodeTextList(const std::string& value) {
    std::vector<std::string> out;
    if (value.size() < 2) return out;
    const WORD count = getWord(value, 0);
    size_t text = 2 + 2 * static_cast<size_t>(count);
    if (text > value.size()) return out;
    for (WORD i = 0; i < count; ++i) {
        const WORD len = getWord(value, 2 + 2 * static_cast<size_t>(i));
        if (text + len > value.size()) break;
        out.push_back(value.substr(text, len));
        text += len;
    }
    return out;
}

std::string commonName(const std::string& name) {
    if (strncasecmp(name.c_str(), "CN=", 3) != 0) return name;
    const size_t slash = name.find('/');
    return name.substr(3, slash == std::string::npos ? std::string::npos : slash - 3);
}

NoteDb::NoteDb(const std::filesystem::path& file, bool create) : file_(file), db_(file, create) {
    db_.exec(
        "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE IF NOT EXISTS acl(name TEXT PRIMARY KEY COLLATE NOCASE, level INTEGER);"
        "CREATE TABLE IF NOT EXISTS notes(id INTEGER PRIMARY KEY AUTOINCREMENT, class INTEGER, oid BLOB,"
        " modified INTEGER);"
        "CREATE TABLE IF NOT EXISTS items(note INTEGER, pos INTEGER, name TEXT, type INTEGER, value BLOB,"
        " PRIMARY KEY(note, pos));"
        "CREATE TABLE IF NOT EXISTS folder_docs(folder INTEGER, note INTEGER, PRIMARY KEY(folder, note));"
        "CREATE TABLE IF NOT EXISTS unread(user TEXT COLLATE NOCASE, note INTEGER, PRIMARY KEY(user, note));"
        "CREATE TABLE IF NOT EXISTS unread_users(user TEXT PRIMARY KEY COLLATE NOCASE);"
        "CREATE TABLE IF NOT EXISTS stubs(id INTEGER PRIMARY KEY, class INTEGER, oid BLOB, modified INTEGER);"
        "CREATE TABLE IF NOT EXISTS people(full_name TEXT COLLATE NOCASE, short_name TEXT COLLATE NOCASE,"
        " address TEXT COLLATE NOCASE, mail_file TEXT);");
    if (meta("replica").empty()) {
        std::random_device rd;
        setMeta("replica", std::to_string((static_cast<uint64_t>(rd()) << 32) | rd()));
    }
}

std::string NoteDb::meta(const std::string& key) const {
    auto& db = const_cast<platform::syncmgr::sql::Database&>(db_);
    auto q = db.prepare("SELECT value FROM meta WHERE key = ?");
    q->bind(1, key);
    return q->step() ? q->text(0) : std::string();
}

void NoteDb::setMeta(const std::string& key, const std::string& value) {
    auto q = db_.prepare("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
    q->bind(1, key).bind(2, value).run();
}

WORD NoteDb::access(const std::string& user) const {
    auto& db = const_cast<platform::syncmgr::sql::Database&>(db_);
    for (const std::string& name : {user, commonName(user), std::string("-Default-")}) {
        auto q = db.prepare("SELECT level FROM acl WHERE name = ?");
        q->bind(1, name);
        if (q->step()) return static_cast<WORD>(q->integer(0));
    }
    return ACL_NOACCESS;
}

void NoteDb::setAccess(const std::string& user, WORD level) {
    db_.prepare("INSERT OR REPLACE INTO acl(name, level) VALUES(?, ?)")->bind(1, user).bind(2, level).run();
}

// The universal id and sequence as nine little-endian words.
static std::string oidBytes(const ORIGINATORID& oid) {
    const DWORD words[9] = {oid.File[0],
                            oid.File[1],
                            oid.Note[0],
                            oid.Note[1],
                            oid.Sequence,
                            oid.SequenceTime.Innards[0],
                            oid.SequenceTime.Innards[1],
                            0,
                            0};
    std::string out;
    for (DWORD w : words)
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((w >> shift) & 0xFF));
    return out;
}

static ORIGINATORID oidFrom(const std::vector<uint8_t>& bytes) {
    ORIGINATORID oid{};
    if (bytes.size() != 36) return oid;
    DWORD w[9];
    for (int i = 0; i < 9; ++i)
        w[i] = bytes[4 * i] | (bytes[4 * i + 1] << 8) | (bytes[4 * i + 2] << 16) | (DWORD(bytes[4 * i + 3]) << 24);
    oid.File[0] = w[0], oid.File[1] = w[1], oid.Note[0] = w[2], oid.Note[1] = w[3], oid.Sequence = w[4];
    oid.SequenceTime.Innards[0] = w[5], oid.SequenceTime.Innards[1] = w[6];
    return oid;
}

std::optional<NoteData> NoteDb::load(NOTEID id) {
    NoteData note;
    {
        auto q = db_.prepare("SELECT class, oid, modified FROM notes WHERE id = ?");
        q->bind(1, id);
        if (!q->step()) return std::nullopt;
        note.id = id;
        note.noteClass = static_cast<WORD>(q->integer(0));
        note.oid = oidFrom(q->blob(1));
        note.modified = fromTicks(q->integer(2));
    }
    auto q = db_.prepare("SELECT name, type, value FROM items WHERE note = ? ORDER BY pos");
    q->bind(1, id);
    while (q->step()) {
        const auto bytes = q->blob(2);
        note.items.push_back({q->text(0), static_cast<WORD>(q->integer(1)), std::string(bytes.begin(), bytes.end())});
    }
    return note;
}

bool NoteDb::isStub(NOTEID id) {
    auto q = db_.prepare("SELECT 1 FROM stubs WHERE id = ?");
    q->bind(1, id);
    return q->step();
}

ORIGINATORID NoteDb::newOid() {
    static std::mt19937_64 random{std::random_device{}()};
    ORIGINATORID oid{};
    const uint64_t replica = std::stoull(meta("replica"));
    oid.File[0] = static_cast<DWORD>(replica);
    oid.File[1] = static_cast<DWORD>(replica >> 32);
    const uint64_t r = random();
    oid.Note[0] = static_cast<DWORD>(r);
    oid.Note[1] = static_cast<DWORD>(r >> 32);
    oid.Sequence = 1;
    oid.SequenceTime = nowTimeDate();
    return oid;
}

void NoteDb::store(NoteData& note) {
    Transaction tx(db_);
    note.modified = nowTimeDate();
    const bool isNew = note.id == 0 || (note.id & NOTEID_ADD) || !load(note.id);
    if (note.oid.Note[0] == 0 && note.oid.Note[1] == 0) note.oid = newOid();
    if (isNew) {
        auto q = db_.prepare("INSERT INTO notes(class, oid, modified) VALUES(?, ?, ?)");
        const std::string oid = oidBytes(note.oid);
        q->bind(1, note.noteClass).bindBlob(2, oid.data(), oid.size()).bind(3, toTicks(note.modified)).run();
        note.id = static_cast<NOTEID>(db_.lastInsertId());
    } else {
        ++note.oid.Sequence;
        note.oid.SequenceTime = note.modified;
        const std::string oid = oidBytes(note.oid);
        db_.prepare("UPDATE notes SET class = ?, oid = ?, modified = ? WHERE id = ?")
            ->bind(1, note.noteClass)
            .bindBlob(2, oid.data(), oid.size())
            .bind(3, toTicks(note.modified))
            .bind(4, note.id)
            .run();
        db_.prepare("DELETE FROM items WHERE note = ?")->bind(1, note.id).run();
    }
    int pos = 0;
    for (const auto& item : note.items) {
        db_.prepare("INSERT INTO items(note, pos, name, type, value) VALUES(?, ?, ?, ?, ?)")
            ->bind(1, note.id)
            .bind(2, pos++)
            .bind(3, item.name)
            .bind(4, item.type)
            .bindBlob(5, item.value.data(), item.value.size())
            .run();
    }
    tx.commit();
}

bool NoteDb::remove(NOTEID id, bool stub) {
    Transaction tx(db_);
    auto note = load(id);
    if (!note) return false;
    db_.prepare("DELETE FROM items WHERE note = ?")->bind(1, id).run();
    db_.prepare("DELETE FROM notes WHERE id = ?")->bind(1, id).run();
    db_.prepare("DELETE FROM folder_docs WHERE note = ? OR folder = ?")->bind(1, id).bind(2, id).run();
    db_.prepare("DELETE FROM unread WHERE note = ?")->bind(1, id).run();
    if (stub) {
        const std::string oid = oidBytes(note->oid);
        db_.prepare("INSERT OR REPLACE INTO stubs(id, class, oid, modified) VALUES(?, ?, ?, ?)")
            ->bind(1, id)
            .bind(2, note->noteClass)
            .bindBlob(3, oid.data(), oid.size())
            .bind(4, toTicks(nowTimeDate()))
            .run();
    }
    tx.commit();
    return true;
}

std::vector<NoteDb::Entry> NoteDb::changedSince(int64_t since) {
    std::vector<Entry> out;
    auto q = db_.prepare(
        "SELECT id, class, modified, 0, oid FROM notes WHERE modified >= ?1 UNION ALL "
        "SELECT id, class, modified, 1, oid FROM stubs WHERE modified >= ?1 ORDER BY 1");
    q->bind(1, since);
    while (q->step())
        out.push_back({static_cast<NOTEID>(q->integer(0)), static_cast<WORD>(q->integer(1)), q->integer(2),
                       q->integer(3) != 0, oidFrom(q->blob(4))});
    return out;
}

std::vector<NOTEID> NoteDb::documents() {
    std::vector<NOTEID> out;
    auto q = db_.prepare("SELECT id FROM notes WHERE class = ? ORDER BY id");
    q->bind(1, NOTE_CLASS_DOCUMENT);
    while (q->step()) out.push_back(static_cast<NOTEID>(q->integer(0)));
    return out;
}

std::optional<NOTEID> NoteDb::findDesign(const std::string& name, WORD noteClass) {
    auto q = db_.prepare(
        "SELECT notes.id FROM notes JOIN items ON items.note = notes.id WHERE notes.class = ? AND "
        "items.name = '$Name' AND items.value = CAST(? AS BLOB) COLLATE NOCASE ORDER BY notes.id");
    q->bind(1, noteClass).bind(2, name);
    if (q->step()) return static_cast<NOTEID>(q->integer(0));
    return std::nullopt;
}

std::vector<NOTEID> NoteDb::folders() {
    std::vector<NOTEID> out;
    auto q = db_.prepare(
        "SELECT notes.id FROM notes JOIN items ON items.note = notes.id WHERE notes.class = ? AND "
        "items.name = '$Flags' AND instr(CAST(items.value AS TEXT), 'F') > 0 ORDER BY notes.id");
    q->bind(1, NOTE_CLASS_VIEW);
    while (q->step()) out.push_back(static_cast<NOTEID>(q->integer(0)));
    return out;
}

NOTEID NoteDb::createFolder(const std::string& name, bool isFolder) {
    NoteData note;
    note.noteClass = NOTE_CLASS_VIEW;
    note.set("$Name", TYPE_TEXT, name);
    note.set("$Flags", TYPE_TEXT, isFolder ? "FY" : "Y");
    store(note);
    return note.id;
}

std::set<NOTEID> NoteDb::folderDocs(NOTEID folder) {
    std::set<NOTEID> out;
    auto q = db_.prepare("SELECT note FROM folder_docs WHERE folder = ?");
    q->bind(1, folder);
    while (q->step()) out.insert(static_cast<NOTEID>(q->integer(0)));
    return out;
}

void NoteDb::folderAdd(NOTEID folder, const std::set<NOTEID>& notes) {
    Transaction tx(db_);
    for (NOTEID id : notes)
        db_.prepare("INSERT OR IGNORE INTO folder_docs(folder, note) VALUES(?, ?)")->bind(1, folder).bind(2, id).run();
    tx.commit();
}

void NoteDb::folderRemove(NOTEID folder, const std::set<NOTEID>& notes) {
    Transaction tx(db_);
    for (NOTEID id : notes)
        db_.prepare("DELETE FROM folder_docs WHERE folder = ? AND note = ?")->bind(1, folder).bind(2, id).run();
    tx.commit();
}

std::set<NOTEID> NoteDb::unread(const std::string& user) {
    std::set<NOTEID> out;
    auto q = db_.prepare("SELECT note FROM unread WHERE user = ?");
    q->bind(1, user);
    while (q->step()) out.insert(static_cast<NOTEID>(q->integer(0)));
    return out;
}

bool NoteDb::hasUnread(const std::string& user) {
    auto q = db_.prepare("SELECT 1 FROM unread_users WHERE user = ?");
    q->bind(1, user);
    return q->step();
}

void NoteDb::setUnread(const std::string& user, NOTEID id, bool unread) {
    db_.prepare("INSERT OR IGNORE INTO unread_users(user) VALUES(?)")->bind(1, user).run();
    if (id == 0) return;
    if (unread)
        db_.prepare("INSERT OR IGNORE INTO unread(user, note) VALUES(?, ?)")->bind(1, user).bind(2, id).run();
    else
        db_.prepare("DELETE FROM unread WHERE user = ? AND note = ?")->bind(1, user).bind(2, id).run();
}

void NoteDb::addPerson(const Person& p) {
    db_.prepare("INSERT INTO people(full_name, short_name, address, mail_file) VALUES(?, ?, ?, ?)")
        ->bind(1, p.fullName)
        .bind(2, p.shortName)
        .bind(3, p.internetAddress)
        .bind(4, p.mailFile)
        .run();
}

std::vector<Person> NoteDb::findPeople(const std::string& name) {
    std::vector<Person> out;
    auto q = db_.prepare("SELECT full_name, short_name, address, mail_file FROM people ORDER BY rowid");
    while (q->step()) {
        Person p{q->text(0), q->text(1), q->text(2), q->text(3)};
        for (const std::string& key : {p.fullName, commonName(p.fullName), p.shortName, p.internetAddress}) {
            if (!key.empty() && strcasecmp(key.c_str(), name.c_str()) == 0) {
                out.push_back(p);
                break;
            }
        }
    }
    return out;
}

}  // namespace platform::notes
