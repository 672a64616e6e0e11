#pragma once
// The sync manager's own file, <sync manager directory>/syncmgr.db: the desktop users,
// their data stores, their synchronisation actions per conduit, and the conduits'
// registrations. Methods return SYNC_OK or a SYNCERR_ code; storage failures throw
// sql::StorageError.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/syncmgr/syncmgr_control.h"

namespace platform::syncmgr {

namespace sql {
class Database;
}

struct UserEntry {
    int id = 0;
    std::string name;
    std::string folder;
};

class UserStore {
public:
    // Opens <directory>/syncmgr.db; create makes the directory and the file when missing.
    UserStore(const std::filesystem::path& directory, bool create);
    ~UserStore();
    UserStore(const UserStore&) = delete;
    UserStore& operator=(const UserStore&) = delete;

    const std::filesystem::path& directory() const { return directory_; }

    int addUser(const std::string& name, int* userId);
    std::vector<UserEntry> users();
    int user(int userId, UserEntry* out);

    struct Value {
        bool isText = false;
        std::string text;
        int64_t number = 0;
    };
    int readValue(int userId, const std::string& section, const std::string& key, Value* out);
    int writeValue(int userId, const std::string& section, const std::string& key, const Value& value);
    int deleteValue(int userId, const std::string& section, const std::string& key);

    // which: 0 permanent, 1 next operation.
    int readAction(int userId, uint32_t creator, int which, int* value);
    int writeAction(int userId, uint32_t creator, int which, int value);

    int registerConduit(const ConduitRegistration& conduit);
    int conduit(uint32_t creator, ConduitRegistration* out);

private:
    std::filesystem::path directory_;
    std::unique_ptr<sql::Database> db_;
};

}  // namespace platform::syncmgr
