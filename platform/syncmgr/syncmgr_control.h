#pragma once
// Set-up and observation of the sync manager stand-in for tools and tests: which handheld
// the calls reach, the users and conduit registrations, the yield hook, the status text
// and the captured sync log. Not part of what conduits call.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/export.h"

namespace platform::syncmgr {

// The handheld the calls of this process reach ("default" until changed). Changing it,
// or a change of the runtime root, closes every open database handle.
TESS_EXPORT void useHandheld(const std::string& name);
TESS_EXPORT std::string currentHandheld();

// Forgets this process's session: open databases, the conduit registration, the status
// text, the yield hook, the session's user and the captured log.
TESS_EXPORT void resetSession();

// Called by SyncYieldCycles with its argument; an empty function removes the hook.
TESS_EXPORT void setYieldHook(std::function<void(uint16_t)> hook);
TESS_EXPORT std::string statusText();
TESS_EXPORT bool conduitRegistered();

// The user of the current session: the sync log goes to that user's folder.
TESS_EXPORT void setSessionUser(int userId);
TESS_EXPORT int sessionUser();

struct LogLine {
    std::string text;
    int activity = 0;
};
// Every sync-log line this process wrote, in order.
TESS_EXPORT std::vector<LogLine> capturedLog();
TESS_EXPORT void clearCapturedLog();
// The log file lines of a user go to (0: no user).
TESS_EXPORT std::filesystem::path syncLogPath(int userId);

// <runtime root>/syncmgr: the sync manager's directory, its file and the users' folders.
TESS_EXPORT std::filesystem::path syncManagerDirectory();

// Adds a desktop user and makes its folder (named after the user, made unique).
TESS_EXPORT int addUser(const std::string& name, int* userId);
// The user's folder path.
TESS_EXPORT std::filesystem::path userDirectory(int userId);

struct ConduitRegistration {
    uint32_t creator = 0;
    std::string name;
    int priority = 2;
    std::string library;    // file name the module loader resolves ("Gatehouse.dll")
    std::string directory;  // folder name inside each user's folder
    std::string remoteDb;   // the handheld database the conduit is for
    std::string title;
    std::string arguments;
    std::string information;
};
// Registers (or replaces) the conduit of a creator.
TESS_EXPORT int registerConduit(const ConduitRegistration& conduit);

}  // namespace platform::syncmgr
