#pragma once
// The standard folders a host lists (Inbox, Outbox, Drafts, Sent, Trash) carry the
// language library's names, not the server's: the folders already on the handheld were
// named so, and a list from the host must match them.
#include <functional>
#include <string>

#include "common/host_records.h"

namespace tess {

// Replaces the name of every folder of type 0 to 4 with text(id) of its standard name;
// other folders, null entries and an empty text leave the name as it is. A name that
// cannot be copied stays too. Names are malloc'ed, as the host's list frees them.
void NameStandardFolders(FolderRecord** folders, int count, const std::function<std::string(unsigned)>& text);

}  // namespace tess
