#include "platform/syncmgr/session.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/core/runtime.h"

namespace platform::syncmgr {

Session& session() {
    static Session instance;
    return instance;
}

HandheldStore& Session::handheld() {
    // Comparing the setting, not the resolved root, spares a file-system call per record.
    // A view, not a copy: a home's path is too long for a string kept inline.
    const char* home = std::getenv("TESSALINE_HOME");
    const std::string_view setting = home ? home : "";
    if (!handheldStore || setting != rootSetting) {
        open.clear();
        handheldStore.reset();
        handheldStore = std::make_unique<HandheldStore>(handheldName, true);
        rootSetting = setting;
    }
    return *handheldStore;
}

UserStore& Session::users() {
    std::filesystem::path dir = syncManagerDirectory();
    if (!userStore || userStore->directory() != dir) userStore = std::make_unique<UserStore>(dir, true);
    return *userStore;
}

int copyText(const std::string& text, char* buffer, int* size) {
    if (!buffer || !size || *size <= 0) return SYNCERR_BAD_ARGUMENT;
    if (text.size() + 1 > static_cast<size_t>(*size)) {
        buffer[0] = '\0';
        *size = static_cast<int>(text.size() + 1);
        return SYNCERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *size = static_cast<int>(text.size());
    return SYNC_OK;
}

// ---- control --------------------------------------------------------------------------

void useHandheld(const std::string& name) {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (name == s.handheldName) return;
    s.handheldName = name;
    s.open.clear();
    s.handheldStore.reset();
}

std::string currentHandheld() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.handheldName;
}

void resetSession() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.open.clear();
    s.handheldStore.reset();
    s.userStore.reset();
    s.registered = false;
    s.registration = 0;
    s.status.clear();
    s.yieldHook = nullptr;
    s.user = 0;
    s.log.clear();
}

void setYieldHook(std::function<void(uint16_t)> hook) {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.yieldHook = std::move(hook);
}

std::string statusText() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.status;
}

bool conduitRegistered() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.registered;
}

void setSessionUser(int userId) {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.user = userId;
}

int sessionUser() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.user;
}

std::vector<LogLine> capturedLog() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.log;
}

void clearCapturedLog() {
    Session& s = session();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.clear();
}

std::filesystem::path syncManagerDirectory() { return platform::runtimeRoot() / "syncmgr"; }

int addUser(const std::string& name, int* userId) {
    return userCall("addUser", [&](Session&, UserStore& u) { return u.addUser(name, userId); });
}

std::filesystem::path userDirectory(int userId) {
    std::filesystem::path dir;
    userCall("userDirectory", [&](Session&, UserStore& u) {
        UserEntry e;
        int rc = u.user(userId, &e);
        if (rc == SYNC_OK) dir = u.directory() / e.folder;
        return rc;
    });
    return dir;
}

int registerConduit(const ConduitRegistration& conduit) {
    return userCall("registerConduit", [&](Session&, UserStore& u) { return u.registerConduit(conduit); });
}

}  // namespace platform::syncmgr
