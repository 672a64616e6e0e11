#include "tools/tallyhop/sync_command.h"

#include <cstring>

#include "platform/core/module.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"
#include "tools/tallyhop/runtime_setup.h"

namespace tallyhop {
namespace {

constexpr uint32_t kMailCreator = SYNC_FOURCC('a', 's', 'c', '3');

const char* ActionName(int action) { return action == 3 ? "do nothing" : action == 0 ? "synchronise" : "other"; }

}  // namespace

int runAction(const SyncOptions& options, std::ostream& out, std::ostream& err) {
    int userId = 0;
    if (findUser(options.userName, &userId) != 0) {
        err << "tallyhop: no user '" << options.userName << "' (run tallyhop init)\n";
        return 1;
    }
    int permanent = 0, next = -1;
    RosterGetPermanentAction(userId, kMailCreator, &permanent);
    const bool hasNext = RosterGetNextAction(userId, kMailCreator, &next) == SYNC_OK;

    HMODULE conduit = LoadLibraryA("Gatehouse.dll");
    auto configure =
        conduit ? reinterpret_cast<int (*)(ConduitActionPrefs*)>(GetProcAddress(conduit, "ConfigureConduit")) : nullptr;
    if (!configure) {
        if (conduit) FreeLibrary(conduit);
        err << "tallyhop: the conduit entry Gatehouse cannot be loaded\n";
        return 1;
    }
    ConduitActionPrefs prefs{};
    prefs.creator = kMailCreator;
    prefs.userId = userId;
    prefs.action = (hasNext ? next : permanent) == 3 ? 6 : 0;
    const int rc = configure(&prefs);
    FreeLibrary(conduit);
    if (rc != 0) {
        err << "tallyhop: the conduit refused the user (" << rc << ")\n";
        return 1;
    }
    // The dialog speaks of 0 and 6; the sync manager keeps 0 and 3.
    const int chosen = prefs.action == 6 ? 3 : 0;
    if (prefs.defaultFlag == 1) {
        // A new default also stands for the next operation.
        RosterSetPermanentAction(userId, kMailCreator, chosen);
        if (hasNext) RosterSetNextAction(userId, kMailCreator, chosen);
        out << "Default action: " << ActionName(chosen) << "\n";
    } else if (prefs.defaultFlag == 2) {
        RosterSetNextAction(userId, kMailCreator, chosen);
        out << "Next operation: " << ActionName(chosen) << "\n";
    } else {
        out << "Unchanged: ";
        if (hasNext) out << ActionName(next) << " next time, ";
        out << ActionName(permanent) << " by default\n";
    }
    return 0;
}

int runSync(const SyncOptions& options, std::ostream& out, std::ostream& err) {
    if (!platform::syncmgr::HandheldStore::exists(options.handheld)) {
        err << "tallyhop: no handheld '" << options.handheld << "' (run tallyhop init)\n";
        return 1;
    }
    int userId = 0;
    if (findUser(options.userName, &userId) != 0) {
        err << "tallyhop: no user '" << options.userName << "' (run tallyhop init)\n";
        return 1;
    }
    platform::syncmgr::useHandheld(options.handheld);
    platform::syncmgr::setSessionUser(userId);

    SyncProperties props{};
    int action = 0, permanent = 0;
    RosterGetPermanentAction(userId, kMailCreator, &permanent);
    const bool once = RosterGetNextAction(userId, kMailCreator, &action) == SYNC_OK;
    if (!once) action = permanent;
    // The preference says 3 for "do nothing"; the operation's type for that is 6.
    props.syncType = action == 3 ? 6 : 0;
    char folder[256];
    int size = sizeof folder;
    std::string path = platform::syncmgr::userDirectory(userId).string();
    if (QuayGetConduitDirectory(kMailCreator, folder, &size) == SYNC_OK) path += "/" + std::string(folder) + "/";
    std::snprintf(props.path, sizeof props.path, "%s", path.c_str());

    HMODULE conduit = LoadLibraryA("Gatehouse.dll");
    if (!conduit) {
        err << "tallyhop: the conduit entry Gatehouse cannot be loaded\n";
        return 1;
    }
    using OpenConduitFn = int (*)(void*, SyncProperties*);
    auto open = reinterpret_cast<OpenConduitFn>(GetProcAddress(conduit, "OpenConduit"));
    if (!open) {
        FreeLibrary(conduit);
        err << "tallyhop: Gatehouse has no OpenConduit\n";
        return 1;
    }
    platform::syncmgr::clearCapturedLog();
    const int rc = open(nullptr, &props);
    FreeLibrary(conduit);
    // A choice for the next operation holds once; then the default stands again.
    if (once) RosterSetNextAction(userId, kMailCreator, permanent);
    for (const auto& line : platform::syncmgr::capturedLog())
        if (!line.text.empty()) out << line.text << "\n";
    out << "Tallyhop operation finished with result " << rc << "\n";
    return rc == 0 ? 0 : 1;
}

}  // namespace tallyhop
