#include "platform/syncmgr/user_store.h"

#include <system_error>

#include "platform/syncmgr/sqlite_db.h"
#include "platform/syncmgr/syncmgr.h"

namespace platform::syncmgr {

namespace {

// A folder name from a user name: letters, digits, '-', '_' kept, anything else '_'.
std::string folderFor(const std::string& name) {
    std::string folder;
    for (unsigned char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        folder += ok ? static_cast<char>(c) : '_';
        if (folder.size() >= 32) break;
    }
    return folder.empty() ? std::string("user") : folder;
}

const char* const kActionColumn[] = {"permanent", "next"};

}  // namespace

UserStore::UserStore(const std::filesystem::path& directory, bool create) : directory_(directory) {
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(directory, ec);
    }
    db_ = std::make_unique<sql::Database>(directory / "syncmgr.db", create);
    db_->exec(
        "CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
        " folder TEXT NOT NULL UNIQUE COLLATE NOCASE);"
        "CREATE TABLE IF NOT EXISTS user_values(user INTEGER NOT NULL, section TEXT NOT NULL COLLATE NOCASE,"
        " key TEXT NOT NULL COLLATE NOCASE, is_text INTEGER NOT NULL, text_value TEXT, int_value INTEGER,"
        " PRIMARY KEY(user, section, key));"
        "CREATE TABLE IF NOT EXISTS sync_actions(user INTEGER NOT NULL, creator INTEGER NOT NULL,"
        " permanent INTEGER, next INTEGER, PRIMARY KEY(user, creator));"
        "CREATE TABLE IF NOT EXISTS conduits(creator INTEGER PRIMARY KEY, name TEXT NOT NULL,"
        " priority INTEGER NOT NULL, library TEXT NOT NULL, directory TEXT NOT NULL, remote_db TEXT NOT NULL,"
        " title TEXT NOT NULL, arguments TEXT NOT NULL, information TEXT NOT NULL);");
}

UserStore::~UserStore() = default;

int UserStore::addUser(const std::string& name, int* userId) {
    if (name.empty() || name.find('\0') != std::string::npos) return SYNCERR_BAD_ARGUMENT;
    sql::Transaction t(*db_);
    {
        auto q = db_->prepare("SELECT 1 FROM users WHERE name = ?");
        q->bind(1, name);
        if (q->step()) return SYNCERR_EXISTS;
    }
    std::string base = folderFor(name), folder = base;
    for (int n = 2;; ++n) {
        auto q = db_->prepare("SELECT 1 FROM users WHERE folder = ?");
        q->bind(1, folder);
        if (!q->step()) break;
        folder = base + std::to_string(n);
    }
    db_->prepare("INSERT INTO users(name, folder) VALUES(?, ?)")->bind(1, name).bind(2, folder).run();
    int id = static_cast<int>(db_->lastInsertId());
    std::error_code ec;
    std::filesystem::create_directories(directory_ / folder, ec);
    if (ec) return SYNCERR_STORAGE;  // rolled back with the user
    t.commit();
    if (userId) *userId = id;
    return SYNC_OK;
}

std::vector<UserEntry> UserStore::users() {
    std::vector<UserEntry> list;
    auto q = db_->prepare("SELECT id, name, folder FROM users ORDER BY id");
    while (q->step()) list.push_back({static_cast<int>(q->integer(0)), q->text(1), q->text(2)});
    return list;
}

int UserStore::user(int userId, UserEntry* out) {
    auto q = db_->prepare("SELECT id, name, folder FROM users WHERE id = ?");
    q->bind(1, int64_t{userId});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) *out = {static_cast<int>(q->integer(0)), q->text(1), q->text(2)};
    return SYNC_OK;
}

int UserStore::readValue(int userId, const std::string& section, const std::string& key, Value* out) {
    auto q = db_->prepare(
        "SELECT is_text, text_value, int_value FROM user_values WHERE user = ? AND section = ? AND key = ?");
    q->bind(1, int64_t{userId}).bind(2, section).bind(3, key);
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) {
        out->isText = q->integer(0) != 0;
        out->text = q->text(1);
        out->number = q->integer(2);
    }
    return SYNC_OK;
}

int UserStore::writeValue(int userId, const std::string& section, const std::string& key, const Value& value) {
    if (user(userId, nullptr) != SYNC_OK) return SYNCERR_NOT_FOUND;
    auto q = db_->prepare(
        "INSERT OR REPLACE INTO user_values(user, section, key, is_text, text_value, int_value) VALUES(?, ?, ?, ?, ?, "
        "?)");
    q->bind(1, int64_t{userId}).bind(2, section).bind(3, key).bind(4, int64_t{value.isText ? 1 : 0});
    if (value.isText)
        q->bind(5, value.text);
    else
        q->bind(6, value.number);
    q->run();
    return SYNC_OK;
}

int UserStore::deleteValue(int userId, const std::string& section, const std::string& key) {
    auto q = db_->prepare("DELETE FROM user_values WHERE user = ? AND section = ? AND key = ?");
    q->bind(1, int64_t{userId}).bind(2, section).bind(3, key).run();
    return db_->changes() ? SYNC_OK : SYNCERR_NOT_FOUND;
}

int UserStore::readAction(int userId, uint32_t creator, int which, int* value) {
    std::string sql =
        std::string("SELECT ") + kActionColumn[which ? 1 : 0] + " FROM sync_actions WHERE user = ? AND creator = ?";
    auto q = db_->prepare(sql.c_str());
    q->bind(1, int64_t{userId}).bind(2, int64_t{creator});
    if (!q->step() || q->isNull(0)) return SYNCERR_NOT_FOUND;
    *value = static_cast<int>(q->integer(0));
    return SYNC_OK;
}

int UserStore::writeAction(int userId, uint32_t creator, int which, int value) {
    if (user(userId, nullptr) != SYNC_OK) return SYNCERR_NOT_FOUND;
    std::string column = kActionColumn[which ? 1 : 0];
    sql::Transaction t(*db_);
    db_->prepare("INSERT OR IGNORE INTO sync_actions(user, creator) VALUES(?, ?)")
        ->bind(1, int64_t{userId})
        .bind(2, int64_t{creator})
        .run();
    std::string sql = "UPDATE sync_actions SET " + column + " = ? WHERE user = ? AND creator = ?";
    db_->prepare(sql.c_str())->bind(1, int64_t{value}).bind(2, int64_t{userId}).bind(3, int64_t{creator}).run();
    t.commit();
    return SYNC_OK;
}

int UserStore::registerConduit(const ConduitRegistration& c) {
    auto q = db_->prepare(
        "INSERT OR REPLACE INTO conduits(creator, name, priority, library, directory, remote_db, title, arguments,"
        " information) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q->bind(1, int64_t{c.creator}).bind(2, c.name).bind(3, int64_t{c.priority}).bind(4, c.library);
    q->bind(5, c.directory).bind(6, c.remoteDb).bind(7, c.title).bind(8, c.arguments).bind(9, c.information);
    q->run();
    return SYNC_OK;
}

int UserStore::conduit(uint32_t creator, ConduitRegistration* out) {
    auto q = db_->prepare(
        "SELECT name, priority, library, directory, remote_db, title, arguments, information FROM conduits"
        " WHERE creator = ?");
    q->bind(1, int64_t{creator});
    if (!q->step()) return SYNCERR_NOT_FOUND;
    if (out) {
        out->creator = creator;
        out->name = q->text(0);
        out->priority = static_cast<int>(q->integer(1));
        out->library = q->text(2);
        out->directory = q->text(3);
        out->remoteDb = q->text(4);
        out->title = q->text(5);
        out->arguments = q->text(6);
        out->information = q->text(7);
    }
    return SYNC_OK;
}

}  // namespace platform::syncmgr
