// The account's folders handed to the engine's host folder list.
#include "engine/account_host_folders.h"

namespace tess::engine {

namespace {
// The account does not know the host's folder type; the list's own "no type" is used.
constexpr int kNoFolderType = -1;
}  // namespace

int FolderListForHost(const tess::accounts::CMailAccount& account, CFolderMap& list) {
    for (const tess::accounts::CMailAccount::FolderEntry& e : account.Folders()) {
        if (!e.synchronised) continue;
        list.AddFolder(e.slot, e.name, e.data.empty() ? nullptr : e.data.data(), int(e.data.size()), kNoFolderType);
    }
    return int(list.Entries().size());
}

int QueuedFolderListForHost(const tess::accounts::CMailAccount& account, CFolderMap& list) {
    for (const tess::accounts::CDeviceFolder& q : account.QueuedFolders()) list.AddFolder(q.slot, q.name, nullptr, 0, kNoFolderType);
    return int(list.Entries().size());
}

}  // namespace tess::engine
