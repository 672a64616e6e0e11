// The sync log: one text file per user that the user reads after an operation, and an
// in-memory copy of every line for tests.
#include <cstdio>
#include <ctime>
#include <fstream>

#include "platform/syncmgr/session.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/text_encoding.h"

namespace platform::syncmgr {

namespace {

std::filesystem::path logPath(UserStore& users, int userId) {
    UserEntry e;
    if (userId != 0 && users.user(userId, &e) == SYNC_OK) return users.directory() / e.folder / "Tallyhop.log";
    return users.directory() / "Tallyhop.log";
}

}  // namespace

std::filesystem::path syncLogPath(int userId) {
    std::filesystem::path path;
    userCall("syncLogPath", [&](Session&, UserStore& u) {
        path = logPath(u, userId);
        return int{SYNC_OK};
    });
    return path;
}

}  // namespace platform::syncmgr

int SyncLogAddLine(const char* text, int activity, int /*flags*/) {
    using namespace platform::syncmgr;
    return userCall("SyncLogAddLine", [&](Session& s, UserStore& u) {
        if (!text) return int{SYNCERR_BAD_ARGUMENT};
        s.log.push_back({text, activity});

        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::ofstream out(logPath(u, s.user), std::ios::app | std::ios::binary);
        // The file is for the user's eyes: UTF-8, or the bytes as given when they are not
        // Windows-1252.
        std::string line = text;
        convertText("WINDOWS-1252", "UTF-8", text, &line);
        out << stamp << " [" << activity << "] " << line << '\n';
        return out.good() ? int{SYNC_OK} : int{SYNCERR_STORAGE};
    });
}
