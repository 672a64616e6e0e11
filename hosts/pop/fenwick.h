#pragma once
// Fenwick: the POP3 message host. The engine loads libFenwick.so and calls the exports
// of hosts/inet/host_exports.h and Logon below. There is one
// folder, "Inbox"; a message's id is the server's UIDL text (message id, no terminator).
//
// Result codes: -1 not logged on; 2 delete failed, or no cached message for attachments;
// 6 POP3 side not usable (GetFolderList: not logged on); 12 GetMsg found or parsed no
// message, GetFolderList out of memory; 211 null list; 212 send failed; 213 listing
// failed (also when the server's UIDL listing failed: never an empty mailbox);
// 16394 logon failed.
#include "hosts/inet/host_exports.h"

// flags: 1 one line in the sync log when the logon fails; 2 protocol lines to the log.
TESS_API int Logon(const tess::PopLogonRecord* record, int flags, int reserved);
