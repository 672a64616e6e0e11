#include "tools/handheld_app/handheld_app.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>

#include "common/handheld_database.h"
#include "common/handheld_records.h"
#include "common/message_record_codec.h"
#include "platform/syncmgr/handheld_store.h"

namespace handheld_app {
namespace {

constexpr uint32_t kCreator = SYNC_FOURCC('a', 's', 'c', '3');
constexpr uint8_t kAttrDeleted = 0x80;
constexpr uint8_t kAttrDirty = 0x40;

struct Db {
    const char* name;
    uint32_t type;
};
constexpr Db kDatabases[] = {
    {"Larkspur Messages", SYNC_FOURCC('D', 'a', 't', '5')},
    {"Larkspur Disconnected", SYNC_FOURCC('D', 'a', 't', '6')},
    {"Larkspur Attachments", SYNC_FOURCC('D', 'a', 't', '7')},
    {"Larkspur Part Plus", SYNC_FOURCC('D', 'a', 't', '8')},
};

int FindDb(platform::syncmgr::HandheldStore& store, const std::string& name, platform::syncmgr::DatabaseEntry* out) {
    return store.findDatabase(name, 0, out);
}

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}

int WritePref(platform::syncmgr::HandheldStore& store, int id, std::vector<uint8_t> data) {
    platform::syncmgr::PreferenceEntry p;
    p.creator = kCreator;
    p.id = uint16_t(id);
    p.backup = true;
    p.data = std::move(data);
    return store.writePreference(p);
}

int WriteText(platform::syncmgr::HandheldStore& store, int id, const std::string& text) {
    std::vector<uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    return WritePref(store, id, std::move(b));
}

int MessagesDb(platform::syncmgr::HandheldStore& store, platform::syncmgr::DatabaseEntry& db) {
    return FindDb(store, "Larkspur Messages", &db);
}

int ReadMessage(platform::syncmgr::HandheldStore& store, uint32_t recordId, platform::syncmgr::DatabaseEntry& db,
                HandheldRecord& rec, CMsg& msg, int& account) {
    if (int rc = MessagesDb(store, db)) return rc;
    platform::syncmgr::RecordEntry e;
    if (int rc = store.readRecordById(db.id, recordId, &e)) return rc;
    rec.id = e.id;
    rec.attributes = e.attributes;
    rec.category = e.category;
    rec.data = e.data;
    account = UnpackMessageRecord(rec, msg);
    return 0;
}

uint32_t Uid(const CMsg& m) {
    int32_t n = 0;
    const uint8_t* b = m.hostId.GetData(&n);
    return n < 4 ? 0 : uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// The id a non-IMAP action names: the first part of the stored id text.
std::string IdForAction(const CMsg& m) {
    int32_t n = 0;
    const uint8_t* b = m.msgId.GetData(&n);
    const std::string text(reinterpret_cast<const char*>(b), size_t(std::max(0, n)));
    return text.substr(0, text.find('\x01'));
}

// The name the account's folder preference gives the category's slot.
std::string FolderName(platform::syncmgr::HandheldStore& store, int account, int category) {
    platform::syncmgr::PreferenceEntry p;
    if (category < 0 || category > 15 || store.readPreference(kCreator, uint16_t(account + 160), true, &p) != SYNC_OK)
        return "Inbox";
    const size_t at = 2 + size_t(category) * 16;
    if (p.data.size() < at + 16) return "Inbox";
    const char* name = reinterpret_cast<const char*>(p.data.data() + at);
    return std::string(name, strnlen(name, 16));
}

}  // namespace

int CreateMailDatabases(const std::string& handheld, uint16_t version) {
    platform::syncmgr::HandheldStore store(handheld, true);
    for (const Db& d : kDatabases) {
        platform::syncmgr::DatabaseEntry e;
        if (FindDb(store, d.name, &e) == SYNC_OK) {
            // The application upgrades its databases in place.
            store.deleteAllRecords(e.id);
            continue;
        }
        if (int rc = store.createDatabase(d.name, kCreator, d.type, version, 0, 0, nullptr)) return rc;
    }
    return SYNC_OK;
}

int SetFreeSpace(const std::string& handheld, uint32_t freeBytes) {
    platform::syncmgr::HandheldStore store(handheld, true);
    const platform::syncmgr::CardEntry card = store.card();
    store.setCard(card.romSize, uint32_t(card.usedBytes) + freeBytes, card.name, card.manufacturer);
    return SYNC_OK;
}

int SetCardSize(const std::string& handheld, uint32_t bytes) {
    platform::syncmgr::HandheldStore store(handheld, true);
    const platform::syncmgr::CardEntry card = store.card();
    store.setCard(card.romSize, bytes, card.name, card.manufacturer);
    return SYNC_OK;
}

static std::vector<uint8_t> AccountRecord(const AccountSetup& a) {
    std::vector<uint8_t> record(180, 0);
    PutU16(record, 0, a.protocolWord);
    record[2] = 1;
    PutU16(record, 4, a.port);
    PutU16(record, 6, 5);
    record[9] = record[10] = 1;
    PutU16(record, 32, a.smtpPort);
    record[40] = record[52] = 1;
    std::copy_n(a.trashFolder.begin(), std::min<size_t>(a.trashFolder.size(), 15), record.begin() + 96);
    std::copy_n("Sent", 4, record.begin() + 79);
    record[128] = a.smtpLogin ? 1 : 0;
    record[134] = a.connectionType;
    return record;
}

int ConfigureAccount(const std::string& handheld, const AccountSetup& a) {
    platform::syncmgr::HandheldStore store(handheld, true);
    const int n = a.number;
    // The application keeps a record for each of its eight account slots.
    for (int slot = 0; slot < 8; ++slot) {
        platform::syncmgr::PreferenceEntry existing;
        if (slot != n && store.readPreference(kCreator, uint16_t(slot), true, &existing) != SYNC_OK) {
            AccountSetup empty;
            empty.protocolWord = 0;
            empty.port = 110;
            if (int rc = WritePref(store, slot, AccountRecord(empty))) return rc;
        }
    }
    if (int rc = WritePref(store, n, AccountRecord(a))) return rc;
    const std::pair<int, const std::string*> texts[] = {{16, &a.name},     {15, &a.server},     {17, &a.user},
                                                        {18, &a.password}, {10, &a.smtpServer}, {12, &a.email}};
    for (const auto& [k, text] : texts)
        if (int rc = WriteText(store, n * 19 + k, *text)) return rc;
    std::vector<uint8_t> folders(278, 0);
    for (size_t i = 0; i < a.folders.size() && i < 16; ++i)
        std::copy_n(a.folders[i].begin(), std::min<size_t>(a.folders[i].size(), 15), folders.begin() + 2 + i * 16);
    return WritePref(store, n + 160, folders);
}

int ComposeOutbox(const std::string& handheld, int account, const std::string& to, const std::string& subject,
                  const std::string& body, const std::vector<std::string>& attachments, uint32_t* recordId) {
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry messages, files;
    if (int rc = MessagesDb(store, messages)) return rc;
    CMsg m;
    // The application writes the account's own address as the sender.
    platform::syncmgr::PreferenceEntry email;
    if (store.readPreference(kCreator, uint16_t(account * 19 + 12), true, &email) == SYNC_OK && !email.data.empty())
        m.From.assign(reinterpret_cast<const char*>(email.data.data()),
                      strnlen(reinterpret_cast<const char*>(email.data.data()), email.data.size()));
    m.To = to;
    m.Subject = subject;
    m.Body = body;
    m.category = kOutbox;
    m.date = int32_t(std::time(nullptr));
    if (!attachments.empty()) {
        if (int rc = FindDb(store, "Larkspur Attachments", &files)) return rc;
        for (size_t i = 0; i < attachments.size() && i < size_t(kMaxPartIds); ++i) {
            CAttachmentChain chain;
            if (chain.MakeFromFile(attachments[i], false) != 0) return SYNCERR_NOT_FOUND;
            chain.SetAttachmentNumber(uint32_t(i + 1));
            for (size_t e = 0; e < chain.entries.size(); ++e) {
                HandheldRecord r;
                chain.entries[e].Pack(r);
                uint32_t id = 0;
                if (int rc = store.writeRecord(files.id, &id, kAttrDirty, account, r.data.data(), r.data.size()))
                    return rc;
                if (e == 0) m.partIds[i] = id;
            }
        }
    }
    HandheldRecord rec;
    PackMessageRecord(messages.version, rec, m, kMaxRecordBytes, account, false);
    uint32_t id = 0;
    if (int rc = store.writeRecord(messages.id, &id, kAttrDirty, kOutbox, rec.data.data(), rec.data.size())) return rc;
    if (recordId) *recordId = id;
    return SYNC_OK;
}

int RecordAction(const std::string& handheld, int account, int opcode, uint32_t uid, const std::string& arg1,
                 const std::string& arg2) {
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    if (int rc = FindDb(store, "Larkspur Disconnected", &db)) return rc;
    std::vector<uint8_t> r;
    for (uint32_t v : {uint32_t(opcode), uid})
        for (int s = 24; s >= 0; s -= 8) r.push_back(uint8_t(v >> s));
    r.insert(r.end(), arg1.begin(), arg1.end());
    r.push_back(0);
    r.insert(r.end(), arg2.begin(), arg2.end());
    r.push_back(0);
    uint32_t id = 0;
    return store.writeRecord(db.id, &id, kAttrDirty, account, r.data(), r.size());
}

namespace {

// What the user does to one message: its record changed in place, then the action that
// tells the desktop. change edits the record and names the action.
template <class Change>
int ChangeMessage(const std::string& handheld, uint32_t recordId, Change change) {
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    HandheldRecord rec;
    CMsg m;
    int account = 0;
    if (int rc = ReadMessage(store, recordId, db, rec, m, account)) return rc;
    if (account < 0) return SYNCERR_NOT_FOUND;
    const int opcode = change(rec);
    uint32_t id = rec.id;
    if (int rc = store.writeRecord(db.id, &id, rec.attributes, rec.category, rec.data.data(), rec.data.size()))
        return rc;
    const uint32_t uid = Uid(m);
    if (uid == 0) return RecordAction(handheld, account, opcode, 254, "", IdForAction(m));
    const bool named = opcode != kMarkRead && opcode != kMarkUnread;
    return RecordAction(handheld, account, opcode, uid, "", named ? FolderName(store, account, rec.category) : "");
}

}  // namespace

int DeleteMessage(const std::string& handheld, uint32_t recordId, int opcode) {
    return ChangeMessage(handheld, recordId, [opcode](HandheldRecord& rec) {
        rec.attributes |= kAttrDeleted;
        return opcode;
    });
}

int MarkRead(const std::string& handheld, uint32_t recordId, bool read) {
    return ChangeMessage(handheld, recordId, [read](HandheldRecord& rec) {
        if (rec.data.size() >= 20) rec.data[19] = read ? 1 : 0;  // the read word, big-endian
        rec.attributes |= kAttrDirty;
        return read ? kMarkRead : kMarkUnread;
    });
}

std::vector<Shown> ListFolder(const std::string& handheld, int category) {
    std::vector<Shown> out;
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    if (MessagesDb(store, db) != SYNC_OK) return out;
    for (const platform::syncmgr::RecordEntry& e : store.records(db.id)) {
        if (category != -1 && e.category != category) continue;
        HandheldRecord rec{e.id, e.attributes, e.category, e.data};
        Shown s;
        s.recordId = e.id;
        s.account = UnpackMessageRecord(rec, s.msg);
        if (s.account < 0) continue;
        out.push_back(std::move(s));
    }
    return out;
}

int RecordCount(const std::string& handheld, const std::string& database) {
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    if (FindDb(store, database, &db) != SYNC_OK) return -1;
    return int(store.recordCount(db.id));
}

int StoreKeyRecord(const std::string& handheld, const std::string& key) {
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    const std::string name = tess::HandheldDbName(tess::kDbSecurity);
    if (FindDb(store, name, &db) != SYNC_OK) {
        int64_t id = 0;
        if (int rc = store.createDatabase(name, kCreator, tess::HandheldDbType(tess::kDbSecurity), kDefaultDbVersion, 0, 0, &id))
            return rc;
        if (int rc = store.databaseById(id, &db)) return rc;
    }
    for (uint32_t n = store.recordCount(db.id); n >= 3; n = store.recordCount(db.id)) {
        platform::syncmgr::RecordEntry oldest;
        if (int rc = store.readRecordByIndex(db.id, 0, &oldest)) return rc;
        if (int rc = store.deleteRecord(db.id, oldest.id)) return rc;
    }
    uint32_t recordId = 0;
    return store.writeRecord(db.id, &recordId, 0, 0, reinterpret_cast<const uint8_t*>(key.data()), key.size());
}

int ReadKeyRecord(const std::string& handheld, std::string& key) {
    key.clear();
    platform::syncmgr::HandheldStore store(handheld, true);
    platform::syncmgr::DatabaseEntry db;
    if (FindDb(store, tess::HandheldDbName(tess::kDbSecurity), &db) != SYNC_OK) return SYNC_OK;
    const uint32_t n = store.recordCount(db.id);
    if (n == 0) return SYNC_OK;
    platform::syncmgr::RecordEntry newest;
    if (int rc = store.readRecordByIndex(db.id, n - 1, &newest)) return rc;
    const char* text = reinterpret_cast<const char*>(newest.data.data());
    key.assign(text, strnlen(text, newest.data.size()));
    return SYNC_OK;
}

}  // namespace handheld_app
