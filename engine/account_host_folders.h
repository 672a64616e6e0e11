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

// At logon: each folder of the account that holds a handheld slot and that the host
// listed, as the host describes it (its name, data and folder type). It takes the place
// of the handheld's entry for the slot, since the handheld names a folder in at most 15
// characters and keeps none of the host's data, and a host finds its folders by those;
// messages already under the key stay. Slots the host did not list keep their entry.
// Gives the list's folder count.
int ListedFolderListForHost(const tess::accounts::CMailAccount& account, FolderRecord* const* folders, int count,
                            CFolderMap& list);

}  // namespace tess::engine
