// The account's folders handed to the engine's host folder list. Kept apart from the rest
// of the account: only the engine, which defines the list, pulls this in.
#include "engine/accounts/mail_account.h"
#include "engine/host_connection.h"

namespace tess::accounts {

namespace {
// The account does not know the host's folder type; the list's own "no type" is used.
constexpr int kNoFolderType = -1;
}  // namespace

int CMailAccount::FolderListForHost(tidewater::CFolderMap& list) const {
    for (const FolderEntry& e : Folders()) {
        if (!e.synchronised) continue;
        list.AddFolder(e.slot, e.name, e.data.empty() ? nullptr : e.data.data(), int(e.data.size()), kNoFolderType);
    }
    return int(list.Entries().size());
}

int CMailAccount::QueuedFolderListForHost(tidewater::CFolderMap& list) const {
    for (const CDeviceFolder& q : queued_) list.AddFolder(q.slot, q.name, nullptr, 0, kNoFolderType);
    return int(list.Entries().size());
}

}  // namespace tess::accounts
