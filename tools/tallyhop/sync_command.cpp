#include "tools/tallyhop/sync_command.h"

#include <cstring>

#include "platform/core/module.h"
#include "platform/syncmgr/handheld_store.h"
#include "platform/syncmgr/syncmgr.h"
#include "platform/syncmgr/syncmgr_control.h"

namespace tallyhop {
namespace {

constexpr uint32_t kMailCreator = SYNC_FOURCC('a', 's', 'c', '3');

int FindUser(const std::string& name, int* userId) {
    int count = 0;
    RosterGetUserCount(&count);
    for (int i = 0; i < count; ++i) {
        int id = 0;
        char buf[256];
        int size = sizeof buf;
        if (RosterGetUserIdByIndex(i, &id) != SYNC_OK || RosterGetUserName(id, buf, &size) != SYNC_OK) continue;
        if (name.empty() || name == buf) {
            *userId = id;
            return 0;
        }
    }
    return 1;
}

}  // namespace

int runSync(const SyncOptions& options, std::ostream& out, std::ostream& err) {
    if (!syncmgr::HandheldStore::exists(options.handheld)) {
        err << "tallyhop: no handheld '" << options.handheld << "' (run tallyhop init)\n";
        return 1;
    }
    int userId = 0;
    if (FindUser(options.userName, &userId) != 0) {
        err << "tallyhop: no user '" << options.userName << "' (run tallyhop init)\n";
        return 1;
    }
    syncmgr::useHandheld(options.handheld);
    syncmgr::setSessionUser(userId);

    SyncProperties props{};
    int action = 0;
    if (RosterGetNextAction(userId, kMailCreator, &action) != SYNC_OK)
        RosterGetPermanentAction(userId, kMailCreator, &action);
    props.syncType = action;
    char folder[256];
    int size = sizeof folder;
    std::string path = syncmgr::userDirectory(userId).string();
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
    syncmgr::clearCapturedLog();
    const int rc = open(nullptr, &props);
    FreeLibrary(conduit);
    for (const auto& line : syncmgr::capturedLog())
        if (!line.text.empty()) out << line.text << "\n";
    out << "Tallyhop operation finished with result " << rc << "\n";
    return rc == 0 ? 0 : 1;
}

}  // namespace tallyhop
