#pragma once
// The lists every message host hands out and takes back the same way: message block
// arrays, folder record arrays and attachment tables (common/host_records.h). The hosts'
// free exports are these functions.
#include <functional>
#include <string>
#include <vector>

#include "common/host_records.h"
#include "common/mail_msg.h"

namespace inet {

using tess::AttachmentTable;
using tess::FolderRecord;
using tess::MailMsg;

// Null: 211. Count 0: nothing is freed. Count below 0: only the array. Else each block
// (FreeMailMsgBlock), then the array. 0.
int FreeMailMsgArray(MailMsg** items, int count);
// Null: 211. Count 0: nothing is freed. Count below 0: only the array. Else each record
// with its name and extra bytes, then the array. 0.
int FreeFolderArray(FolderRecord** list, int count);
// A list of one folder record of that name (and no extra bytes), for the hosts that serve
// one folder: 0, or -1 when there is no memory (nothing is handed out).
int MakeSingleFolderList(const char* name, FolderRecord*** out, int* count);
// Removes each file the table names, frees it and nulls the pointer (null: nothing).
void FreeAttachmentTable(AttachmentTable** table);
// A table of the first 10 paths (null when there is no memory). With more than 10 the
// others are named in one log line ("The message contains more attachments than
// allowable. Removing attachments:") and their files removed; each kept path is logged
// as "ATT: <path>".
AttachmentTable* MakeAttachmentTable(const std::vector<std::string>& paths,
                                     const std::function<void(const std::string&)>& log);

// The help file a host names at load: "<sync manager directory>/LKConduit.hlp".
std::string HostHelpFile();

}  // namespace inet
