// The account's folders handed to the engine's host folder list.
#include "engine/account_host_folders.h"

#include <algorithm>

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
    for (const tess::accounts::CDeviceFolder& q : account.QueuedFolders())
        list.AddFolder(q.slot, q.name, nullptr, 0, kNoFolderType);
    return int(list.Entries().size());
}

int ListedFolderListForHost(const tess::accounts::CMailAccount& account, FolderRecord* const* folders, int count,
                            CFolderMap& list) {
    for (const tess::accounts::CMailAccount::FolderEntry& e : account.Folders()) {
        if (e.slot < 0) continue;
        for (int i = 0; i < count && folders; ++i) {
            const FolderRecord* f = folders[i];
            if (!f || !f->name || e.name != f->name) continue;
            CFolderMap::Entry& entry = list.EntryOf(e.slot);
            entry.name = f->name;
            const int length = f->extra ? std::max(0, f->extraLength) : 0;
            const auto* extra = static_cast<const uint8_t*>(f->extra);
            entry.extra.assign(extra, extra + length);
            entry.type = f->type;
            break;
        }
    }
    return int(list.Entries().size());
}

}  // namespace tess::engine
