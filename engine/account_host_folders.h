#pragma once
// The account's folders handed to a host: the engine's folder list filled from the
// account's server folders or its queued handheld folders.
#include "accounts/mail_account.h"
#include "engine/host_connection.h"

namespace tess::engine {

// One folder per synchronised server folder (name, host data, keyed by its handheld
// slot), or one per queued handheld folder (name, keyed by its slot). Both give the
// list's folder count.
int FolderListForHost(const tess::accounts::CMailAccount& account, CFolderMap& list);
int QueuedFolderListForHost(const tess::accounts::CMailAccount& account, CFolderMap& list);

}  // namespace tess::engine
