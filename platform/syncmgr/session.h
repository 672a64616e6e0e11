#pragma once
// The state one process keeps between the sync manager's calls: the handheld file and
// the users' file it reaches, the open database handles, the conduit registration, the
// status text, the yield hook, the session's user and the captured log. One lock guards
// it; the calls are short.
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "platform/syncmgr/user_store.h"

namespace platform::syncmgr {

struct OpenDatabase {
    int64_t id = 0;
    uint8_t mode = 0;
};

struct Session {
    std::mutex mutex;
    std::string handheldName = "default";
    std::unique_ptr<HandheldStore> handheldStore;
    std::string rootSetting;  // $TESSALINE_HOME when the handheld was opened
    std::unique_ptr<UserStore> userStore;
    std::map<uint8_t, OpenDatabase> open;
    bool registered = false;
    SyncConduitHandle registration = 0;
    std::string status;
    std::function<void(uint16_t)> yieldHook;
    int user = 0;
    std::vector<LogLine> log;

    // The current handheld, opened (and created) on first use and again after the runtime
    // root changed; open handles do not survive a change of file.
    HandheldStore& handheld();
    // The users' file, made when missing.
    UserStore& users();
};

Session& session();

// Runs one call under the session lock: counts it for failure injection (an injected
// failure returns its code, or ends the process, before anything is done), and turns a storage failure into
// SYNCERR_STORAGE with a line on stderr.
template <class F>
int handheldCall(const char* operation, F&& body) {
    Session& s = session();
    try {
        std::lock_guard<std::mutex> lock(s.mutex);
        HandheldStore& h = s.handheld();
        struct EndCall {
            HandheldStore& h;
            ~EndCall() { h.endCall(); }
        } endCall{h};
        if (int code = h.takeInjectedFailure(operation)) {
            if (code == HandheldStore::kKillProcess) std::raise(SIGKILL);
            return code;
        }
        return body(s, h);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "syncmgr: %s: %s\n", operation, e.what());
        return SYNCERR_STORAGE;
    }
}

// The same for the calls on the users' file (no failure injection).
template <class F>
int userCall(const char* operation, F&& body) {
    Session& s = session();
    try {
        std::lock_guard<std::mutex> lock(s.mutex);
        return body(s, s.users());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "syncmgr: %s: %s\n", operation, e.what());
        return SYNCERR_STORAGE;
    }
}

// Copies text into (buffer, *size) as the text calls document.
int copyText(const std::string& text, char* buffer, int* size);

}  // namespace platform::syncmgr
